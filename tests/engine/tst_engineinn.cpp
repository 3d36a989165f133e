// Download runs against a private INN server, by the engine and by
// kaplo-cli download.
#include "enginerig.h"
#include "runhelpers.h"

#include "support/innserver.h"
#include "support/testregistry.h"

#include <QDir>
#include <QTest>

using namespace runtest;

class TestEngineInn final : public QObject {
    Q_OBJECT
private:
    InnServer m_inn;
    int m_serial = 0;
    QString group(const char *suffix) const
    {
        return QStringLiteral("kaplo.engine%1.").arg(m_serial) + QLatin1String(suffix);
    }

private slots:
    void initTestCase()
    {
        if (!InnServer::available())
            QSKIP(qPrintable(InnServer::unavailableReason()));
        QVERIFY2(m_inn.start(), qPrintable(m_inn.errorString()));
    }
    void init() { ++m_serial; }

    // Two groups with a few articles each and a group the server lacks; the
    // next run goes on after the article each group ended on.
    void walksEveryGroup()
    {
        const QString a = group("a"), b = group("b"), missing = group("missing");
        QVERIFY2(m_inn.newGroups({a, b}), qPrintable(m_inn.errorString()));
        for (int i = 1; i <= 3; ++i)
            QVERIFY(m_inn.post(innArticle(a, QStringLiteral("a%1").arg(i), "l\r\n..dotted\r\n")));
        for (int i = 1; i <= 2; ++i)
            QVERIFY(m_inn.post(innArticle(b, QStringLiteral("b%1").arg(i), "line\r\n")));
        RecordingTcpSocket tcp;
        EngineRig rig(&tcp, InnServer::host(), m_inn.port());
        rig.set("SAVE/LOG", "TRUE");
        for (const QString &g : {a, missing, b})
            rig.addGroup(g);
        QVERIFY(rig.run());
        QCOMPARE(rig.engine->endReason(), DownloadEngine::EndReason::Finished);
        QCOMPARE(tcp.sent, (QStringList{"GROUP " + a, "ARTICLE", "NEXT", "ARTICLE", "NEXT",
                                        "ARTICLE", "NEXT", "GROUP " + missing, "GROUP " + b,
                                        "ARTICLE", "NEXT", "ARTICLE", "NEXT", "QUIT"}));
        QCOMPARE(rig.cell(0, GroupTable::Highest), QStringLiteral("3"));
        QCOMPARE(rig.cell(1, GroupTable::State), sec("無効なﾆｭｰｽｸﾞﾙｰﾌﾟ"));
        QCOMPARE(rig.storedLast(0), QStringLiteral("3"));
        QCOMPARE(rig.storedLast(2), QStringLiteral("2"));
        QCOMPARE(rig.handler->lines.count(QStringLiteral("..dotted")), 3); // sent "...dotted"
        QCOMPARE(rig.fileBytes(QStringLiteral("971206.LOG")),
                 ("\"" + a + "\"\t1\r\n\"" + a + "\"\t2\r\n\"" + a + "\"\t3\r\n\"" + b +
                  "\"\t1\r\n\"" + b + "\"\t2\r\n")
                     .toUtf8());
        tcp.sent.clear();
        QVERIFY(rig.run());
        QCOMPARE(tcp.sent, (QStringList{"GROUP " + a, "STAT 3", "NEXT", "GROUP " + missing,
                                        "GROUP " + b, "STAT 2", "NEXT", "QUIT"}));
    }

    void cliDownload()
    {
        const QString a = group("a"), missing = group("missing");
        QVERIFY(m_inn.newGroup(a));
        const QByteArray data = QByteArray("hello from kaplo\n").repeated(40);
        QVERIFY(m_inn.post(innArticle(a, QStringLiteral("file"), uuencode("hello.txt", data))));
        QVERIFY(m_inn.post(innArticle(a, QStringLiteral("plain"), "no file\r\n")));
        QTemporaryDir dir;
        const QString ini = dir.filePath(QStringLiteral("KAPLO.ini"));
        writeSettings(ini, m_inn.port(), dir.path(), {a, missing});
        const CliResult r = runCli(ini);
        QVERIFY2(r.exitCode == 0, qPrintable(r.err + r.out));
        QVERIFY2(r.out.contains(sec("ﾌｧｲﾙ数=1\n")) && r.out.contains(sec("ﾌｧｲﾙｻｲｽﾞ=680ﾊﾞｲﾄ\n")),
                 qPrintable(r.out));
        QVERIFY(r.out.contains(a + sec("\t処理完了\t2\n")));
        QVERIFY(r.out.contains(missing + sec("\t無効なﾆｭｰｽｸﾞﾙｰﾌﾟ\t\n")));
        QFile saved(dir.filePath(QStringLiteral("hello.txt")));
        QVERIFY(saved.open(QIODevice::ReadOnly));
        QCOMPARE(saved.readAll(), data);
        QCOMPARE(SettingsStore(ini).read(QStringLiteral("GROUP1"), QStringLiteral("LAST"), {}),
                 QStringLiteral("2"));
    }
};

KAPLO_TEST(TestEngineInn)
#include "tst_engineinn.moc"
