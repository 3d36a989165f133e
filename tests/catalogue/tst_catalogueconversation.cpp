#include "catalogue/cataloguefixture.h"

#include "support/fakesocket.h"
#include "support/testregistry.h"

#include <QTest>

using Rig = CatalogueRig<FakeSocket>;

namespace {

const QString kDone = QStringLiteral("一覧取込を完了しました");
const QString kAll = QStringLiteral("全て取込むには時間がかかります");
const QString kNew = QStringLiteral("新しいﾆｭｰｽｸﾞﾙｰﾌﾟの取込を開始しますか");

} // namespace

class TestCatalogueConversation : public QObject {
    Q_OBJECT
private slots:
    void allGroupsFetch()
    {
        CatalogueFixture f(QStringLiteral("news.example"), 1119);
        CatalogueSession s;
        Rig r(f, s);
        r.conversation.cmdALL_Click();
        QCOMPARE(f.prompter.shown, QStringList{kAll});
        QCOMPARE(r.socket.host(), QStringLiteral("news.example"));
        QCOMPARE(r.socket.port(), 1119);
        QCOMPARE(s.state, CatalogueState::Greeting);

        r.socket.feed("200 hello\r\n");
        QCOMPARE(r.socket.sent, QStringList{"LIST\r\n"});
        QCOMPARE(s.state, CatalogueState::Command);
        QVERIFY(!s.replyFlag);
        r.socket.feed("215 list follows\r\nfj.b 10 1 y\r\nalt.a 5 1 m\r\n");
        QCOMPARE(s.state, CatalogueState::Reading);
        QCOMPARE(r.label1, QStringLiteral("2"));
        QCOMPARE(r.list1(), (QStringList{"alt.a", "fj.b"}));
        QVERIFY(r.list2().isEmpty());
        QVERIFY(!r.socket.closed);

        r.socket.feed("Comp.c 1 1 y\r\n.\r\n");
        QCOMPARE(r.ended, QList<bool>{true});
        QCOMPARE(f.prompter.shown.last(), kDone);
        QVERIFY(r.socket.closed);
        QCOMPARE(s.state, CatalogueState::Ended);
        QVERIFY(!s.replyFlag);
        QCOMPARE(r.label1, QStringLiteral("3"));
        QCOMPARE(f.catalogBytes(), QByteArray("alt.a\r\nComp.c\r\nfj.b\r\n"));
        QCOMPARE(f.storedTime(), s.sinceValue);
        QVERIFY(s.sinceValue != CatalogueSession::allGroupsSince());
        QVERIFY(r.refusals.isEmpty() && r.failures.isEmpty());
    }

    // How a line is cut: the name is the text before its first space.
    void lineCutting_data()
    {
        QTest::addColumn<QStringList>("chunks");
        QTest::addColumn<QStringList>("names");
        QTest::newRow("LF only") << QStringList{"200 hi\n", "215 ok\na.b 1 1 y\nc.d 2 1 y\n.\n"}
                                 << QStringList{"a.b", "c.d"};
        QTest::newRow("split in the name")
            << QStringList{"200 hi\r\n", "215 ok\r\na.", "b 1 1 y\r", "\nc.d 1 1 y\r\n.\r\n"}
            << QStringList{"a.b", "c.d"};
        QTest::newRow("split between CR and LF")
            << QStringList{"200 hi\r", "\n", "215 ok\r", "\nx 1 1 y\r", "\n.", "\r\n"}
            << QStringList{"x"};
        QTest::newRow("no space: whole line")
            << QStringList{"200 hi\r\n", "215 ok\r\nlonely\r\n.\r\n"} << QStringList{"lonely"};
        QTest::newRow("a CR inside stays")
            << QStringList{"200 hi\r\n", "215 ok\r\na\rb 1\r\n.\r\n"} << QStringList{"a\rb"};
        QTest::newRow("leading space: empty name")
            << QStringList{"200 hi\r\n", "215 ok\r\n a 1\r\n.\r\n"} << QStringList{""};
    }
    void lineCutting()
    {
        QFETCH(QStringList, chunks);
        QFETCH(QStringList, names);
        CatalogueFixture f;
        CatalogueSession s;
        Rig r(f, s);
        r.conversation.cmdALL_Click();
        for (const QString &c : chunks)
            r.socket.feed(c);
        QCOMPARE(r.list1(), names);
        QCOMPARE(r.ended, QList<bool>{true});
    }

