// The TCP socket layer against a scripted server on loopback, and the engine
// on it where the real connection matters (split reads, the server leaving).
#include "enginerig.h"
#include "runhelpers.h"

#include "decode/cp932.h"
#include "engine/tcpnntpsocket.h"
#include "support/scriptedserver.h"
#include "support/testregistry.h"

#include <QTest>

class TestTcpNntpSocket final : public QObject {
    Q_OBJECT
private slots:
    void greetingAndCommands()
    {
        ScriptedServer server;
        const quint16 port = server.start();
        // A double-byte character cut between two reads is joined.
        const QByteArray jp = Cp932::encode(QStringLiteral("日本"));
        server.setGreeting({QByteArray("200 ") + jp.left(1), jp.mid(1) + "\r\n"});
        const QByteArray group = "GROUP " + Cp932::encode(QStringLiteral("日本.グループ"));
        server.reply(group, {"211 1 1 1 x\r\n"});
        TcpNntpSocket s;
        SocketReader r(s);
        s.connectToHost(QStringLiteral("127.0.0.1"), port);
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
};

KAPLO_TEST(TestTcpNntpSocket)
#include "tst_tcpnntpsocket.moc"
