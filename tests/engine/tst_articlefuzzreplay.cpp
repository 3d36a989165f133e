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
        const QStringList names = dir.entryList(QDir::Files);
        QVERIFY(!names.isEmpty());
        for (const QString &n : names)
            QTest::newRow(qPrintable(n)) << dir.filePath(n);
    }
    void replay()
    {
        QFETCH(QString, path);
        QFile f(path);
        QVERIFY(f.open(QIODevice::ReadOnly));
        const QByteArray data = f.readAll();
        QVERIFY(!data.isEmpty());
        ParserRig rig;
        const uchar o = uchar(data[0]);
        rig.ctx->settings.groupDir = QLatin1String(o & 1 ? "TRUE" : "FALSE");
        rig.state.groupDateDir = QLatin1String(o & 4 ? "YES" : "NO");
        rig.state.groupUserDir = QLatin1String(o & 8 ? "YES" : "NO");
        rig.state.groupSubject = QLatin1String(o & 16 ? "YES" : "NO");
        rig.state.groupRewrite = QLatin1String(o & 32 ? "YES" : "NO");
        if (o & 2)
            rig.openLog();
        QList<QByteArray> lines = data.mid(1).split('\n');
        for (QByteArray &l : lines) {
            if (l.endsWith('\r'))
                l.chop(1);
        }
        rig.state.groupName = Cp932::decode(lines.takeFirst());
        for (const QByteArray &l : lines) {
            if (l == ".") {
                rig.endArticle();
                continue;
            }
            if (!(rig.state.inBody && rig.parser->rawArticleLine(l)))
                rig.parser->articleLine(Cp932::decode(l));
            if (!rig.state.fatalError.isEmpty() || !rig.state.runError.isEmpty())
                break;
        }
        rig.parser->endOfRun();
        rig.parser->closeOutFile();
        for (const QString &e :
             QDir(rig.dir.path())
                 .entryList(QDir::AllEntries | QDir::NoDotAndDotDot | QDir::Hidden | QDir::System))
            QVERIFY2(e == QLatin1String("save") || e == QLatin1String("KAPLO.ini"), qPrintable(e));
    }
};

KAPLO_TEST(TestArticleFuzzReplay)
#include "tst_articlefuzzreplay.moc"