    // Lines after the greeting in the same read are taken as listing lines,
    // and nothing is sent: the conversation as designed.
    void greetingFollowedByMoreLines()
    {
        CatalogueFixture f;
        CatalogueSession s;
        Rig r(f, s);
        r.conversation.cmdALL_Click();
        r.socket.feed("200 hi\r\n215 ok\r\n");
        QCOMPARE(r.list1(), QStringList{"215"});
        QCOMPARE(r.socket.sent, QStringList{"LIST\r\n"});
    }

    void errorGreetingIsAnswered()
    {
        CatalogueFixture f;
        CatalogueSession s;
        Rig r(f, s);
        r.conversation.cmdALL_Click();
        r.socket.feed("502 go away\r\n");
        QCOMPARE(r.socket.sent, QStringList{"LIST\r\n"});
    }

    void errorStatusEndsWithTheReply()
    {
        CatalogueFixture f;
        f.writeCatalog("old.one\r\n");
        CatalogueSession s;
        Rig r(f, s);
        r.conversation.cmdNew_Click();
        r.socket.feed("200 hi\r\n");
        r.socket.feed("501 Bad date\r\n");
        QVERIFY(r.socket.closed);
        QCOMPARE(r.label1, QStringLiteral("501 Bad date"));
        QVERIFY(r.ended.isEmpty());
        QCOMPARE(f.catalogBytes(), QByteArray("old.one\r\n"));
        QCOMPARE(f.storedTime(), QStringLiteral("(none)"));
    }

    void refusedEndsQuietly()
    {
        CatalogueFixture f;
        f.writeCatalog("old.one\r\n");
        CatalogueSession s;
        Rig r(f, s);
        r.conversation.cmdNew_Click();
        r.socket.feed("200 hi\r\n");
        const int shown = f.prompter.shown.size();
        r.socket.feed("480 authentication required\r\n");
        QVERIFY(r.socket.closed);
        QCOMPARE(f.prompter.shown.size(), shown);
        QCOMPARE(r.refusals, QStringList{"480 authentication required"});
        QVERIFY(r.ended.isEmpty());
        QCOMPARE(s.state, CatalogueState::Ended);
        QCOMPARE(f.catalogBytes(), QByteArray("old.one\r\n"));
        QCOMPARE(f.storedTime(), QStringLiteral("(none)"));
        QCOMPARE(r.list1(), QStringList{"old.one"});
    }

    void firstUseAsksSinceLongAgo()
    {
        CatalogueFixture f;
        CatalogueSession s;
        Rig r(f, s);
        QCOMPARE(s.sinceValue, QStringLiteral("450815 120000"));
        r.conversation.cmdNew_Click();
        QCOMPARE(f.prompter.shown, QStringList{kNew});
        r.socket.feed("200 hi\r\n");
        QCOMPARE(r.socket.sent, QStringList{"NEWGROUPS 700102 000000\r\n"});
    }

    void newGroupsAppendToCatalogue()
    {
        CatalogueFixture f;
        f.writeCatalog("b.b\r\na.a\r\n");
        CatalogueSession s;
        Rig r(f, s);
        f.store->write(QStringLiteral("SERVER"), QStringLiteral("TIME"),
                       QStringLiteral("240101 000000"));
        r.chooser.Form_Load(); // reads TIME as the window opening does
        r.conversation.cmdNew_Click();
        r.socket.feed("200 hi\r\n");
        QCOMPARE(r.socket.sent, QStringList{"NEWGROUPS 240101 000000\r\n"});
        r.socket.feed("231 new\r\nc.c\r\na.a\r\n.\r\n");
        QCOMPARE(r.list1(), (QStringList{"a.a", "a.a", "b.b", "c.c"}));
        QCOMPARE(r.list2(), (QStringList{"a.a", "c.c"}));
        QCOMPARE(r.label1, QStringLiteral("2"));
        QCOMPARE(f.catalogBytes(), QByteArray("a.a\r\na.a\r\nb.b\r\nc.c\r\n"));
    }

