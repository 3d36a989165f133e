// The TCP socket layer against a scripted server on loopback, and the engine
// on it where the real connection matters (split reads, the server leaving).
#include "enginerig.h"

#include "decode/cp932.h"
#include "engine/tcpnntpsocket.h"
#include "support/scriptedserver.h"
#include "support/testregistry.h"

#include <QTcpServer>
#include <QTest>

namespace {

// Collects what a socket delivers, reading at each data event.
struct Reader {
    NntpSocket &socket;
    QString text;
    QStringList errors;
    int events = 0;
    explicit Reader(NntpSocket &s) : socket(s)
    {
        QObject::connect(&s, &NntpSocket::dataArrival, [this] {
            ++events;
            text += socket.readAll();
        });
        QObject::connect(&s, &NntpSocket::error, [this](const QString &e) { errors << e; });
    }
};

// A port nobody listens on.
quint16 closedPort()
{
    QTcpServer s;
    s.listen(QHostAddress::LocalHost);
    return s.serverPort();
}

} // namespace

class TestTcpNntpSocket final : public QObject {
    Q_OBJECT
private slots:
    void greetingAndCommands()
    {
        ScriptedServer server;
        const quint16 port = server.start();
        QVERIFY(port != 0);
        // A double-byte character cut between two reads is joined.
        const QByteArray jp = Cp932::encode(QStringLiteral("日本"));
        server.setGreeting({QByteArray("200 ") + jp.left(1), jp.mid(1) + "\r\n"});
        server.reply("GROUP " + Cp932::encode(QStringLiteral("日本.グループ")),
                     {"211 1 1 1 x\r\n"});
        TcpNntpSocket s;
        Reader r(s);
        s.connectToHost(QStringLiteral("127.0.0.1"), port);
        QTRY_COMPARE(r.text, QStringLiteral("200 日本\r\n"));
        s.send(QStringLiteral("GROUP 日本.グループ\r\n"));
        QTRY_COMPARE(r.text, QStringLiteral("200 日本\r\n211 1 1 1 x\r\n"));
        QCOMPARE(server.receivedBytes().value(0),
                 QByteArray("GROUP ") + Cp932::encode(QStringLiteral("日本.グループ")));
        QVERIFY(r.errors.isEmpty());
        s.close();
        QTRY_COMPARE(server.openConnections(), 0);
        QVERIFY(r.errors.isEmpty()); // our own close is no error
    }

    void serverClosing()
    {
        ScriptedServer server;
        const quint16 port = server.start();
        server.reply("NEXT", {"223 2 <x>\r\n"});
        server.closeAfter("NEXT");
        TcpNntpSocket s;
        Reader r(s);
        s.connectToHost(QStringLiteral("127.0.0.1"), port);
        QTRY_VERIFY(!r.text.isEmpty());
        s.send(QStringLiteral("NEXT\r\n"));
        QTRY_COMPARE(r.errors.size(), 1);
        // What came before the end is delivered first.
        QVERIFY(r.text.endsWith(QStringLiteral("223 2 <x>\r\n")));
        QCOMPARE(r.errors.first(), TcpNntpSocket::serverClosedText());
        QCOMPARE(r.errors.first(), QStringLiteral("サーバーが接続を切断しました"));
        // Only once.
        QTest::qWait(100);
        QCOMPARE(r.errors.size(), 1);
    }

    void failuresAreReportedLater_data()
    {
        QTest::addColumn<QString>("host");
        QTest::addColumn<int>("port");
        QTest::newRow("refused") << "127.0.0.1" << int(closedPort());
        QTest::newRow("bad port") << "127.0.0.1" << 70000;
        QTest::newRow("negative port") << "127.0.0.1" << -1;
        QTest::newRow("no such host") << "host.invalid" << 119;
    }
    void failuresAreReportedLater()
    {
        QFETCH(QString, host);
        QFETCH(int, port);
        TcpNntpSocket s;
        Reader r(s);
        s.connectToHost(host, port);
        QVERIFY(r.errors.isEmpty()); // never from inside connectToHost()
        QTRY_COMPARE(r.errors.size(), 1);
        QVERIFY(!r.errors.first().isEmpty());
    }

    void nothingAfterClose()
    {
        ScriptedServer server;
        const quint16 port = server.start();
        TcpNntpSocket s;
        Reader r(s);
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
        // A later connect opens a new connection.
        s.connectToHost(QStringLiteral("127.0.0.1"), port);
        QTRY_COMPARE(server.connectionCount(), 2);
        QTRY_COMPARE(r.events, events + 1);
    }

    // A refused connection while a run starts: the run ends through the
    // error path once the start is complete.
    void engineOnRefusedConnection()
    {
        EngineRig r;
        r.addGroup(QStringLiteral("a.b"));
        TcpNntpSocket tcp;
        DownloadEngine engine(*r.ctx, tcp);
        QSignalSpy ended(&engine, &DownloadEngine::runEnded);
        r.ctx->settings.serverName = QStringLiteral("127.0.0.1");
        r.ctx->settings.serverPort = QString::number(closedPort());
        engine.Command1_Click();
        QVERIFY(engine.running());
        QTRY_COMPARE(ended.count(), 1);
        QVERIFY(!engine.running());
        QCOMPARE(engine.endReason(), DownloadEngine::EndReason::Error);
        QVERIFY(!engine.state().label3.isEmpty());
    }

    // The server going away in the middle of a run ends it through the error
    // path instead of leaving it waiting.
    void engineOnServerClose()
    {
        EngineRig r;
        r.ctx->settings.log = QStringLiteral("TRUE");
        r.addGroup(QStringLiteral("a.b"));
        ScriptedServer server;
        const quint16 port = server.start();
        server.reply("GROUP a.b", {"211 2 1 2 a.b\r\n"});
        server.reply("ARTICLE", {"220 1 <m@x>\r\nSubj", "ect: split\r\nbo", "dy\r\n"});
        server.closeAfter("ARTICLE");
        TcpNntpSocket tcp;
        DownloadEngine engine(*r.ctx, tcp);
        RecordingHandler handler(engine.state());
        engine.setArticleHandler(&handler);
        QSignalSpy ended(&engine, &DownloadEngine::runEnded);
        r.ctx->settings.serverName = QStringLiteral("127.0.0.1");
        r.ctx->settings.serverPort = QString::number(port);
        engine.Command1_Click();
        QTRY_COMPARE(ended.count(), 1);
        QCOMPARE(handler.lines, (QStringList{"Subject: split", "body"}));
        QCOMPARE(engine.endReason(), DownloadEngine::EndReason::Error);
        QCOMPARE(engine.state().label3, TcpNntpSocket::serverClosedText());
        QCOMPARE(handler.closesOnly, 1);
        QVERIFY(!engine.log().summaryOpen());
        QCOMPARE(r.storedLast(0), QStringLiteral("1"));
        QCOMPARE(server.received(), (QStringList{"GROUP a.b", "ARTICLE"}));
    }
};

KAPLO_TEST(TestTcpNntpSocket)
#include "tst_tcpnntpsocket.moc"
