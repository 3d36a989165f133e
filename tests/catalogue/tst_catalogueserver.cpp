#include "catalogue/cataloguefixture.h"

#include "engine/tcpnntpsocket.h"
#include "support/scriptedserver.h"
#include "support/testregistry.h"

#include <QTest>

using Rig = CatalogueRig<TcpNntpSocket>;

// The conversation over a real socket, against a server in this process
// that cuts its replies where the test says.
class TestCatalogueServer : public QObject {
    Q_OBJECT
private slots:
    void splitReplies_data()
    {
        QTest::addColumn<QList<QByteArray>>("chunks");
        QTest::addColumn<QStringList>("names");
        QTest::newRow("CR LF, whole")
            << QList<QByteArray>{"215 list\r\nb.b 2 1 y\r\na.a 1 1 y\r\n.\r\n"}
            << QStringList{"a.a", "b.b"};
        QTest::newRow("LF only") << QList<QByteArray>{"215 list\nb.b 2 1 y\na.a 1 1 y\n.\n"}
                                 << QStringList{"a.a", "b.b"};
        QTest::newRow("cut inside lines")
            << QList<QByteArray>{"21", "5 list\r\nb.", "b 2 1 y\r", "\na.a 1 1 y\r\n.", "\r\n"}
            << QStringList{"a.a", "b.b"};
        QTest::newRow("cut inside a double-byte name")
            << QList<QByteArray>{"215 list\r\nfj.\x93\xfa", "\x96", "\x7b 1 1 y\r\n.\r\n"}
            << QStringList{"fj.日本"};
    }
    void splitReplies()
    {
        QFETCH(QList<QByteArray>, chunks);
        QFETCH(QStringList, names);
        ScriptedServer server;
        const quint16 port = server.start();
        QVERIFY(port);
        server.reply("LIST", chunks);
        CatalogueFixture f(QStringLiteral("127.0.0.1"), port);
        CatalogueSession s;
        Rig r(f, s);
        r.conversation.cmdALL_Click();
        QTRY_COMPARE(r.ended, QList<bool>{true});
        QCOMPARE(server.received(), QStringList{"LIST"});
        QCOMPARE(r.list1(), names);
        QCOMPARE(f.catalogBytes(), Cp932::encode(names.join("\r\n") + "\r\n"));
        QTRY_COMPARE(server.openConnections(), 0);
        QVERIFY(r.failures.isEmpty());
    }

    // A 4xx status ends the fetch quietly: the connection is closed, nothing
    // is saved and no message is shown.
    void refusalClosesQuietly()
    {
        ScriptedServer server;
        const quint16 port = server.start();
        server.reply("NEWGROUPS 700102 000000", {"480 who are you\r\n"});
        CatalogueFixture f(QStringLiteral("127.0.0.1"), port);
        f.writeCatalog("old\r\n");
        CatalogueSession s;
        Rig r(f, s);
        r.conversation.cmdNew_Click();
        QTRY_COMPARE(r.refusals, QStringList{"480 who are you"});
        QCOMPARE(server.receivedBytes(), QList<QByteArray>{"NEWGROUPS 700102 000000"});
        QTRY_COMPARE(server.openConnections(), 0);
        QCOMPARE(f.prompter.shown.size(), 1); // the confirmation only
        QCOMPARE(f.catalogBytes(), QByteArray("old\r\n"));
        QCOMPARE(f.storedTime(), QStringLiteral("(none)"));
        QVERIFY(r.failures.isEmpty());
        QVERIFY(r.label1.isEmpty());
    }

    // The connection drops in the middle of the listing; the next fetch in
    // the same window works.
    void dropMidListingThenRetry()
    {
        ScriptedServer server;
        const quint16 port = server.start();
        server.reply("LIST", {"215 list\r\nfirst 1 1 y\r\nhalf"});
        server.closeAfter("LIST");
        server.reply("LIST", {"215 list\r\nsecond 1 1 y\r\n.\r\n"});
        CatalogueFixture f(QStringLiteral("127.0.0.1"), port);
        CatalogueSession s;
        Rig r(f, s);
        r.conversation.cmdALL_Click();
        QTRY_COMPARE(r.failures.size(), 1);
        QCOMPARE(r.label1, TcpNntpSocket::serverClosedText());
        QCOMPARE(r.list1(), QStringList()); // what was shown before: nothing
        QVERIFY(r.ended.isEmpty());
        QVERIFY(!QFile::exists(f.catalogPath()));

        r.conversation.cmdALL_Click();
        QTRY_COMPARE(r.ended, QList<bool>{true});
        QCOMPARE(r.list1(), QStringList{"second"});
        QCOMPARE(r.label1, QStringLiteral("1"));
        QCOMPARE(f.catalogBytes(), QByteArray("second\r\n"));
        QCOMPARE(server.received(), (QStringList{"LIST", "LIST"}));
    }

    void refusedConnection()
    {
        quint16 port;
        {
            ScriptedServer gone;
            port = gone.start();
        }
        CatalogueFixture f(QStringLiteral("127.0.0.1"), port);
        CatalogueSession s;
        Rig r(f, s);
        r.conversation.cmdALL_Click();
        QTRY_COMPARE(r.failures.size(), 1);
        QVERIFY(r.label1.startsWith(QStringLiteral("サーバーに接続を拒否されました")));
        QCOMPARE(s.state, CatalogueState::Greeting);
    }
};

KAPLO_TEST(TestCatalogueServer)
#include "tst_catalogueserver.moc"
