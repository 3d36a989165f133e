// The TCP socket layer against servers on loopback: a scripted one, a TLS
// one with a self-signed certificate (trusted through the test-only CA file,
// or not), and one that answers in clear where TLS is wanted; and received
// bytes cut into lines.
#include "enginerig.h"
#include "runhelpers.h"

#include "decode/cp932.h"
#include "engine/linebuffer.h"
#include "engine/tcpnntpsocket.h"
#include "support/scriptedserver.h"
#include "support/testcertificate.h"
#include "support/testdata.h"
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

class TestTcpNntpSocket final : public QObject {
    Q_OBJECT
private:
    QTemporaryDir m_dir;
    TestCertificate m_cert;

private slots:
    void greetingAndCommands()
    {
        ScriptedServer server;
        // A double-byte character cut between two reads is joined.
        const QByteArray jp = Cp932::encode(QStringLiteral("日本"));
        server.setGreeting({QByteArray("200 ") + jp.left(1), jp.mid(1) + "\r\n"});
        const QByteArray group = "GROUP " + Cp932::encode(QStringLiteral("日本.グループ"));
        server.reply(group, {"211 1 1 1 x\r\n"});
        TcpNntpSocket s;
        SocketReader r(s);
        s.connectToHost(QStringLiteral("127.0.0.1"), server.start());
        QTRY_COMPARE(r.text, QStringLiteral("200 日本\r\n"));
        s.send(QStringLiteral("GROUP 日本.グループ\r\n"));
        QTRY_COMPARE(r.text, QStringLiteral("200 日本\r\n211 1 1 1 x\r\n"));
        QCOMPARE(server.receivedBytes().value(0), group);
        s.close();
        QTRY_COMPARE(server.openConnections(), 0);
        QVERIFY(r.errors.isEmpty()); // our own close is no error
    }

    // Errors come later, never from inside connectToHost(), and once. What
    // came before the server's close is delivered before its error, also to
    // a reader that left it unread at its data event.
    void failures_data()
    {
        QTest::addColumn<QString>("host");
        QTest::addColumn<int>("port"); // 0: a server that closes after its greeting
        QTest::addColumn<int>("skip");
        QTest::newRow("server closes") << "127.0.0.1" << 0 << 0;
        QTest::newRow("server closes, read late") << "127.0.0.1" << 0 << 1;
        QTest::newRow("refused") << "127.0.0.1" << int(runtest::closedPort()) << 0;
        QTest::newRow("bad port") << "127.0.0.1" << 70000 << 0;
        QTest::newRow("no such host") << "host.invalid" << 119 << 0;
    }
    void failures()
    {
        QFETCH(QString, host);
        QFETCH(int, port);
        QFETCH(int, skip);
        ScriptedServer server;
        server.setGreeting({"223 2 <x>\r\n"});
        server.setCloseAfterGreeting(true);
        TcpNntpSocket s;
        SocketReader r(s, skip);
        s.connectToHost(host, port ? port : server.start());
        QVERIFY(r.errors.isEmpty());
        QTRY_COMPARE(r.errors.size(), 1);
        if (port == 0)
            QCOMPARE(r.errors[0] + r.textAtError,
                     TcpNntpSocket::serverClosedText() + QStringLiteral("223 2 <x>\r\n"));
        QTest::qWait(100);
        QCOMPARE(r.errors.size(), 1);
    }

    void nothingAfterClose()
    {
        ScriptedServer server;
        const quint16 port = server.start();
        TcpNntpSocket s;
        SocketReader r(s);
        s.connectToHost(QStringLiteral("127.0.0.1"), port);
        QTRY_VERIFY(!r.text.isEmpty());
        const int events = r.events;
        server.push({"late data\r\n"});
        s.close();
        server.dropConnections();
        QTest::qWait(100);
        QCOMPARE(r.events, events);
        QVERIFY(r.errors.isEmpty());
        QCOMPARE(s.readAll(), QString());
        s.connectToHost(QStringLiteral("127.0.0.1"), port); // a new connection
        QTRY_COMPARE(r.events, events + 1);
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
        if (!TestCertificate::available())
            QSKIP("the openssl tool is not installed (run scripts/setup.sh)");
        QVERIFY2(!m_cert.certFile.isEmpty() || m_cert.make(m_dir.path()), qPrintable(m_cert.error));
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

    // Received bytes cut into lines, with the cap on a line's length.
    void lineBuffer_data() { kaplotest::addDataRows(QStringLiteral("engine/linebuffer.txt")); }
    void lineBuffer()
    {
        QFETCH(kaplotest::DataCase, c);
        const int maxLine = c.text("max").toInt();
        QList<QByteArray> reads;
        for (const QString &r : c.lines("reads"))
            reads << r.toUtf8().replace("\\r", "\r").replace("\\n", "\n");
        if (c.text("big").toInt() > 0)
            reads << QByteArray(c.text("big").toInt(), 'x');
        LineBuffer buf(maxLine);
        QStringList got;
        for (const QByteArray &r : reads) {
            buf.append(r);
            QVERIFY(buf.size() <= 3 * (maxLine + 2)); // memory does not grow with a line
            QByteArrayView line;
            bool over = false;
            while (buf.takeLine(line, &over))
                got << (over ? "^" : "") + QString::fromUtf8(line).replace(u'\r', "\\r");
        }
        QCOMPARE(got.join(u'|'), c.text("lines"));
    }
};

KAPLO_TEST(TestTcpNntpSocket)
#include "tst_tcpnntpsocket.moc"