    void zeroGroups_data()
    {
        QTest::addColumn<bool>("all");
        QTest::addColumn<QByteArray>("file");
        QTest::newRow("all groups") << true << QByteArray();
        QTest::newRow("new groups") << false << QByteArray("kept\r\n");
    }
    void zeroGroups()
    {
        QFETCH(bool, all);
        QFETCH(QByteArray, file);
        CatalogueFixture f;
        f.writeCatalog("kept\r\n");
        CatalogueSession s;
        Rig r(f, s);
        r.label1 = QStringLiteral("untouched");
        all ? r.conversation.cmdALL_Click() : r.conversation.cmdNew_Click();
        r.socket.feed("200 hi\r\n");
        r.socket.feed("231 none\r\n.\r\n");
        QCOMPARE(r.ended, QList<bool>{true});
        QCOMPARE(f.prompter.shown.last(), kDone);
        QCOMPARE(f.catalogBytes(), file);
        QVERIFY(f.storedTime() != QStringLiteral("(none)"));
        QCOMPARE(r.label1, QStringLiteral("untouched"));
    }

    void cancelledCommandsStillChangeFlags()
    {
        CatalogueFixture f;
        CatalogueSession s;
        Rig r(f, s);
        f.prompter.confirmAnswers = {false, false};
        r.conversation.cmdALL_Click();
        QCOMPARE(r.socket.connectCount, 0);
        QCOMPARE(s.sinceValue, QStringLiteral("750815 120000"));
        QVERIFY(!s.newOnly);
        r.conversation.cmdNew_Click();
        QVERIFY(s.newOnly);
        QCOMPARE(r.socket.connectCount, 0);
        // The next confirmed new-groups fetch asks since the all-groups date.
        r.conversation.cmdNew_Click();
        r.socket.feed("200 hi\r\n");
        QCOMPARE(r.socket.sent, QStringList{"NEWGROUPS 750815 120000\r\n"});
    }

    // A socket error in the middle of a listing leaves the reply flag set
    // and half a line in the buffer; the next fetch starts clean.
    void errorMidListingThenAnotherFetch()
    {
        CatalogueFixture f;
        CatalogueSession s;
        Rig r(f, s);
        r.conversation.cmdALL_Click();
        r.socket.feed("200 hi\r\n");
        r.socket.feed("215 ok\r\na 1\r\nhalf a li");
        r.socket.fail(QStringLiteral("サーバーが接続を切断しました"));
        QCOMPARE(r.label1, QStringLiteral("サーバーが接続を切断しました"));
        QVERIFY(r.socket.closed);
        QCOMPARE(s.state, CatalogueState::Reading);
        QVERIFY(s.replyFlag);
        QVERIFY(r.ended.isEmpty());
        QCOMPARE(f.catalogBytes(), QByteArray());
        QCOMPARE(f.storedTime(), QStringLiteral("(none)"));
        QCOMPARE(f.prompter.shown, QStringList{kAll});

        r.conversation.cmdALL_Click();
        QCOMPARE(r.socket.connectCount, 2);
        QVERIFY(r.list1().isEmpty());
        r.socket.feed("200 hi again\r\n");
        QCOMPARE(r.socket.sent, (QStringList{"LIST\r\n", "LIST\r\n"}));
        r.socket.feed("215 ok\r\nb 1\r\n.\r\n");
        QCOMPARE(r.list1(), QStringList{"b"});
        QCOMPARE(f.catalogBytes(), QByteArray("b\r\n"));
    }

    // A fetch started while one is under way ends the old connection first.
    void fetchDuringFetch()
    {
        CatalogueFixture f;
        CatalogueSession s;
        Rig r(f, s);
        r.conversation.cmdALL_Click();
        r.socket.feed("200 hi\r\n215 ok\r\n");
        QVERIFY(!r.socket.closed);
        const int closes = r.socket.closeCount;
        r.conversation.cmdNew_Click();
        QCOMPARE(r.socket.closeCount, closes + 1);
        QCOMPARE(s.state, CatalogueState::Greeting);
        QVERIFY(!s.replyFlag);
        QCOMPARE(s.fetchCount, 0);
        r.socket.feed("200 hi\r\n");
        QCOMPARE(r.socket.sent.last(), QStringLiteral("NEWGROUPS 750815 120000\r\n"));
    }

