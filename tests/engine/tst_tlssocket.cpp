// The socket layer's implicit TLS against servers in this process: a TLS
// server with a self-signed certificate (trusted through the test-only CA
// file, or not), and a server that answers in clear.
#include "enginerig.h"

#include "engine/tcpnntpsocket.h"
#include "support/testcertificate.h"
#include "support/testregistry.h"

#include <QFile>
#include <QSslConfiguration>
#include <QSslKey>
#include <QSslServer>
#include <QSslSocket>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTemporaryDir>
#include <QTest>

#include <memory>

namespace {

// A TLS news server that answers each command line from a table.
struct TlsServer {
    QSslServer server;
    QStringList received;      // decrypted command lines
    int sessions = 0;          // connections whose handshake completed
    int handshakesStarted = 0; // connections that began one
    QHash<QString, QByteArray> replies;

    bool start(const TestCertificate &cert)
    {
        QFile key(cert.keyFile);
        if (!key.open(QIODevice::ReadOnly))
            return false;
        QSslConfiguration conf = QSslConfiguration::defaultConfiguration();
        const QList<QSslCertificate> chain = QSslCertificate::fromPath(cert.certFile);
        if (chain.isEmpty())
            return false;
        conf.setLocalCertificate(chain.first());
        conf.setPrivateKey(QSslKey(key.readAll(), QSsl::Rsa, QSsl::Pem));
        conf.setPeerVerifyMode(QSslSocket::VerifyNone);
        server.setSslConfiguration(conf);
        QObject::connect(&server, &QSslServer::startedEncryptionHandshake,
                         [this](QSslSocket *) { ++handshakesStarted; });
        QObject::connect(&server, &QTcpServer::pendingConnectionAvailable, [this] {
            while (server.hasPendingConnections()) {
                auto *s = static_cast<QSslSocket *>(server.nextPendingConnection());
                ++sessions;
                s->write("200 tls ready\r\n");
                QObject::connect(s, &QSslSocket::readyRead, [this, s] {
                    while (s->canReadLine()) {
                        QByteArray line = s->readLine();
                        while (line.endsWith('\n') || line.endsWith('\r'))
                            line.chop(1);
                        received << QString::fromLatin1(line);
                        s->write(
                            replies.value(QString::fromLatin1(line), QByteArray("500 what?\r\n")));
                    }
                });
            }
        });
        return server.listen(QHostAddress::LocalHost, 0);
    }
    quint16 port() const { return server.serverPort(); }
};

// Collects what a socket delivers.
struct Reader {
    NntpSocket &socket;
    QString text;
    QStringList errors;
    explicit Reader(NntpSocket &s) : socket(s)
    {
        QObject::connect(&s, &NntpSocket::dataArrival, [this] { text += socket.readAll(); });
        QObject::connect(&s, &NntpSocket::error, [this](const QString &e) { errors << e; });
    }
};

} // namespace

class TestTlsSocket final : public QObject {
    Q_OBJECT
private:
    QTemporaryDir m_dir;
    TestCertificate m_cert;

private slots:
    void initTestCase()
    {
        if (!TcpNntpSocket::tlsAvailable())
            QFAIL("Qt has no TLS backend here (libqt6network6's OpenSSL plugin and libssl3)");
        if (!TestCertificate::available())
            QSKIP("the openssl tool is not installed (run scripts/setup.sh)");
        QVERIFY2(m_cert.make(m_dir.path()), qPrintable(m_cert.error));
    }

    // A command given before the session stands goes out inside it.
    void trustedServer()
    {
        TlsServer server;
        QVERIFY(server.start(m_cert));
        server.replies[QStringLiteral("MODE READER")] = "200 reader\r\n";
        TcpNntpSocket s;
        s.setTls(true);
        s.setCaFile(m_cert.certFile);
        Reader r(s);
        s.connectToHost(QStringLiteral("localhost"), server.port());
        s.send(QStringLiteral("MODE READER\r\n"));
        QTRY_COMPARE(r.text, QStringLiteral("200 tls ready\r\n200 reader\r\n"));
        QCOMPARE(server.received, QStringList{"MODE READER"});
        QVERIFY(r.errors.isEmpty());
    }

    // Verification fails: the reason is told, nothing is read or sent.
    void refusedCertificate_data()
    {
        QTest::addColumn<bool>("trustCa");
        QTest::addColumn<QString>("host");
        QTest::addColumn<QString>("reason"); // a piece of Qt's text
        QTest::newRow("untrusted authority") << false << "localhost"
                                             << "self-signed";
        QTest::newRow("other host name") << true << "127.0.0.1"
                                         << "host name";
    }
    void refusedCertificate()
    {
        QFETCH(bool, trustCa);
        QFETCH(QString, host);
        QFETCH(QString, reason);
        TlsServer server;
        QVERIFY(server.start(m_cert));
        TcpNntpSocket s;
        s.setTls(true);
        if (trustCa)
            s.setCaFile(m_cert.certFile);
        Reader r(s);
        s.connectToHost(host, server.port());
        s.send(QStringLiteral("AUTHINFO USER kaplo\r\n"));
        QTRY_COMPARE(r.errors.size(), 1);
        QVERIFY2(r.errors[0].startsWith(TcpNntpSocket::certificateText(QString())),
                 qPrintable(r.errors[0]));
        QVERIFY2(r.errors[0].contains(reason, Qt::CaseInsensitive), qPrintable(r.errors[0]));
        QVERIFY(r.text.isEmpty());
        QTest::qWait(50);
        QCOMPARE(server.sessions, 0);
        QVERIFY(server.received.isEmpty());
        QCOMPARE(r.errors.size(), 1);
    }

