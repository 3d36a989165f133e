// Download runs against a private INN that serves implicit TLS (nnrpd -S)
// with a self-signed certificate and wants a password (ckpasswd): by the
// engine on the real socket, and by kaplo-cli download.
#include "enginerig.h"
#include "runhelpers.h"

#include "engine/tcpnntpsocket.h"
#include "support/innserver.h"
#include "support/testregistry.h"

#include <QDir>
#include <QFile>
#include <QTest>

using namespace runtest;

namespace {

const QString kUser = QStringLiteral("kaplo");
// A blank inside: servers take the rest of the line as the password.
const QString kPass = QStringLiteral("pass word!");

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

struct TlsRun {
    EngineRig rig;
    RecordingTcpSocket tcp;
    DownloadEngine engine;
    RecordingHandler handler;
    QSignalSpy ended;

    // caFile: the test server's own authority (SERVER/CAFILE), empty for none.
    TlsRun(quint16 port, const QString &pass, const QString &caFile)
        : engine(*rig.ctx, tcp), handler(engine.state()), ended(&engine, &DownloadEngine::runEnded)
    {
        RunningSettings &s = rig.ctx->settings;
        s.serverName = InnServer::tlsHost();
        s.serverPort = QString::number(port);
        s.ssl = QStringLiteral("TRUE");
        s.modeReader = QStringLiteral("TRUE");
        s.user = kUser;
        s.pass = pass;
        s.caFile = caFile;
        engine.setArticleHandler(&handler);
        engine.state().now = [this] { return rig.clock; };
    }
    bool run()
    {
        const int before = ended.count();
        engine.Command1_Click();
        return QTest::qWaitFor([&] { return ended.count() > before; }, 30000);
    }
};

} // namespace

class TestTlsInn final : public QObject {
    Q_OBJECT
private:
    InnServer m_inn;
    int m_serial = 0;
    QString group() const { return QStringLiteral("kaplo.tls%1.a").arg(m_serial); }

private slots:
    void initTestCase()
    {
        if (!InnServer::available())
            QSKIP(qPrintable(InnServer::unavailableReason()));
        m_inn.setTls(true);
        m_inn.setReaderPassword(kUser, kPass);
        QVERIFY2(m_inn.start(), qPrintable(m_inn.errorString()));
    }
    void init() { ++m_serial; }

    void runWithPassword()
    {
        const QString g = group();
        QVERIFY2(m_inn.newGroup(g), qPrintable(m_inn.errorString()));
        for (int i = 1; i <= 2; ++i)
            QVERIFY(m_inn.post(article(g, QStringLiteral("s%1").arg(i), "line\r\n")));
        TlsRun run(m_inn.tlsPort(), kPass, m_inn.caFile());
        run.rig.addGroup(g);
        QVERIFY(run.run());
        QCOMPARE(run.engine.state().label3, QString());
        QCOMPARE(run.engine.endReason(), DownloadEngine::EndReason::Finished);
        QCOMPARE(run.tcp.sent,
                 (QStringList{"MODE READER", "AUTHINFO USER " + kUser, "AUTHINFO PASS " + kPass,
                              "GROUP " + g, "ARTICLE", "NEXT", "ARTICLE", "NEXT", "QUIT"}));
        QVERIFY(run.handler.lines.contains(QStringLiteral("Subject: s2")));
        QCOMPARE(run.rig.cell(0, GroupTable::State), sec("処理完了"));
        QCOMPARE(run.rig.storedLast(0), QStringLiteral("2"));
    }

    // Far more than the socket's read buffer: the session keeps flowing as
    // the engine reads.
    void largeArticle()
    {
        const QString g = group();
        QVERIFY(m_inn.newGroup(g));
        QByteArray body;
        const int lines = 40000;
        for (int i = 0; i < lines; ++i)
            body += QByteArray::number(i).rightJustified(8, '0') + QByteArray(60, 'x') + "\r\n";
        QVERIFY2(m_inn.post(article(g, QStringLiteral("big"), body)),
                 qPrintable(m_inn.errorString()));
        TlsRun run(m_inn.tlsPort(), kPass, m_inn.caFile());
        run.rig.addGroup(g);
        QVERIFY(run.run());
        QCOMPARE(run.engine.endReason(), DownloadEngine::EndReason::Finished);
        QVERIFY(run.handler.lines.size() > lines);
        QCOMPARE(run.handler.lines.last(),
                 QByteArray::number(lines - 1).rightJustified(8, '0') + QByteArray(60, 'x'));
    }

