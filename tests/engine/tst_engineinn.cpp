// Download runs against a private INN server, by the engine and by
// kaplo-cli download, and kaplo-cli download's exit statuses.
#include "enginerig.h"
#include "runhelpers.h"

#include "engine/tcpnntpsocket.h"
#include "support/innserver.h"
#include "support/scriptedserver.h"
#include "support/testregistry.h"

#include <QDir>
#include <QProcess>
#include <QTcpServer>
#include <QTest>
#include <QTimer>

using namespace runtest;

namespace {

// A real socket that also keeps the commands it sent.
class RecordingTcpSocket final : public TcpNntpSocket {
public:
    void send(const QString &text) override
    {
        sent << text.chopped(2);
        TcpNntpSocket::send(text);
    }
    QStringList sent;
};

QByteArray article(const QString &group, const QString &subject, const QByteArray &body)
{
    return "From: Poster <poster@example.com>\r\nNewsgroups: " + group.toUtf8() +
           "\r\nSubject: " + subject.toUtf8() + "\r\n\r\n" + body;
}

struct InnRun {
    EngineRig rig;
    RecordingTcpSocket tcp;
    DownloadEngine engine;
    RecordingHandler handler;
    QSignalSpy ended;

    explicit InnRun(quint16 port)
        : engine(*rig.ctx, tcp), handler(engine.state()), ended(&engine, &DownloadEngine::runEnded)
    {
        rig.ctx->settings.serverName = InnServer::host();
        rig.ctx->settings.serverPort = QString::number(port);
        rig.ctx->settings.log = QStringLiteral("TRUE");
        engine.setArticleHandler(&handler);
        engine.state().now = [this] { return rig.clock; };
    }
    bool run()
    {
        const int before = ended.count();
        tcp.sent.clear();
        engine.Command1_Click();
        return QTest::qWaitFor([&] { return ended.count() > before; }, 20000);
    }
    QString cell(int row, int col) const { return rig.cell(row, col); }
};

} // namespace

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

    // Two groups with a few articles each and a group the server lacks.
    void walksEveryGroup()
    {
        const QString a = group("a"), b = group("b"), missing = group("missing");
        QVERIFY2(m_inn.newGroups({a, b}), qPrintable(m_inn.errorString()));
        for (int i = 1; i <= 3; ++i)
            QVERIFY(m_inn.post(article(a, QStringLiteral("a%1").arg(i), "line\r\n..dotted\r\n")));
        for (int i = 1; i <= 2; ++i)
            QVERIFY(m_inn.post(article(b, QStringLiteral("b%1").arg(i), "line\r\n")));

        InnRun run(m_inn.port());
        run.rig.addGroup(a);
        run.rig.addGroup(missing);
        run.rig.addGroup(b);
        QVERIFY(run.run());
        QCOMPARE(run.engine.endReason(), DownloadEngine::EndReason::Finished);
        QCOMPARE(run.engine.state().label3, QString());
        QCOMPARE(run.tcp.sent, (QStringList{"GROUP " + a, "ARTICLE", "NEXT", "ARTICLE", "NEXT",
                                            "ARTICLE", "NEXT", "GROUP " + missing, "GROUP " + b,
                                            "ARTICLE", "NEXT", "ARTICLE", "NEXT", "QUIT"}));
        QCOMPARE(run.cell(0, GroupTable::Last), QStringLiteral("3"));
        QCOMPARE(run.cell(0, GroupTable::Lowest), QStringLiteral("1"));
        QCOMPARE(run.cell(0, GroupTable::Highest), QStringLiteral("3"));
        QCOMPARE(run.cell(0, GroupTable::State), sec("処理完了"));
        QCOMPARE(run.cell(1, GroupTable::State), sec("無効なﾆｭｰｽｸﾞﾙｰﾌﾟ"));
        QCOMPARE(run.cell(2, GroupTable::Last), QStringLiteral("2"));
        QCOMPARE(run.cell(2, GroupTable::State), sec("処理完了"));
        QCOMPARE(run.rig.storedLast(0), QStringLiteral("3"));
        QCOMPARE(run.rig.storedLast(1), QStringLiteral("<none>"));
        QCOMPARE(run.rig.storedLast(2), QStringLiteral("2"));
        QVERIFY(run.handler.lines.contains(QStringLiteral("Subject: a2")));
        // "..dotted" is stored, "...dotted" sent and unstuffed.
        QVERIFY(run.handler.lines.contains(QStringLiteral("..dotted")));
        QCOMPARE(run.handler.lines.filter(QStringLiteral("Subject: ")).size(), 5);
        const QByteArray log = run.rig.fileBytes(QStringLiteral("971206.LOG"));
        const QByteArray want = "\"" + a.toUtf8() + "\"\t1\r\n\"" + a.toUtf8() + "\"\t2\r\n\"" +
                                a.toUtf8() + "\"\t3\r\n\"" + b.toUtf8() + "\"\t1\r\n\"" +
                                b.toUtf8() + "\"\t2\r\n";
        QCOMPARE(log, want);

        // The next run goes on after the article each group ended on,
        // without fetching it again.
        QVERIFY(run.run());
        QCOMPARE(run.tcp.sent, (QStringList{"GROUP " + a, "STAT 3", "NEXT", "GROUP " + missing,
                                            "GROUP " + b, "STAT 2", "NEXT", "QUIT"}));
        QCOMPARE(run.engine.endReason(), DownloadEngine::EndReason::Finished);
    }

    void stopsAtALimit()
    {
        const QString a = group("a");
        QVERIFY(m_inn.newGroup(a));
        for (int i = 1; i <= 3; ++i)
            QVERIFY(m_inn.post(article(a, QStringLiteral("a%1").arg(i), "x\r\n")));
        InnRun run(m_inn.port());
        run.rig.ctx->settings.seigen = QStringLiteral("3");
        run.rig.ctx->settings.seigenSize = QStringLiteral("0"); // reached by the first article
        run.rig.addGroup(a);
        QVERIFY(run.run());
        QCOMPARE(run.engine.endReason(), DownloadEngine::EndReason::Limit);
        QCOMPARE(run.tcp.sent, (QStringList{"GROUP " + a, "ARTICLE", "QUIT"}));
        QCOMPARE(run.cell(0, GroupTable::State), sec("処理中断"));
        QCOMPARE(run.rig.storedLast(0), QStringLiteral("1"));
        QVERIFY(!run.engine.log().summaryOpen());
    }

    void stopsByHand()
    {
        const QString a = group("a"), b = group("b");
        QVERIFY(m_inn.newGroups({a, b}));
        for (int i = 1; i <= 3; ++i)
            QVERIFY(m_inn.post(article(a, QStringLiteral("a%1").arg(i), "x\r\n")));
        QVERIFY(m_inn.post(article(b, QStringLiteral("b1"), "x\r\n")));
        InnRun run(m_inn.port());
        run.rig.addGroup(a);
        run.rig.addGroup(b);
        // The user presses the button while article 2 arrives.
        run.handler.onLine = [&](QStringView line) {
            if (line == QLatin1String("Subject: a2"))
                QTimer::singleShot(0, &run.engine, &DownloadEngine::Command1_Click);
        };
        QVERIFY(run.run());
        QCOMPARE(run.engine.endReason(), DownloadEngine::EndReason::Stopped);
        QCOMPARE(run.cell(0, GroupTable::State), sec("処理中断"));
        QCOMPARE(run.cell(1, GroupTable::State), QString());
        QCOMPARE(run.rig.storedLast(0), QStringLiteral("2"));
        QCOMPARE(run.rig.storedLast(1), QStringLiteral("<none>"));
    }

    // An ARTICLE the server refuses (5xx) ends its group with the reply; LAST
    // names the article asked for and the run goes on.
    void refusalEndsTheGroup()
    {
        const QString a = group("a");
        QVERIFY(m_inn.newGroup(a));
        QVERIFY(m_inn.post(article(a, QStringLiteral("a1"), "x\r\n")));
        InnRun run(m_inn.port());
        run.rig.addGroup(a, QStringLiteral("1.5")); // "ARTICLE 1.5"
        QVERIFY(run.run());
        QCOMPARE(run.tcp.sent, (QStringList{"GROUP " + a, "ARTICLE 1.5", "QUIT"}));
        QCOMPARE(run.engine.endReason(), DownloadEngine::EndReason::Finished);
        QVERIFY(run.engine.groupRefused());
        QVERIFY2(run.engine.state().label3.startsWith(QLatin1Char('5')),
                 qPrintable(run.engine.state().label3));
        QCOMPARE(run.rig.storedLast(0), QStringLiteral("1.5"));
        QCOMPARE(run.cell(0, GroupTable::State), sec("処理中断"));
    }

    void cliDownload()
    {
        const QString a = group("a"), missing = group("missing");
        QVERIFY(m_inn.newGroup(a));
        const QByteArray data = QByteArray("hello from kaplo\n").repeated(40);
        QVERIFY(m_inn.post(article(a, QStringLiteral("with file"), uuencode("hello.txt", data))));
        QVERIFY(m_inn.post(article(a, QStringLiteral("plain"), "no file\r\n")));
        QTemporaryDir dir;
        const QString save = dir.filePath(QStringLiteral("save"));
        QVERIFY(QDir().mkpath(save));
        const QString ini = dir.filePath(QStringLiteral("KAPLO.ini"));
        writeSettings(ini, m_inn.port(), save, {a, missing});

        const CliResult r = runCli(ini);
        QVERIFY2(r.exitCode == 0, qPrintable(r.err + r.out));
        QVERIFY2(r.out.contains(sec("ﾌｧｲﾙ数=1\n")), qPrintable(r.out));
        QVERIFY2(r.out.contains(sec("ﾌｧｲﾙｻｲｽﾞ=680ﾊﾞｲﾄ\n")), qPrintable(r.out));
        QVERIFY(r.out.contains(a + sec("\t処理完了\t2\n")));
        QVERIFY(r.out.contains(missing + sec("\t無効なﾆｭｰｽｸﾞﾙｰﾌﾟ\t\n")));
        QFile saved(save + QStringLiteral("/hello.txt"));
        QVERIFY(saved.open(QIODevice::ReadOnly));
        QCOMPARE(saved.readAll(), data);
        SettingsStore after(ini);
        QCOMPARE(after.read(QStringLiteral("GROUP1"), QStringLiteral("LAST"), {}),
                 QStringLiteral("2"));
        QDir logs(save);
        QCOMPARE(logs.entryList({QStringLiteral("*.LOG")}).size(), 1);
    }
};

KAPLO_TEST(TestEngineInn)
#include "tst_engineinn.moc"