    // A server that answers in clear: its greeting is not taken and nothing
    // goes out in clear.
    void plainServer()
    {
        QTcpServer plain;
        QVERIFY(plain.listen(QHostAddress::LocalHost, 0));
        QByteArray raw;
        std::unique_ptr<QTcpSocket> peer;
        connect(&plain, &QTcpServer::newConnection, this, [&] {
            peer.reset(plain.nextPendingConnection());
            peer->write("200 plain hello\r\n");
            connect(peer.get(), &QTcpSocket::readyRead, this, [&] { raw += peer->readAll(); });
        });
        TcpNntpSocket s;
        s.setTls(true);
        Reader r(s);
        s.connectToHost(QStringLiteral("127.0.0.1"), plain.serverPort());
        s.send(QStringLiteral("GROUP kaplo.secret\r\n"));
        QTRY_COMPARE(r.errors.size(), 1);
        QVERIFY2(r.errors[0].startsWith(TcpNntpSocket::tlsFailedText(QString())),
                 qPrintable(r.errors[0]));
        QVERIFY(r.text.isEmpty());
        QVERIFY(!raw.isEmpty()); // the TLS hello
        QVERIFY(!raw.contains("GROUP"));
        QVERIFY(!raw.contains("kaplo.secret"));
    }

    // A whole run over TLS with a password: the server sees exactly the
    // conversation, and the run ends normally.
    void runOverTls()
    {
        TlsServer server;
        QVERIFY(server.start(m_cert));
        server.replies[QStringLiteral("AUTHINFO USER kaplo")] = "381 more\r\n";
        server.replies[QStringLiteral("AUTHINFO PASS pw")] = "281 ok\r\n";
        server.replies[QStringLiteral("GROUP a.b")] = "211 0 0 0 a.b\r\n";
        server.replies[QStringLiteral("NEXT")] = "421 none\r\n";
        EngineRig rig;
        TcpNntpSocket tcp;
        DownloadEngine engine(*rig.ctx, tcp);
        QSignalSpy ended(&engine, &DownloadEngine::runEnded);
        rig.ctx->settings.serverName = QStringLiteral("localhost");
        rig.ctx->settings.serverPort = QString::number(server.port());
        rig.ctx->settings.ssl = QStringLiteral("TRUE");
        rig.ctx->settings.caFile = m_cert.certFile;
        rig.ctx->settings.user = QStringLiteral("kaplo");
        rig.ctx->settings.pass = QStringLiteral("pw");
        rig.addGroup(QStringLiteral("a.b"));
        engine.Command1_Click();
        QTRY_COMPARE(ended.count(), 1);
        QCOMPARE(engine.endReason(), DownloadEngine::EndReason::Finished);
        QTRY_COMPARE(server.received, (QStringList{"AUTHINFO USER kaplo", "AUTHINFO PASS pw",
                                                   "GROUP a.b", "NEXT", "QUIT"}));
        QCOMPARE(rig.cell(0, GroupTable::State), QStringLiteral("処理完了"));
    }

    // The run refuses the certificate: Label3 tells why, no command left.
    void runRefusesCertificate()
    {
        TlsServer server;
        QVERIFY(server.start(m_cert));
        EngineRig rig;
        TcpNntpSocket tcp;
        DownloadEngine engine(*rig.ctx, tcp);
        QSignalSpy ended(&engine, &DownloadEngine::runEnded);
        rig.ctx->settings.serverName = QStringLiteral("localhost");
        rig.ctx->settings.serverPort = QString::number(server.port());
        rig.ctx->settings.ssl = QStringLiteral("TRUE");
        rig.ctx->settings.user = QStringLiteral("kaplo");
        rig.ctx->settings.pass = QStringLiteral("pw");
        rig.addGroup(QStringLiteral("a.b"));
        engine.Command1_Click();
        QTRY_COMPARE(ended.count(), 1);
        QCOMPARE(engine.endReason(), DownloadEngine::EndReason::Error);
        QVERIFY2(engine.state().label3.startsWith(TcpNntpSocket::certificateText(QString())),
                 qPrintable(engine.state().label3));
        QCOMPARE(engine.state().engineState, EngineState::Greeting);
        QCOMPARE(server.sessions, 0);
        QVERIFY(server.received.isEmpty());
    }
};

KAPLO_TEST(TestTlsSocket)
#include "tst_tlssocket.moc"