    void wrongPassword()
    {
        const QString g = group();
        QVERIFY(m_inn.newGroup(g));
        TlsRun run(m_inn.tlsPort(), QStringLiteral("not it"), m_inn.caFile());
        run.rig.addGroup(g);
        QVERIFY(run.run());
        QCOMPARE(run.engine.endReason(), DownloadEngine::EndReason::Error);
        const QString label3 = run.engine.state().label3;
        QVERIFY2(label3.startsWith(QStringLiteral("認証に失敗しました: 481")), qPrintable(label3));
        QVERIFY(!label3.contains(QStringLiteral("not it")));
        QCOMPARE(run.tcp.sent.size(), 3); // MODE READER, USER, PASS
    }

    // Without the test authority the self-signed certificate is refused
    // before anything is read or sent.
    void untrustedCertificate()
    {
        TlsRun run(m_inn.tlsPort(), kPass, QString());
        run.rig.addGroup(group());
        QVERIFY(run.run());
        QCOMPARE(run.engine.endReason(), DownloadEngine::EndReason::Error);
        const QString label3 = run.engine.state().label3;
        QVERIFY2(label3.startsWith(TcpNntpSocket::certificateText(QString())), qPrintable(label3));
        QVERIFY2(label3.contains(QStringLiteral("self-signed")), qPrintable(label3));
        QCOMPARE(run.engine.state().engineState, EngineState::Greeting); // no greeting taken
        QVERIFY(run.tcp.sent.isEmpty());
    }

    // The plain port wants the password too: without a user name the 480 ends
    // the run as any refusal; with one the run authenticates in clear.
    void plainPort()
    {
        const QString g = group();
        QVERIFY(m_inn.newGroup(g));
        TlsRun run(m_inn.port(), kPass, m_inn.caFile());
        run.rig.ctx->settings.serverName = InnServer::host();
        run.rig.ctx->settings.ssl = QStringLiteral("FALSE");
        run.rig.ctx->settings.modeReader = QStringLiteral("FALSE");
        run.rig.ctx->settings.user.clear();
        run.rig.addGroup(g);
        QVERIFY(run.run());
        QCOMPARE(run.engine.endReason(), DownloadEngine::EndReason::Error);
        QVERIFY2(run.engine.state().label3.startsWith(QStringLiteral("480")),
                 qPrintable(run.engine.state().label3));
        QCOMPARE(run.tcp.sent, QStringList{"GROUP " + g});

        run.tcp.sent.clear();
        run.rig.ctx->settings.user = kUser;
        QVERIFY(run.run());
        QCOMPARE(run.engine.endReason(), DownloadEngine::EndReason::Finished);
        QCOMPARE(run.tcp.sent, (QStringList{"AUTHINFO USER " + kUser, "AUTHINFO PASS " + kPass,
                                            "GROUP " + g, "NEXT", "QUIT"}));
    }

    void kaploCliDownload()
    {
        const QString g = group();
        QVERIFY(m_inn.newGroup(g));
        const QByteArray data = "secure attachment bytes\n";
        QVERIFY(m_inn.post(article(g, QStringLiteral("file"), uuencode("tls.bin", data))));
        QTemporaryDir dir;
        const QString ini = dir.filePath(QStringLiteral("KAPLO.ini"));
        writeSettings(ini, m_inn.tlsPort(), dir.path(), {g});
        {
            SettingsStore store(ini);
            const QString server = QStringLiteral("SERVER");
            store.write(server, QStringLiteral("SERVERNAME"), InnServer::tlsHost());
            store.write(server, QStringLiteral("SSL"), QStringLiteral("TRUE"));
            store.write(server, QStringLiteral("USER"), kUser);
            store.write(server, QStringLiteral("PASS"), kPass);
            store.write(server, QStringLiteral("CAFILE"), m_inn.caFile());
        }
        const CliResult r = runCli(ini);
        QCOMPARE(r.exitCode, 0);
        QVERIFY(!r.out.contains(kPass) && !r.err.contains(kPass));
        QFile f(dir.filePath(QStringLiteral("tls.bin")));
        QVERIFY2(f.open(QIODevice::ReadOnly), qPrintable(r.err));
        QCOMPARE(f.readAll(), data);
        QCOMPARE(
            SettingsStore(ini).read(QStringLiteral("GROUP1"), QStringLiteral("LAST"), QString()),
            QStringLiteral("1"));
    }
};

KAPLO_TEST(TestTlsInn)
#include "tst_tlsinn.moc"
