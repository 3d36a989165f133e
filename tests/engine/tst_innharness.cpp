// Smoke tests of the test harness itself: the fake socket, the scripted
// server and the private INN server.
#include "support/fakesocket.h"
#include "support/innserver.h"
#include "support/scriptedserver.h"
#include "support/testregistry.h"

#include <QDateTime>
#include <QFileInfo>
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

// A blocking reader conversation with INN (a separate process).
struct NntpClient {
    QTcpSocket socket;

    bool connect(quint16 port)
    {
        socket.connectToHost(QHostAddress::LocalHost, port);
        return socket.waitForConnected(10000) && line().startsWith("200");
    }
    QByteArray line()
    {
        while (!socket.canReadLine()) {
            if (!socket.waitForReadyRead(30000))
                return {};
        }
        QByteArray l = socket.readLine();
        if (l.endsWith("\r\n"))
            l.chop(2);
        return l;
    }
    QByteArray command(const QByteArray &c)
    {
        socket.write(c + "\r\n");
        return line();
    }
    // The lines of a multi-line block up to its "." line, dot-stuffing kept.
    QList<QByteArray> block()
    {
        QList<QByteArray> lines;
        for (QByteArray l = line(); l != "." && socket.state() == QAbstractSocket::ConnectedState;
             l = line())
            lines << l;
        return lines;
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

    void innServerConversation()
    {
        if (!InnServer::available())
            QSKIP(qPrintable(InnServer::unavailableReason()));
        InnServer inn;
        QVERIFY2(inn.start(), qPrintable(inn.errorString()));
        QVERIFY(inn.start()); // a second start does nothing
        QVERIFY2(inn.newGroups({"kaplo.one", "kaplo.two"}), qPrintable(inn.errorString()));
        const QByteArray head = "From: tester <t@example.com>\nNewsgroups: kaplo.one\n";
        QVERIFY2(inn.post(head + "Subject: first\n\nline 1\n.dotted\n"),
                 qPrintable(inn.errorString()));
        QVERIFY2(inn.post(head + "Subject: \x1b$B$3$s\x1b(B raw\r\n\r\nsecond\r\n"),
                 qPrintable(inn.errorString()));
        QVERIFY(!inn.post("Subject: no groups\n\nbody\n"));
        QVERIFY(!inn.errorString().isEmpty());

        NntpClient c;
        QVERIFY(c.connect(inn.port()));
        QCOMPARE(c.command("GROUP kaplo.one"), QByteArray("211 2 1 2 kaplo.one"));
        QVERIFY(c.command("ARTICLE 1").startsWith("220 1 <"));
        QList<QByteArray> art = c.block();
        QCOMPARE(art.mid(art.indexOf(QByteArray())), (QList<QByteArray>{"", "line 1", "..dotted"}));
        QVERIFY(c.command("NEXT").startsWith("223 2 "));
        QVERIFY(c.command("ARTICLE").startsWith("220 2 "));
        art = c.block();
        QVERIFY(art.contains("Subject: \x1b$B$3$s\x1b(B raw"));
        QVERIFY(c.command("NEXT").startsWith("421"));
        QVERIFY(c.command("ARTICLE 7").startsWith("423"));
        QCOMPARE(c.command("GROUP kaplo.two"), QByteArray("211 0 1 0 kaplo.two"));
        QVERIFY(c.command("GROUP kaplo.none").startsWith("411"));
        QVERIFY(c.command("LIST").startsWith("215"));
        QList<QByteArray> names;
        for (const QByteArray &l : c.block())
            names << l.left(l.indexOf(' '));
        QVERIFY(names.contains("kaplo.one"));
        QVERIFY(names.contains("kaplo.two"));
        // The server takes local time; groups made today are new since yesterday.
        const QByteArray since =
            QDateTime::currentDateTime().addDays(-1).toString("yyMMdd HHmmss").toLatin1();
        QVERIFY(c.command("NEWGROUPS " + since).startsWith("231"));
        names.clear();
        for (const QByteArray &l : c.block())
            names << l.left(l.indexOf(' '));
        QVERIFY(names.contains("kaplo.one"));
        const QByteArray tomorrow =
            QDateTime::currentDateTime().addDays(1).toString("yyMMdd HHmmss").toLatin1();
        QVERIFY(c.command("NEWGROUPS " + tomorrow).startsWith("231"));
        QVERIFY(c.block().isEmpty());

        const QString dir = inn.directory();
        inn.stop();
        QVERIFY(!QFileInfo::exists(dir));
    }
};

KAPLO_TEST(TstInnHarness)
#include "tst_innharness.moc"
