// The socket layer's implicit TLS against servers in this process: a TLS
// server with a self-signed certificate (trusted through the test-only CA
// file, or not), and a server that answers in clear.
#include "enginerig.h"

#include "engine/tcpnntpsocket.h"
#include "support/scriptedserver.h"
#include "support/testcertificate.h"
#include "support/testregistry.h"

#include <QSslKey>
#include <QSslServer>
#include <QSslSocket>
#include <QTest>

namespace {

// A TLS news server that answers each command line by echoing it.
struct TlsServer {
    QSslServer server;
    int sessions = 0; // connections whose handshake completed

    explicit TlsServer(const TestCertificate &cert)
    {
        QFile key(cert.keyFile);
        QSslConfiguration conf = QSslConfiguration::defaultConfiguration();
        conf.setLocalCertificate(QSslCertificate::fromPath(cert.certFile).value(0));
        if (key.open(QIODevice::ReadOnly))
            conf.setPrivateKey(QSslKey(key.readAll(), QSsl::Rsa, QSsl::Pem));
        server.setSslConfiguration(conf);
        QObject::connect(&server, &QTcpServer::pendingConnectionAvailable, [this] {
            auto *s = static_cast<QSslSocket *>(server.nextPendingConnection());
            ++sessions;
            s->write("200 tls ready\r\n");
            QObject::connect(s, &QSslSocket::readyRead, [s] {
                while (s->canReadLine())
                    s->write("200 " + s->readLine().trimmed() + "\r\n");
            });
        });
        server.listen(QHostAddress::LocalHost, 0);
    }
};

// A transport that counts the writes made to it before its session stands.
class WatchedSsl final : public QSslSocket {
public:
    using QSslSocket::QSslSocket;
    int early = 0;

protected:
    qint64 writeData(const char *data, qint64 len) override
    {
        early += isEncrypted() ? 0 : 1;
        return QSslSocket::writeData(data, len);
    }
};
class WatchedTcp final : public TcpNntpSocket {
public:
    WatchedSsl *ssl = nullptr;

protected:
    QTcpSocket *makeTransport() override { return ssl = new WatchedSsl(this); }
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

    // A command given before the session stands waits for it. Verification
    // fails, or the server answers in clear: the reason is told, nothing is
    // read, nothing goes out.
    void session_data()
    {
        QTest::addColumn<QString>("server"); // "tls" or "plain"
        QTest::addColumn<bool>("trustCa");
        QTest::addColumn<QString>("host");
        QTest::addColumn<QString>("reason"); // a piece of the error, "" for none
        QTest::newRow("trusted") << "tls" << true << "localhost"
                                 << "";
        QTest::newRow("untrusted authority") << "tls" << false << "localhost"
                                             << "self-signed";
        QTest::newRow("other host name") << "tls" << true << "127.0.0.1"
                                         << "host name";
        QTest::newRow("plain server")
            << "plain" << true << "127.0.0.1" << TcpNntpSocket::tlsFailedText(QString());
    }
    void session()
    {
        QFETCH(QString, server);
        QFETCH(bool, trustCa);
        QFETCH(QString, host);
        QFETCH(QString, reason);
        TlsServer tls(m_cert);
        ScriptedServer plain;
        WatchedTcp s;
        s.setTls(true);
        if (trustCa)
            s.setCaFile(m_cert.certFile);
        SocketReader r(s);
        s.connectToHost(host, server == u"tls" ? tls.server.serverPort() : plain.start());
        s.send(QStringLiteral("AUTHINFO USER kaplo\r\n"));
        if (reason.isEmpty()) {
            QTRY_COMPARE(r.text, QStringLiteral("200 tls ready\r\n200 AUTHINFO USER kaplo\r\n"));
            QCOMPARE(s.ssl->early, 0);
            QVERIFY(r.errors.isEmpty());
            return;
        }
        QTRY_COMPARE(r.errors.size(), 1);
        QVERIFY2(r.errors[0].contains(reason, Qt::CaseInsensitive), qPrintable(r.errors[0]));
        QTest::qWait(50);
        QVERIFY(r.text.isEmpty());
        QCOMPARE(tls.sessions, 0);
        QVERIFY(!plain.receivedBytes().join().contains("AUTHINFO"));
        QCOMPARE(r.errors.size(), 1);
    }
};

KAPLO_TEST(TestTlsSocket)
#include "tst_tlssocket.moc"
