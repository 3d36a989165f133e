// Smoke tests of the test harness itself: the fake socket, the scripted
// server and the private INN server.
#include "support/fakesocket.h"
#include "support/scriptedserver.h"
#include "support/testregistry.h"

#include <QSignalSpy>
#include <QTcpSocket>
#include <QTest>

namespace {

// A client on the test's own thread (the scripted server needs the event
// loop): every read is kept separately.
struct Client {
    QTcpSocket socket;
    QList<QByteArray> reads;
    bool disconnected = false;

    explicit Client(quint16 port)
    {
        QObject::connect(&socket, &QTcpSocket::readyRead, [this] { reads << socket.readAll(); });
        QObject::connect(&socket, &QTcpSocket::disconnected, [this] { disconnected = true; });
        socket.connectToHost(QHostAddress::LocalHost, port);
    }
    QByteArray all() const { return reads.join(); }
    // Spins the event loop until `n` reads have arrived.
    bool waitReads(int n)
    {
        return QTest::qWaitFor([&] { return reads.size() >= n; }, 5000);
    }
};

} // namespace

class TstInnHarness final : public QObject {
    Q_OBJECT
private slots:
    void fakeSocketRecordsAndFeeds()
    {
        FakeSocket s;
        QSignalSpy data(&s, &NntpSocket::dataArrival);
        QSignalSpy err(&s, &NntpSocket::error);
        s.connectToHost(QStringLiteral("news.example"), 119);
        s.send(QStringLiteral("GROUP a.b\r\n"));
        s.feed(QStringLiteral("200 hi\r\n"));
        s.feed(QStringLiteral("211 "));
        QCOMPARE(data.count(), 2);
        QCOMPARE(s.readAll(), QStringLiteral("200 hi\r\n211 "));
        QCOMPARE(s.readAll(), QString());
        s.fail(QStringLiteral("切断"));
        QCOMPARE(err.count(), 1);
        QCOMPARE(err.at(0).at(0).toString(), QStringLiteral("切断"));
        s.close();
        QVERIFY(s.closed);
        QCOMPARE(s.host(), QStringLiteral("news.example"));
        QCOMPARE(s.port(), 119);
        QCOMPARE(s.sent, QStringList{QStringLiteral("GROUP a.b\r\n")});
    }

    void scriptedServerSplitsChunks()
    {
        ScriptedServer server;
        const quint16 port = server.start();
        QVERIFY(port != 0);
        // A line split mid-line, and a CP932 double-byte character (0x82 0xA0)
        // split between its two bytes.
        const QList<QByteArray> chunks{"211 1 1 1 a.b\r\nab", "\x82",
                                       "\xa0"
                                       "cd\r\n"};
        server.reply("GROUP a.b", chunks);
        server.closeAfter("QUIT");
        server.setChunkPause(100);

        Client client(port);
        QVERIFY(client.waitReads(1));
        QCOMPARE(client.reads.takeFirst(), QByteArray("200 scripted server ready\r\n"));
        client.socket.write("GROUP a.b\r\n");
        QVERIFY(client.waitReads(3));
        QCOMPARE(client.reads, chunks);
        client.reads.clear();
        client.socket.write("BOGUS\r\nQUIT\r\n");
        QTRY_VERIFY(client.disconnected);
        QCOMPARE(client.all(), QByteArray("500 command not recognized\r\n"));
        QCOMPARE(server.received(), (QStringList{"GROUP a.b", "BOGUS", "QUIT"}));
    }

    void scriptedServerSecondConnection()
    {
        ScriptedServer server;
        const quint16 port = server.start();
        server.reply("ARTICLE 1", {"220 1 <a@b>\r\nSubject: x\r\n"});
        server.closeAfter("ARTICLE 1");
        server.reply("ARTICLE 1", {"220 1 <a@b>\r\nSubject: x\r\n\r\nbody\r\n.\r\n"});

        Client first(port);
        QVERIFY(first.waitReads(1));
        first.reads.clear();
        first.socket.write("ARTICLE 1\n"); // LF alone ends a line too
        QTRY_VERIFY(first.disconnected);
        QCOMPARE(first.all(), QByteArray("220 1 <a@b>\r\nSubject: x\r\n"));

        Client second(port);
        QVERIFY(second.waitReads(1));
        second.reads.clear();
        second.socket.write("ARTICLE 1\r\n");
        QTRY_VERIFY(second.all().endsWith("\r\n.\r\n"));
        QCOMPARE(second.all(), QByteArray("220 1 <a@b>\r\nSubject: x\r\n\r\nbody\r\n.\r\n"));
        QVERIFY(server.waitForIdle());
        QCOMPARE(second.socket.state(), QAbstractSocket::ConnectedState);
        QCOMPARE(server.connectionCount(), 2);
        QCOMPARE(server.openConnections(), 1);
        QCOMPARE(server.received(), (QStringList{"ARTICLE 1", "ARTICLE 1"}));
    }
};

KAPLO_TEST(TstInnHarness)
#include "tst_innharness.moc"
