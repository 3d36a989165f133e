// Articles through the parser, kept as fixtures in tests/data/engine/articles.txt
// (the settings, the article's lines, then the files the save directory must
// hold, the run state and the summary log; that file has the notation), the
// inputs kept from fuzzing the parser (tests/data/fuzz/article), and the
// record of yEnc files in progress.
#include "engine/parserrig.h"
#include "output/yencparts.h"
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
        QList<QByteArray> lines = data.mid(1).replace("\r\n", "\n").split('\n');
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

    // The record is replaced whole: one opened before a save reads on to
    // the old record's end.
    void yencRecordReplacedWhole()
    {
        ParserRig r;
        YencParts parts;
        parts.load(r.save);
        for (const char *name : {"x.bin", "y.bin"}) {
            const QByteArray before = r.bytes(YencParts::recordName());
            QFile reader(r.save + u'/' + YencParts::recordName());
            const bool opened = reader.open(QIODevice::ReadOnly);
            parts.add(YencParts::Key{QLatin1String(name), 9, 1, {}, {}},
                      r.save + u'/' + QLatin1String(name), QStringLiteral("971206"));
            QVERIFY(parts.save());
            if (opened)
                QCOMPARE(reader.readAll(), before);
            QVERIFY(r.bytes(YencParts::recordName()) != before);
        }
    }
};

KAPLO_TEST(TestArticleParser)
#include "tst_articleparser.moc"