    // The state outlives the window: a second opening over the same session
    // finds it; the count restarts only with a fetch.
    void stateOutlivesTheWindow()
    {
        CatalogueFixture f;
        CatalogueSession s;
        {
            Rig r(f, s);
            r.conversation.cmdNew_Click();
            r.socket.feed("200 hi\r\n");
            r.chooser.List1_Click(-1);
        }
        QCOMPARE(s.state, CatalogueState::Command);
        QVERIFY(s.newOnly);
        Rig again(f, s);
        QCOMPARE(s.state, CatalogueState::Command);
        QVERIFY(again.list2().isEmpty());
    }

    void endLineStopsTakingLines()
    {
        CatalogueFixture f;
        CatalogueSession s;
        Rig r(f, s);
        r.conversation.cmdALL_Click();
        r.socket.feed("200 hi\r\n");
        r.socket.feed("215 ok\r\na 1\r\n.\r\nafter 1\r\n");
        QCOMPARE(r.list1(), QStringList{"a"});
        QCOMPARE(s.buffer.pending().toByteArray(), QByteArray("after 1\r\n"));
    }

    // A list holds every name a server sends, past 32 767.
    void longListing()
    {
        CatalogueFixture f;
        CatalogueSession s;
        Rig r(f, s);
        r.conversation.cmdALL_Click();
        r.socket.feed("200 hi\r\n");
        QString listing = QStringLiteral("215 ok\r\n");
        for (int i = 40000; i > 0; --i)
            listing += QStringLiteral("g.%1 1 1 y\r\n").arg(i, 5, 10, QLatin1Char('0'));
        r.socket.feed(listing);
        r.socket.feed(".\r\n");
        QCOMPARE(r.chooser.list1().count(), 40000);
        QCOMPARE(r.label1, QStringLiteral("40000"));
        QCOMPARE(r.chooser.list1().at(0), QStringLiteral("g.00001"));
        QCOMPARE(r.chooser.list1().at(39999), QStringLiteral("g.40000"));
        QCOMPARE(CatalogueFile::load(f.catalogPath()).names.size(), 40000);
    }

    // A server that never ends its line is cut off, not followed into
    // memory exhaustion.
    void endlessLine()
    {
        CatalogueFixture f;
        CatalogueSession s;
        Rig r(f, s);
        r.conversation.cmdALL_Click();
        r.socket.feed("200 hi\r\n215 ok\r\n");
        const QString block(1024 * 1024, QLatin1Char('x'));
        for (qsizetype sent = 0;
             sent <= CatalogueConversation::MaxLineLength && r.failures.isEmpty();
             sent += block.size())
            r.socket.feed(block);
        QCOMPARE(r.failures, QStringList{CatalogueConversation::lineTooLongText()});
        QVERIFY(r.socket.closed);
        QVERIFY(s.buffer.isEmpty());
    }

    // A line past the cap that ends within one read is refused the same way.
    void overlongLineInOneRead()
    {
        CatalogueFixture f;
        CatalogueSession s;
        Rig r(f, s);
        r.conversation.cmdALL_Click();
        r.socket.feed("200 hi\r\n215 ok\r\na 1\r\n" +
                      QString(CatalogueConversation::MaxLineLength + 1, QLatin1Char('x')) +
                      "\r\nb 1\r\n.\r\n");
        QCOMPARE(r.failures, QStringList{CatalogueConversation::lineTooLongText()});
        QVERIFY(r.socket.closed);
    }

    // SERVER/TIMEOUT seconds of silence end the fetch, the text in Label1.
    void silentServer_data()
    {
        QTest::addColumn<bool>("greeted");
        QTest::newRow("no greeting") << false;
        QTest::newRow("mid-listing") << true;
    }
    void silentServer()
    {
        QFETCH(bool, greeted);
        CatalogueFixture f;
        f.ctx->settings.timeout = QStringLiteral("1");
        CatalogueSession s;
        Rig r(f, s);
        r.conversation.cmdALL_Click();
        if (greeted)
            r.socket.feed("200 hi\r\n215 ok\r\na.b 1 1 y\r\n");
        const QString text = QString::fromUtf8("サーバーから応答がありません (1秒)");
        QTRY_COMPARE_WITH_TIMEOUT(r.failures, QStringList{text}, 5000);
        QCOMPARE(r.label1, text);
        QVERIFY(r.socket.closed);
    }
};

KAPLO_TEST(TestCatalogueConversation)
#include "tst_catalogueconversation.moc"
