// The inputs kept from fuzzing the article parser (tests/data/fuzz/article),
// replayed as the fuzz target runs them: first byte the options, first line
// the group name, "." ends an article. Nothing may be created outside the
// save directory.
#include "engine/parserrig.h"
#include "support/testregistry.h"

#include <QTest>

class TestArticleFuzzReplay : public QObject {
    Q_OBJECT
private slots:
    void replay_data()
    {
        QTest::addColumn<QString>("path");
        const QDir dir(QStringLiteral(KAPLO_TEST_DATA "/fuzz/article"));
        for (const QString &n : dir.entryList(QDir::Files))
            QTest::newRow(qPrintable(n)) << dir.filePath(n);
    }
    void replay()
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

KAPLO_TEST(TestArticleFuzzReplay)
#include "tst_articlefuzzreplay.moc"
