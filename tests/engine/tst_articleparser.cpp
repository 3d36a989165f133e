// Articles through the parser, kept as fixtures in tests/data/engine/articles.txt
// (the settings, the article's lines, then the files the save directory must
// hold, the run state and the summary log; that file has the notation), and
// the inputs kept from fuzzing the parser (tests/data/fuzz/article).
#include "engine/parserrig.h"
#include "support/testdata.h"
#include "support/testregistry.h"

#include <QTest>

class TestArticleParser : public QObject {
    Q_OBJECT
private slots:
    void fixtures_data() { kaplotest::addDataRows(QStringLiteral("engine/articles.txt")); }
    void fixtures()
    {
        QFETCH(kaplotest::DataCase, c);
        runFixture(c);
    }

    // As the fuzz target runs them: first byte the options, first line the
    // group name, "." ends an article. Nothing may be made outside.
    void fuzzReplay_data()
    {
        QTest::addColumn<QString>("path");
        const QDir dir(QStringLiteral(KAPLO_TEST_DATA "/fuzz/article"));
        for (const QString &n : dir.entryList(QDir::Files))
            QTest::newRow(qPrintable(n)) << dir.filePath(n);
    }
    void fuzzReplay()
    {
        QFETCH(QString, path);
        QFile f(path);
        QVERIFY(f.open(QIODevice::ReadOnly));
        const QByteArray data = f.readAll();
        ParserRig rig;
        const uchar o = uchar(data[0]);
        const auto yes = [o](int bit) { return QLatin1String(o & bit ? "YES" : "NO"); };
        rig.ctx.settings.groupDir = QLatin1String(o & 1 ? "TRUE" : "FALSE");
        rig.state.groupDateDir = yes(4);
        rig.state.groupUserDir = yes(8);
        rig.state.groupSubject = yes(16);
        rig.state.groupRewrite = yes(32);
        if (o & 2)
            rig.openLog();
        QList<QByteArray> lines = data.mid(1).split('\n');
        for (QByteArray &l : lines) {
            if (l.endsWith('\r'))
                l.chop(1);
        }
        rig.state.groupName = Cp932::decode(lines.takeFirst());
        for (const QByteArray &l : lines) {
            if (l == ".")
                rig.endArticle();
            else
                rig.feed(l);
            if (!rig.state.fatalError.isEmpty() || !rig.state.runError.isEmpty())
                break;
        }
        rig.parser.endOfRun();
        rig.parser.closeOutFile();
        QCOMPARE(rig.outside(), QStringList());
    }
};

KAPLO_TEST(TestArticleParser)
#include "tst_articleparser.moc"
