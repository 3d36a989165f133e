// The download engine's conversation, run control, limits and logs, on a
// socket the test plays the server for.
#include "enginerig.h"

#include "decode/cp932.h"
#include "engine/linebuffer.h"
#include "engine/runprogress.h"
#include "engine/tcpnntpsocket.h"
#include "support/testregistry.h"

#include <QTest>

Q_DECLARE_METATYPE(DownloadEngine::EndReason)

namespace {

const QString kGreeting = QStringLiteral("200 ready\r\n");

QString sec(const char *s)
{
    return QString::fromUtf8(s);
}

} // namespace

class TestDownloadEngine final : public QObject {
    Q_OBJECT
private slots:
    void captions()
    {
        QCOMPARE(DownloadEngine::startCaption(), sec("ﾀﾞｳﾝﾛｰﾄﾞ開始"));
        QCOMPARE(DownloadEngine::stopCaption(), sec("ﾀﾞｳﾝﾛｰﾄﾞ中止"));
        QCOMPARE(DownloadEngine::fileCountCaption(1234567), sec("ﾌｧｲﾙ数=1,234,567"));
        QCOMPARE(DownloadEngine::byteCountCaption(0), sec("ﾌｧｲﾙｻｲｽﾞ=0ﾊﾞｲﾄ"));
        QCOMPARE(DownloadEngine::byteCountCaption(Q_INT64_C(5000000000)),
                 sec("ﾌｧｲﾙｻｲｽﾞ=5,000,000,000ﾊﾞｲﾄ"));
    }

    void startSetsUpTheRun()
    {
        EngineRig r;
        r.ctx->settings.serverPort = QStringLiteral("1119abc");
        r.addGroup(QStringLiteral("a.b"));
        r.addGroup(QStringLiteral("c.d"));
        r.ctx->groups.setText(1, GroupTable::State, QStringLiteral("old"));
        r.engine->state().label3 = QStringLiteral("old error");
        r.engine->state().fileCount = 7;
        r.engine->Command1_Click();
        QVERIFY(r.engine->running());
        QCOMPARE(r.engine->command1Caption(), DownloadEngine::stopCaption());
        QCOMPARE(r.runningSpy->count(), 1);
        QCOMPARE(r.runningSpy->at(0).at(0).toBool(), true);
        QCOMPARE(r.socket.host(), QStringLiteral("news.example"));
        QCOMPARE(r.socket.port(), 1119);
        const RunState &st = r.engine->state();
        QCOMPARE(st.engineState, EngineState::Greeting);
        QCOMPARE(st.runGroupCount, 2);
        QCOMPARE(st.groupIndex, 1);
        QCOMPARE(st.fileCount, 0);
        QCOMPARE(st.label3, QString());
        QCOMPARE(st.runDate, QStringLiteral("971206"));
        QCOMPARE(r.cell(1, GroupTable::State), QString());
        QVERIFY(r.socket.sent.isEmpty()); // nothing before the greeting
        r.socket.feed(kGreeting);
        QCOMPARE(r.commands(), QStringList{QStringLiteral("GROUP a.b")});
        QCOMPARE(st.groupName, QStringLiteral("a.b"));
    }

    // A whole run over two groups: commands, columns, LAST in the store.
    void walksEveryGroup()
    {
        EngineRig r;
        r.addGroup(QStringLiteral("a.b"));
        r.addGroup(QStringLiteral("c.d"), QStringLiteral("7"));
        r.start();
        r.socket.feed(QStringLiteral("211 2 1 2 a.b\r\n"));
        QCOMPARE(r.cell(0, GroupTable::Lowest), QStringLiteral("1"));
        QCOMPARE(r.cell(0, GroupTable::Highest), QStringLiteral("2"));
        QCOMPARE(r.cell(0, GroupTable::State), sec("処理中"));
        r.socket.feed(QStringLiteral("220 1 <m1@x>\r\nSubject: one\r\n\r\n..body\r\n.\r\n"));
        QCOMPARE(r.cell(0, GroupTable::Last), QStringLiteral("1"));
        QCOMPARE(r.storedLast(0), QStringLiteral("1"));
        // Dot-unstuffed.
        QCOMPARE(r.handler->lines,
                 (QStringList{QStringLiteral("Subject: one"), QString(), QStringLiteral(".body")}));
        r.socket.feed(QStringLiteral("223 2 <m2@x>\r\n"));
        r.socket.feed(QStringLiteral("220 2 <m2@x>\r\nx\r\n.\r\n"));
        QCOMPARE(r.storedLast(0), QStringLiteral("2"));
        r.socket.feed(QStringLiteral("421 no next\r\n"));
        QCOMPARE(r.cell(0, GroupTable::State), sec("処理完了"));
        r.socket.feed(QStringLiteral("211 5 3 9 c.d\r\n"));
        r.socket.feed(QStringLiteral("220 7 <m7@x>\r\n.\r\n"));
        r.socket.feed(QStringLiteral("421 no next\r\n"));
        QCOMPARE(r.commands(), (QStringList{"GROUP a.b", "ARTICLE", "NEXT", "ARTICLE", "NEXT",
                                            "GROUP c.d", "ARTICLE 7", "NEXT", "QUIT"}));
        QVERIFY(!r.engine->running());
        QCOMPARE(r.engine->endReason(), DownloadEngine::EndReason::Finished);
        QCOMPARE(r.engine->state().engineState, EngineState::Ended);
        QCOMPARE(r.ended->count(), 1);
        // Goodbye: closed when the server answers QUIT.
        QVERIFY(r.engine->closing() && !r.socket.closed);
        QSignalSpy closed(r.engine.get(), &DownloadEngine::connectionClosed);
        r.socket.feed(QStringLiteral("205 bye\r\n"));
        QVERIFY(r.socket.closed && !r.engine->closing());
        QCOMPARE(closed.count(), 1);
        QCOMPARE(r.cell(1, GroupTable::State), sec("処理完了"));
        QCOMPARE(r.storedLast(1), QStringLiteral("7"));
        QCOMPARE(r.handler->closes, 4); // three articles' ends and the run's
        QCOMPARE(r.engine->state().label6, sec("ﾌｧｲﾙ数=0"));
    }

    // Rows that change places after GROUP: the article number still goes to
    // the fetched group's section, and never to the row now at its index.
    void lastFollowsTheFetchedGroup()
    {
        EngineRig r;
        r.addGroup(QStringLiteral("a.b"));
        r.addGroup(QStringLiteral("c.d"), QStringLiteral("7"));
        r.start();
        r.socket.feed(QStringLiteral("211 2 1 2 a.b\r\n"));
        r.ctx->groups.insertRow(0, GroupTable::newRow(QStringLiteral("new.one"), {}));
        r.socket.feed(QStringLiteral("220 1 <m1@x>\r\n.\r\n"));
        QCOMPARE(r.storedLast(1), QStringLiteral("1"));
        QCOMPARE(r.storedLast(0), QStringLiteral("<none>"));
        r.ctx->groups.removeRow(1); // the fetched group goes away
        r.socket.feed(QStringLiteral("223 2 <m2@x>\r\n"));
        r.socket.feed(QStringLiteral("220 2 <m2@x>\r\n.\r\n"));
        QCOMPARE(r.storedLast(0), QStringLiteral("<none>"));
        QCOMPARE(r.storedLast(1), QStringLiteral("1"));
    }

    void lineCutting_data()
    {
        QTest::addColumn<QStringList>("chunks");
        QTest::addColumn<QStringList>("lines");
        QTest::newRow("split mid-line")
            << QStringList{"ab", "c\r\nde", "f\r\n"} << QStringList{"abc", "def"};
        QTest::newRow("CR inside a line") << QStringList{"a\rb\n"} << QStringList{"a\rb"};
        QTest::newRow("LF alone") << QStringList{"x\n"} << QStringList{"x"};
        QTest::newRow("leading LF") << QStringList{"\nq\n"} << QStringList{"", "q"};
        QTest::newRow("CR and LF in two reads")
            << QStringList{"abc\r", "\ndef\r\n"} << QStringList{"abc", "def"};
        QTest::newRow("two CRs") << QStringList{"a\r\r\n"} << QStringList{"a\r"};
        QTest::newRow("CR LF after a lone CR") << QStringList{"a\rb\r\n"} << QStringList{"a\rb"};
        QTest::newRow("dot-stuffed")
            << QStringList{"..\r\n.x\r\n...\r\n"} << QStringList{".", "x", ".."};
        QTest::newRow("japanese") << QStringList{sec("題名: 日本"), sec("語\r\n")}
                                  << QStringList{sec("題名: 日本語")};
    }
    void lineCutting()
    {
        QFETCH(QStringList, chunks);
        QFETCH(QStringList, lines);
        EngineRig r;
        r.addGroup(QStringLiteral("a.b"));
        r.start();
        r.socket.feed(QStringLiteral("211 1 1 1 a.b\r\n"));
        r.socket.feed(QStringLiteral("220 1 <m@x>\r\n"));
        for (const QString &c : chunks)
            r.socket.feed(c);
        QCOMPARE(r.handler->lines, lines);
        r.socket.feed(QStringLiteral(".\r\n"));
        QCOMPARE(r.lastSent(), QStringLiteral("NEXT\r\n"));
    }

    // One read bringing thousands of lines: all of them, in order, and one
    // status notification for the read.
    void manyLinesInOneRead()
    {
        EngineRig r;
        r.addGroup(QStringLiteral("a.b"));
        r.start();
        r.socket.feed(QStringLiteral("211 1 1 1 a.b\r\n"));
        QString big = QStringLiteral("220 1 <m@x>\r\n");
        for (int i = 0; i < 20000; ++i)
            big += QStringLiteral("line %1\r\n").arg(i);
        QSignalSpy status(r.engine.get(), &DownloadEngine::statusChanged);
        r.socket.feed(big.left(big.size() / 2));
        r.socket.feed(big.mid(big.size() / 2) + QStringLiteral(".\r\n"));
        QCOMPARE(status.count(), 2);
        QCOMPARE(r.handler->lines.size(), 20000);
        QCOMPARE(r.handler->lines.first(), QStringLiteral("line 0"));
        QCOMPARE(r.handler->lines.at(12345), QStringLiteral("line 12345"));
        QCOMPARE(r.handler->lines.last(), QStringLiteral("line 19999"));
        QCOMPARE(r.lastSent(), QStringLiteral("NEXT\r\n"));
    }

    void emptyGroup()
    {
        EngineRig r;
        r.addGroup(QStringLiteral("a.b"));
        r.addGroup(QStringLiteral("c.d"));
        r.start();
        r.socket.feed(QStringLiteral("211 0 0 0 a.b\r\n"));
        QCOMPARE(r.cell(0, GroupTable::Lowest), QStringLiteral("0"));
        QCOMPARE(r.cell(0, GroupTable::Highest), QStringLiteral("0"));
        QCOMPARE(r.cell(0, GroupTable::State), sec("処理中"));
        QCOMPARE(r.lastSent(), QStringLiteral("NEXT\r\n"));
        r.socket.feed(QStringLiteral("420 no current article\r\n"));
        QCOMPARE(r.cell(0, GroupTable::State), sec("処理完了"));
        QCOMPARE(r.lastSent(), QStringLiteral("GROUP c.d\r\n"));
    }

    void firstCommandOfAGroup_data()
    {
        QTest::addColumn<QString>("column1");
        QTest::addColumn<QString>("command");
        QTest::addColumn<qint64>("current");
        QTest::newRow("number") << "1234"
                                << "ARTICLE 1234" << qint64(1234);
        QTest::newRow("empty") << ""
                               << "ARTICLE" << qint64(1);
        QTest::newRow("below the first") << "0"
                                         << "ARTICLE 1" << qint64(1);
        QTest::newRow("leading blanks and junk") << "  42abc"
                                                 << "ARTICLE 42" << qint64(42);
        QTest::newRow("not a number") << "abc"
                                      << "ARTICLE 1" << qint64(1);
        QTest::newRow("leading zeros") << "007"
                                       << "ARTICLE 7" << qint64(7);
        QTest::newRow("beyond 32 bits") << "9007199254740993"
                                        << "ARTICLE 9007199254740993" << qint64(9007199254740993LL);
        QTest::newRow("too big") << "99999999999999999999999"
                                 << "ARTICLE 9223372036854775807"
                                 << std::numeric_limits<qint64>::max();
        QTest::newRow("fraction") << "12.5"
                                  << "ARTICLE 12.5" << qint64(12);
    }
    void firstCommandOfAGroup()
    {
        QFETCH(QString, column1);
        QFETCH(QString, command);
        QFETCH(qint64, current);
        EngineRig r;
        r.addGroup(QStringLiteral("a.b"), column1);
        r.engine->state().currentNumber = -5; // kept when column 1 is empty
        r.start();
        r.socket.feed(QStringLiteral("211 10 1 10 a.b\r\n"));
        QCOMPARE(r.lastSent(), command + QStringLiteral("\r\n"));
        QCOMPARE(r.engine->state().currentNumber, current);
    }

    void noSuchArticle_data()
    {
        QTest::addColumn<qint64>("current");
        QTest::addColumn<qint64>("first");
        QTest::addColumn<qint64>("last");
        QTest::addColumn<qint64>("newCurrent");
        QTest::addColumn<QString>("command");
        QTest::newRow("below first")
            << qint64(99) << qint64(100) << qint64(200) << qint64(101) << "ARTICLE 101";
        QTest::newRow("beyond last")
            << qint64(250) << qint64(100) << qint64(200) << qint64(251) << "ARTICLE 200";
        QTest::newRow("inside") << qint64(150) << qint64(100) << qint64(200) << qint64(151)
                                << "ARTICLE 151";
        QTest::newRow("far below")
            << qint64(5) << qint64(100) << qint64(200) << qint64(101) << "ARTICLE 101";
        QTest::newRow("64-bit") << qint64(5000000000LL) << qint64(4000000000LL)
                                << qint64(6000000000LL) << qint64(5000000001LL)
                                << "ARTICLE 5000000001";
    }
    void noSuchArticle()
    {
        QFETCH(qint64, current);
        QFETCH(qint64, first);
        QFETCH(qint64, last);
        QFETCH(qint64, newCurrent);
        QFETCH(QString, command);
        EngineRig r;
        r.addGroup(QStringLiteral("a.b"), QString::number(current));
        r.start();
        r.socket.feed(QStringLiteral("211 9 %1 %2 a.b\r\n").arg(first).arg(last));
        QCOMPARE(r.cell(0, GroupTable::Lowest), QString::number(first));
        QCOMPARE(r.cell(0, GroupTable::Highest), QString::number(last));
        r.socket.feed(QStringLiteral("423 no such article\r\n"));
        QCOMPARE(r.engine->state().currentNumber, newCurrent);
        QCOMPARE(r.lastSent(), command + QStringLiteral("\r\n"));
        QVERIFY(r.engine->running());
    }

    // Once the requests are held at LastNumber, a 4xx there ends the group.
    void missingLastArticleEndsTheGroup()
    {
        EngineRig r;
        r.addGroup(QStringLiteral("a.b"), QStringLiteral("200"));
        r.addGroup(QStringLiteral("c.d"));
        r.start();
        r.socket.feed(QStringLiteral("211 9 100 200 a.b\r\n"));
        r.socket.feed(QStringLiteral("423 gone\r\n")); // ARTICLE 200
        QCOMPARE(r.lastSent(), QStringLiteral("ARTICLE 200\r\n"));
        r.socket.feed(QStringLiteral("423 gone\r\n"));
        QCOMPARE(r.cell(0, GroupTable::State), sec("処理完了"));
        QCOMPARE(r.lastSent(), QStringLiteral("GROUP c.d\r\n"));
        // A group with no number of its own counts from its first article.
        r.socket.feed(QStringLiteral("211 9 1 3 c.d\r\n"));
        r.socket.feed(QStringLiteral("423 gone\r\n"));
        QCOMPARE(r.lastSent(), QStringLiteral("ARTICLE 2\r\n"));
        r.socket.feed(QStringLiteral("220 3 <m@x>\r\n.\r\n"));
        r.socket.feed(QStringLiteral("223 4 <n@x>\r\n"));
        r.socket.feed(QStringLiteral("423 gone\r\n"));
        QCOMPARE(r.lastSent(), QStringLiteral("ARTICLE 3\r\n"));
        QVERIFY(r.engine->running());
        r.socket.feed(QStringLiteral("423 gone\r\n"));
        QCOMPARE(r.cell(1, GroupTable::State), sec("処理完了"));
        QVERIFY(!r.engine->running());
    }

    void downloadFlag()
    {
        EngineRig r;
        r.addGroup(QStringLiteral("skip.me"), QString(), QStringLiteral("NO"));
        r.addGroup(QStringLiteral("lower.case"), QString(), QStringLiteral("no"));
        r.addGroup(QStringLiteral("empty.flag"), QString(), QString());
        r.start();
        QCOMPARE(r.commands(), QStringList{QStringLiteral("GROUP lower.case")});
        QCOMPARE(r.engine->state().groupIndex, 2);
        r.socket.feed(QStringLiteral("411 no such group\r\n"));
        QCOMPARE(r.cell(1, GroupTable::State), sec("無効なﾆｭｰｽｸﾞﾙｰﾌﾟ"));
        QCOMPARE(r.lastSent(), QStringLiteral("GROUP empty.flag\r\n"));
        QCOMPARE(r.cell(0, GroupTable::State), QString());
    }

    void nothingToDownload_data()
    {
        QTest::addColumn<int>("rows");
        QTest::newRow("every row NO") << 3;
        QTest::newRow("empty table") << 0;
    }
    void nothingToDownload()
    {
        QFETCH(int, rows);
        EngineRig r;
        for (int i = 0; i < rows; ++i)
            r.addGroup(QStringLiteral("g%1").arg(i), QString(), QStringLiteral("NO"));
        r.start();
        QCOMPARE(r.commands(), QStringList{QStringLiteral("QUIT")});
        QVERIFY(!r.engine->running());
        QCOMPARE(r.engine->endReason(), DownloadEngine::EndReason::Finished);
        QCOMPARE(r.ended->count(), 1);
        QCOMPARE(r.lastSent(), QStringLiteral("QUIT\r\n"));
        r.socket.fail(TcpNntpSocket::serverClosedText()); // a goodbye without 205
        QVERIFY(r.socket.closed);
    }

    void badGroupReplies_data()
    {
        QTest::addColumn<QString>("reply");
        QTest::newRow("missing group") << "411 no such group";
        QTest::newRow("too few fields") << "211 5 1";
        QTest::newRow("number not an integer") << "211 5 1x 9 a.b";
        QTest::newRow("empty field") << "211 5  9 a.b";
        QTest::newRow("5xx") << "502 not for you";
    }
    void badGroupReplies()
    {
        QFETCH(QString, reply);
        EngineRig r;
        r.addGroup(QStringLiteral("a.b"));
        r.addGroup(QStringLiteral("c.d"));
        r.start();
        r.socket.feed(reply + QStringLiteral("\r\n"));
        QCOMPARE(r.cell(0, GroupTable::State), sec("無効なﾆｭｰｽｸﾞﾙｰﾌﾟ"));
        QCOMPARE(r.lastSent(), QStringLiteral("GROUP c.d\r\n"));
        r.socket.feed(reply + QStringLiteral("\r\n"));
        QVERIFY(!r.engine->running());
        QCOMPARE(r.engine->endReason(), DownloadEngine::EndReason::Finished);
    }

    void groupReplyWithoutName()
    {
        EngineRig r;
        r.addGroup(QStringLiteral("a.b"));
        r.start();
        r.socket.feed(QStringLiteral("211 5 1 9\r\n"));
        QCOMPARE(r.cell(0, GroupTable::Highest), QStringLiteral("9"));
        QCOMPARE(r.lastSent(), QStringLiteral("ARTICLE\r\n"));
    }

    // Replies that cannot lead anywhere end the run through the error path,
    // the server's text in Label3 and LAST as it was.
    void refusalsEndTheRun_data()
    {
        QTest::addColumn<EngineState>("state");
        QTest::addColumn<QString>("reply");
        QTest::newRow("3xx to ARTICLE") << EngineState::Article << "340 what";
        QTest::newRow("480 to ARTICLE") << EngineState::Article << "480 authentication required";
        QTest::newRow("5xx to NEXT") << EngineState::Next << "500 what?";
        QTest::newRow("480 to NEXT") << EngineState::Next << "480 authentication required";
        QTest::newRow("480 to GROUP") << EngineState::Group << "480 authentication required";
    }
    void refusalsEndTheRun()
    {
        QFETCH(EngineState, state);
        QFETCH(QString, reply);
        EngineRig r;
        r.ctx->settings.log = QStringLiteral("TRUE");
        r.addGroup(QStringLiteral("a.b"), QStringLiteral("5"));
        r.addGroup(QStringLiteral("c.d"));
        r.start();
        if (state != EngineState::Group) {
            r.socket.feed(QStringLiteral("211 9 1 9 a.b\r\n"));
            r.socket.feed(QStringLiteral("220 5 <m@x>\r\n.\r\n"));
            if (state == EngineState::Article)
                r.socket.feed(QStringLiteral("223 6 <n@x>\r\n"));
        }
        QCOMPARE(r.engine->state().engineState, state);
        const int sent = r.socket.sent.size();
        r.socket.feed(reply + QStringLiteral("\r\n"));
        QVERIFY(!r.engine->running());
        QCOMPARE(r.engine->endReason(), DownloadEngine::EndReason::Error);
        QCOMPARE(r.engine->state().label3, reply);
        QCOMPARE(r.socket.sent.size(), sent);
        QVERIFY(r.socket.closed);
        QVERIFY(!r.engine->log().summaryOpen());
        QCOMPARE(r.ended->count(), 1);
        QCOMPARE(r.storedLast(0),
                 state == EngineState::Group ? QStringLiteral("<none>") : QStringLiteral("5"));
        QCOMPARE(r.cell(1, GroupTable::State), QString());
    }

    // kaplo-cli download's exit status from how the run ended.
    void exitStatus_data()
    {
        using R = DownloadEngine::EndReason;
        QTest::addColumn<R>("reason");
        QTest::addColumn<bool>("refused");
        QTest::addColumn<bool>("interrupted");
        QTest::addColumn<int>("status");
        QTest::newRow("finished") << R::Finished << false << false << 0;
        QTest::newRow("limit") << R::Limit << false << false << 0;
        QTest::newRow("finished, a group refused") << R::Finished << true << false << 1;
        QTest::newRow("limit, a group refused") << R::Limit << true << false << 1;
        QTest::newRow("server error") << R::Error << false << false << 1;
        QTest::newRow("refused") << R::Refused << false << false << 1;
        QTest::newRow("fatal") << R::Fatal << false << false << 2;
        QTest::newRow("local error") << R::LocalError << true << false << 2;
        QTest::newRow("stopped") << R::Stopped << false << false << 130;
        QTest::newRow("none") << R::None << false << false << 130;
        QTest::newRow("interrupted after finishing") << R::Finished << false << true << 130;
        QTest::newRow("interrupted after an error") << R::Error << false << true << 130;
    }
    void exitStatus()
    {
        QFETCH(DownloadEngine::EndReason, reason);
        QFETCH(bool, refused);
        QFETCH(bool, interrupted);
        QFETCH(int, status);
        QCOMPARE(DownloadEngine::exitStatus(reason, refused, interrupted), status);
    }

    void limits_data()
    {
        QTest::addColumn<QString>("kind");
        QTest::addColumn<QString>("value");
        QTest::addColumn<int>("stopsAfter"); // articles; 0 for never
        QTest::newRow("files") << "2"
                               << "2" << 2;
        QTest::newRow("files, first article") << "2"
                                              << "1" << 1;
        QTest::newRow("size") << "3"
                              << "2" << 2; // 1.5 MB per article below
        QTest::newRow("size fraction") << "3"
                                       << "1.4" << 1;
        QTest::newRow("time") << "1"
                              << "02:00" << 2; // one hour per article below
        QTest::newRow("time across midnight") << "1"
                                              << "01:30" << 2;
        QTest::newRow("files not a number") << "2"
                                            << "abc" << 0;
        QTest::newRow("size not a number") << "3"
                                           << "" << 0;
        QTest::newRow("time not a time") << "1"
                                         << "soon" << 0;
        QTest::newRow("no limit") << "0"
                                  << "1" << 0;
        QTest::newRow("unknown kind") << "4"
                                      << "1" << 0;
    }
    void limits()
    {
        QFETCH(QString, kind);
        QFETCH(QString, value);
        QFETCH(int, stopsAfter);
        EngineRig r;
        RunningSettings &set = r.ctx->settings;
        set.seigen = kind;
        set.seigenFile = set.seigenSize = set.seigenTime = value;
        r.addGroup(QStringLiteral("a.b"));
        RunState &st = r.engine->state();
        // Each article opens a file of 1.5 MB and takes an hour.
        r.handler->onLine = [&](QStringView) {
            st.fileCount += 1;
            st.byteCount += 1536 * 1024;
        };
        r.start();
        r.socket.feed(QStringLiteral("211 3 1 3 a.b\r\n"));
        for (int a = 1; a <= 3; ++a) {
            r.socket.feed(QStringLiteral("220 %1 <m@x>\r\nline\r\n").arg(a));
            r.clock = r.clock.addSecs(3600);
            const int sent = r.socket.sent.size();
            r.socket.feed(QStringLiteral(".\r\n"));
            if (a == stopsAfter) {
                QVERIFY(!r.engine->running());
                QCOMPARE(r.engine->endReason(), DownloadEngine::EndReason::Limit);
                QCOMPARE(r.socket.sent.size(), sent + 1); // no NEXT: QUIT
                QCOMPARE(r.lastSent(), QStringLiteral("QUIT\r\n"));
                QCOMPARE(r.cell(0, GroupTable::State), sec("処理中断"));
                QCOMPARE(r.storedLast(0), QString::number(a));
                QCOMPARE(r.ended->count(), 1);
                QCOMPARE(st.label6, DownloadEngine::fileCountCaption(a));
                return;
            }
            QCOMPARE(r.lastSent(), QStringLiteral("NEXT\r\n"));
            r.socket.feed(QStringLiteral("223 %1 <n@x>\r\n").arg(a + 1));
        }
        QCOMPARE(stopsAfter, 0);
        QVERIFY(r.engine->running());
    }

    void stopByHand()
    {
        EngineRig r;
        r.ctx->settings.log = QStringLiteral("TRUE");
        r.addGroup(QStringLiteral("a.b"));
        r.addGroup(QStringLiteral("c.d"));
        r.addGroup(QStringLiteral("e.f"));
        r.start();
        r.socket.feed(QStringLiteral("411 none\r\n"));
        r.socket.feed(QStringLiteral("211 9 1 9 c.d\r\n"));
        r.socket.feed(QStringLiteral("220 4 <m@x>\r\nhalf"));
        r.engine->Command1_Click();
        QVERIFY(!r.engine->running());
        QCOMPARE(r.engine->endReason(), DownloadEngine::EndReason::Stopped);
        QCOMPARE(r.engine->command1Caption(), DownloadEngine::startCaption());
        QCOMPARE(r.runningSpy->last().at(0).toBool(), false);
        QCOMPARE(r.cell(0, GroupTable::State), sec("無効なﾆｭｰｽｸﾞﾙｰﾌﾟ"));
        QCOMPARE(r.cell(1, GroupTable::State), sec("処理中断"));
        QCOMPARE(r.cell(2, GroupTable::State), QString());
        QCOMPARE(r.storedLast(1), QStringLiteral("4"));
        QCOMPARE(r.handler->closes, 1); // the partial file is closed and kept
        QCOMPARE(r.handler->closesOnly, 0);
        QCOMPARE(r.lastSent(), QStringLiteral("QUIT\r\n"));
        QVERIFY(!r.engine->log().summaryOpen());
        QCOMPARE(r.ended->count(), 1);
        // The state is kept; the next start begins again with "S".
        QCOMPARE(r.engine->state().engineState, EngineState::Article);
        const int sent = r.socket.sent.size();
        r.socket.feed(QStringLiteral("rest\r\n.\r\n")); // a late delivery does nothing
        QCOMPARE(r.socket.sent.size(), sent);
        r.engine->Command1_Click();
        QCOMPARE(r.engine->state().engineState, EngineState::Greeting);
        QCOMPARE(r.socket.connectCount, 2);
        r.socket.feed(kGreeting);
        QCOMPARE(r.lastSent(), QStringLiteral("GROUP a.b\r\n"));
    }

    void socketError()
    {
        EngineRig r;
        r.ctx->settings.log = QStringLiteral("TRUE");
        r.ctx->logMode = true;
        r.addGroup(QStringLiteral("a.b"));
        r.start();
        r.socket.feed(QStringLiteral("211 9 1 9 a.b\r\n"));
        r.socket.feed(QStringLiteral("220 3 <m@x>\r\nSubject: s\r\n"));
        r.engine->state().label1 = QStringLiteral("file.jpg");
        QVERIFY(r.engine->log().summaryOpen());
        QVERIFY(r.engine->log().traceOpen());
        r.socket.fail(QStringLiteral("接続がリセットされました"));
        QVERIFY(!r.engine->running());
        QCOMPARE(r.engine->endReason(), DownloadEngine::EndReason::Error);
        QCOMPARE(r.engine->state().label3, QStringLiteral("接続がリセットされました"));
        QVERIFY(r.engine->state().label1.isEmpty()); // the failed run's file is not shown
        QCOMPARE(r.handler->closesOnly, 1);
        QCOMPARE(r.handler->closes, 0);
        QVERIFY(!r.engine->log().summaryOpen());
        QVERIFY(!r.engine->log().traceOpen());
        QVERIFY(r.socket.closed);
        QCOMPARE(r.ended->count(), 1);
        QCOMPARE(r.cell(0, GroupTable::State), sec("処理中断"));
        QCOMPARE(r.storedLast(0), QStringLiteral("3"));
        // An error while idle belongs to no run.
        r.socket.fail(QStringLiteral("late"));
        QCOMPARE(r.ended->count(), 1);
        QCOMPARE(r.engine->state().label3, QStringLiteral("接続がリセットされました"));
    }

    // Article processing asking for the error path or for the program's end.
    void handlerErrors()
    {
        {
            EngineRig r;
            r.addGroup(QStringLiteral("a.b"));
            r.handler->onLine = [&](QStringView l) {
                if (l == QLatin1String("bad"))
                    r.engine->state().runError = QStringLiteral("ディスクがいっぱいです");
            };
            r.start();
            r.socket.feed(QStringLiteral("211 9 1 9 a.b\r\n"));
            r.socket.feed(QStringLiteral("220 3 <m@x>\r\nok\r\nbad\r\nnever\r\n.\r\n"));
            QCOMPARE(r.handler->lines, (QStringList{"ok", "bad"}));
            QVERIFY(!r.engine->running());
            QCOMPARE(r.engine->endReason(), DownloadEngine::EndReason::LocalError);
            QCOMPARE(r.engine->state().label3, QStringLiteral("ディスクがいっぱいです"));
            QCOMPARE(r.storedLast(0), QStringLiteral("3"));
            QCOMPARE(r.handler->closesOnly, 1);
            QCOMPARE(r.ended->count(), 1);
            QCOMPARE(r.lastSent(), QStringLiteral("ARTICLE\r\n"));
            // The next run starts clean.
            r.engine->Command1_Click();
            QVERIFY(r.engine->state().runError.isEmpty());
        }
        {
            EngineRig r;
            r.addGroup(QStringLiteral("a.b"));
            QSignalSpy fatal(r.engine.get(), &DownloadEngine::fatalError);
            r.handler->onLine = [&](QStringView) {
                r.engine->state().fatalError = QStringLiteral("パスが見つかりません");
            };
            r.start();
            r.socket.feed(QStringLiteral("211 9 1 9 a.b\r\n"));
            r.socket.feed(QStringLiteral("220 3 <m@x>\r\nbegin 644 a\r\nmore\r\n"));
            QCOMPARE(r.handler->lines.size(), 1);
            QCOMPARE(fatal.count(), 1);
            QCOMPARE(fatal.at(0).at(0).toString(), QStringLiteral("パスが見つかりません"));
            QVERIFY(!r.engine->running());
            QCOMPARE(r.engine->endReason(), DownloadEngine::EndReason::Fatal);
            QCOMPARE(r.ended->count(), 0);
            QVERIFY(r.socket.closed);
        }
    }

    void failedLastWriteEndsTheRun()
    {
        EngineRig r;
        r.addGroup(QStringLiteral("a.b"));
        r.start();
        r.socket.feed(QStringLiteral("211 9 1 9 a.b\r\n"));
        r.store->failWritesForTesting(true);
        // The number may wait for the next write; at the latest the end of
        // the run finds the disk refusing it.
        r.socket.feed(QStringLiteral("220 3 <m@x>\r\nline\r\n"));
        if (r.engine->running()) {
            r.socket.feed(QStringLiteral(".\r\n"));
            r.socket.feed(QStringLiteral("421 no next\r\n"));
        }
        QVERIFY(!r.engine->running());
        QCOMPARE(r.engine->endReason(), DownloadEngine::EndReason::LocalError);
        QVERIFY(r.engine->state().label3.startsWith(QStringLiteral("取込番号を保存できません")));
    }

    void logFileNames()
    {
        QCOMPARE(RunLog::summaryPath(QStringLiteral("/save"), QStringLiteral("971206")),
                 QStringLiteral("/save/971206.LOG"));
        QCOMPARE(RunLog::tracePath(QStringLiteral("/save"), QStringLiteral("971206")),
                 QStringLiteral("/save/971206F.LOG"));
        // A directory given with its separator keeps it: the separator is
        // always inserted.
        QCOMPARE(RunLog::summaryPath(QStringLiteral("/save/"), QStringLiteral("010101")),
                 QStringLiteral("/save//010101.LOG"));
    }

    // Two runs on one day append to the same summary log; the record of the
    // run stopped inside an article is continued by the next record.
    void summaryLogOfTwoRuns()
    {
        EngineRig r;
        r.ctx->settings.log = QStringLiteral("TRUE");
        r.ctx->logMode = true;
        r.addGroup(QStringLiteral("日本.test"));
        for (int run = 0; run < 2; ++run) {
            r.start();
            r.socket.feed(QStringLiteral("211 9 1 9 x\r\n"));
            r.engine->log().summary(QString()); // nothing written for nothing
            r.socket.feed(QStringLiteral("220 %1 <m@x>\r\n").arg(run + 1));
            if (run == 0) {
                r.engine->Command1_Click(); // stopped inside the article
                continue;
            }
            r.socket.feed(QStringLiteral("body\r\n.\r\n"));
            // A complete record and each traced line are on disk while the
            // run goes on.
            QVERIFY(r.engine->log().summaryOpen());
            QVERIFY(r.fileBytes(QStringLiteral("971206.LOG")).endsWith("\t2\r\n"));
            QVERIFY(r.fileBytes(QStringLiteral("971206F.LOG")).endsWith("body\r\n.\r\n"));
            r.socket.feed(QStringLiteral("421 none\r\n"));
        }
        QVERIFY(!r.engine->running());
        QCOMPARE(r.fileBytes(QStringLiteral("971206.LOG")),
                 Cp932::encode(sec("\"日本.test\"\t1\"日本.test\"\t2\r\n")));
        QCOMPARE(r.fileBytes(QStringLiteral("971206F.LOG")),
                 QByteArray("200 news.example ready\r\n211 9 1 9 x\r\n220 1 <m@x>\r\n"
                            "200 news.example ready\r\n211 9 1 9 x\r\n220 2 <m@x>\r\nbody\r\n"
                            ".\r\n421 none\r\n"));
    }

    // Lines of an attachment are not traced; the summary log is not written
    // when LOG is not "TRUE", and one switched off during a run is closed.
    void traceSkipsAttachmentsAndLogSwitch()
    {
        EngineRig r;
        r.ctx->logMode = true;
        r.ctx->settings.log = QStringLiteral("TRUE");
        r.addGroup(QStringLiteral("a.b"));
        r.handler->onLine = [&](QStringView l) {
            if (l.startsWith(u"begin"))
                r.engine->state().inBody = true;
        };
        r.start();
        r.socket.feed(QStringLiteral("211 9 1 9 a.b\r\n"));
        r.ctx->settings.log = QStringLiteral("FALSE");
        r.socket.feed(QStringLiteral("220 1 <m@x>\r\nbegin 644 a\r\nM86)C\r\n.\r\n"));
        r.socket.feed(QStringLiteral("421 none\r\n"));
        QVERIFY(!r.engine->log().summaryOpen());
        QCOMPARE(r.fileBytes(QStringLiteral("971206.LOG")), QByteArray());
        QCOMPARE(r.fileBytes(QStringLiteral("971206F.LOG")),
                 QByteArray("200 news.example ready\r\n211 9 1 9 a.b\r\n220 1 <m@x>\r\n"
                            "begin 644 a\r\n421 none\r\n"));
    }

    void endOfArticleResets()
    {
        EngineRig r;
        r.addGroup(QStringLiteral("a.b"));
        RunState &st = r.engine->state();
        r.handler->onLine = [&](QStringView) {
            st.subject = st.from = st.dateText = QStringLiteral("x");
            st.mimeState = MimeState::Base64;
            st.pendingFileName = QStringLiteral("p");
            st.posterDir = QStringLiteral("poster");
            st.fileCount = 1234;
            st.byteCount = 1234567;
        };
        r.start();
        r.socket.feed(QStringLiteral("211 9 1 9 a.b\r\n"));
        r.socket.feed(QStringLiteral("220 1 <m@x>\r\nh\r\n.\r\n"));
        QVERIFY(st.subject.isEmpty() && st.from.isEmpty() && st.dateText.isEmpty());
        QVERIFY(st.pendingFileName.isEmpty());
        QCOMPARE(st.mimeState, MimeState::None);
        QCOMPARE(st.posterDir, QStringLiteral("poster"));
        QCOMPARE(st.label6, sec("ﾌｧｲﾙ数=1,234"));
        QCOMPARE(st.label7, sec("ﾌｧｲﾙｻｲｽﾞ=1,234,567ﾊﾞｲﾄ"));
    }

    // Every end of a run: how it ended, this run's files and bytes and its
    // duration in Label8 and lastRun(); no row is left "処理中"; the next
    // start clears what the previous run left on screen.
    void endOfRunSummary_data()
    {
        QTest::addColumn<QString>("how");
        QTest::addColumn<int>("end");
        QTest::addColumn<QString>("text");
        const auto row = [](const char *how, RunSummary::End end, const char *text) {
            QTest::newRow(how) << QString::fromLatin1(how) << int(end) << sec(text);
        };
        row("finished", RunSummary::End::Finished,
            "処理完了  ﾌｧｲﾙ数=1  ﾌｧｲﾙｻｲｽﾞ=2,048ﾊﾞｲﾄ  所要時間=1:01:05");
        row("stopped", RunSummary::End::Stopped,
            "中止しました  ﾌｧｲﾙ数=1  ﾌｧｲﾙｻｲｽﾞ=2,048ﾊﾞｲﾄ  所要時間=1:01:05");
        row("limit", RunSummary::End::Limit,
            "制限に達したため終了しました  ﾌｧｲﾙ数=1  ﾌｧｲﾙｻｲｽﾞ=2,048ﾊﾞｲﾄ  所要時間=1:01:05");
        row("refused", RunSummary::End::Error,
            "ｴﾗｰで終了しました (503 go away)  ﾌｧｲﾙ数=1  ﾌｧｲﾙｻｲｽﾞ=2,048ﾊﾞｲﾄ  所要時間=1:01:05");
        row("socket", RunSummary::End::Error,
            "ｴﾗｰで終了しました (reset)  ﾌｧｲﾙ数=1  ﾌｧｲﾙｻｲｽﾞ=2,048ﾊﾞｲﾄ  所要時間=1:01:05");
    }
    void endOfRunSummary()
    {
        QFETCH(QString, how);
        QFETCH(int, end);
        QFETCH(QString, text);
        EngineRig r;
        r.ctx->settings.seigen = how == QLatin1String("limit") ? QStringLiteral("2") : QString();
        r.ctx->settings.seigenFile = QStringLiteral("1");
        r.addGroup(QStringLiteral("a.b"));
        r.addGroup(QStringLiteral("c.d"));
        RunState &st = r.engine->state();
        st.label1 = st.label8 = QStringLiteral("earlier run");
        st.fileCount = 7;
        r.handler->onLine = [&](QStringView) {
            st.fileCount += 1;
            st.byteCount += 2048;
        };
        r.start();
        QVERIFY(st.label1.isEmpty() && st.label8.isEmpty());
        QCOMPARE(st.label6, DownloadEngine::fileCountCaption(0));
        r.socket.feed(QStringLiteral("211 2 1 2 a.b\r\n"));
        r.clock = r.clock.addSecs(3665);
        r.socket.feed(QStringLiteral("220 1 <m@x>\r\nline\r\n.\r\n"));
        if (how == QLatin1String("finished")) {
            r.socket.feed(QStringLiteral("421 none\r\n"));
            r.socket.feed(QStringLiteral("411 none\r\n"));
        } else if (how == QLatin1String("stopped")) {
            st.label1 = QStringLiteral("part.jpg");
            st.label2Shown = true;
            r.engine->Command1_Click();
        } else if (how == QLatin1String("refused")) {
            r.socket.feed(QStringLiteral("503 go away\r\n")); // to NEXT
        } else if (how == QLatin1String("socket")) {
            r.socket.fail(QStringLiteral("reset"));
        }
        QVERIFY(!r.engine->running());
        QCOMPARE(int(r.engine->lastRun().end), end);
        QCOMPARE(r.engine->lastRun().msecs, qint64(3665000));
        QCOMPARE(st.label8, text);
        QVERIFY(st.label1.isEmpty() && st.label2().isEmpty());
        QCOMPARE(st.label6, DownloadEngine::fileCountCaption(1));
        for (int row = 0; row < 2; ++row)
            QVERIFY(r.cell(row, GroupTable::State) != sec("処理中"));
        if (end != int(RunSummary::End::Finished))
            QCOMPARE(r.cell(0, GroupTable::State), sec("処理中断"));
        // A refused connection: nothing of this run is left on screen.
        r.engine->Command1_Click();
        r.socket.fail(QStringLiteral("refused"));
        QCOMPARE(st.label8,
                 sec("ｴﾗｰで終了しました (refused)  ﾌｧｲﾙ数=0  ﾌｧｲﾙｻｲｽﾞ=0ﾊﾞｲﾄ  所要時間=0:00:00"));
        QCOMPARE(st.label6, DownloadEngine::fileCountCaption(0));
    }

    // The article bar: from Lines: when given, unknown without, nothing
    // between articles. The rate over the last seconds of samples.
    void progressAndRate_data()
    {
        QTest::addColumn<bool>("inArticle");
        QTest::addColumn<int>("lines");
        QTest::addColumn<int>("received");
        QTest::addColumn<int>("permille");
        QTest::newRow("idle") << false << 10 << 5 << 0;
        QTest::newRow("half") << true << 10 << 5 << 500;
        QTest::newRow("past Lines:") << true << 10 << 25 << 1000;
        QTest::newRow("no Lines:") << true << 0 << 5 << -1;
        QTest::newRow("negative Lines:") << true << -3 << 5 << -1;
    }
    void progressAndRate()
    {
        QFETCH(bool, inArticle);
        QFETCH(int, lines);
        QFETCH(int, received);
        QFETCH(int, permille);
        RunState st;
        st.inArticle = inArticle;
        st.linesValue = lines;
        st.bodyLineCount = received;
        QCOMPARE(RunProgress::articlePermille(st), permille);

        RateMeter m;
        QCOMPARE(m.bytesPerSecond(), -1.0);
        m.sample(0, 0);
        m.sample(1024 * 1024, 1000);
        QCOMPARE(m.bytesPerSecond(), 1024.0 * 1024.0);
        QCOMPARE(RunProgress::rateText(m.bytesPerSecond()), QStringLiteral("1.0 MB/s"));
        // Only the last few seconds count.
        for (int s = 2; s <= 10; ++s)
            m.sample(1024 * 1024 + (s - 1) * 2048, s * 1000);
        QCOMPARE(RunProgress::rateText(m.bytesPerSecond()), QStringLiteral("2.0 KB/s"));
        m.sample(0, 11000); // a new run
        QCOMPARE(m.bytesPerSecond(), -1.0);
        QCOMPARE(RunProgress::rateText(-1), QString());
    }

    // Lines after the "." wait for the next event; the NEXT is sent at once.
    void linesAfterTheEndWait()
    {
        EngineRig r;
        r.addGroup(QStringLiteral("a.b"));
        r.start();
        r.socket.feed(QStringLiteral("211 9 1 9 a.b\r\n"));
        r.socket.feed(QStringLiteral("220 1 <m@x>\r\n.\r\n223 2 <n@x>\r\n"));
        QCOMPARE(r.lastSent(), QStringLiteral("NEXT\r\n"));
        r.socket.feed(QString());
        QCOMPARE(r.lastSent(), QStringLiteral("ARTICLE\r\n"));
    }

    // Replies whose article number cannot be taken: LAST keeps the number
    // asked for.
    void oddArticleNumbers_data()
    {
        QTest::addColumn<QString>("reply"); // to ARTICLE 5
        QTest::addColumn<QString>("last");
        QTest::newRow("plain") << "220 7 <m@x>"
                               << "7";
        QTest::newRow("no message-id") << "220 6"
                                       << "6";
        QTest::newRow("missing") << "220"
                                 << "5";
        QTest::newRow("negative") << "220 -3 <m@x>"
                                  << "5";
        QTest::newRow("fraction") << "220 6.5 <m@x>"
                                  << "5";
        QTest::newRow("junk") << "220 x1 <m@x>"
                              << "5";
        QTest::newRow("2^63") << "220 9223372036854775808 <m@x>"
                              << "5";
        QTest::newRow("2^63-1") << "220 9223372036854775807 <m@x>"
                                << "9223372036854775807";
    }
    void oddArticleNumbers()
    {
        QFETCH(QString, reply);
        QFETCH(QString, last);
        EngineRig r;
        r.addGroup(QStringLiteral("a.b"), QStringLiteral("5"));
        r.start();
        r.socket.feed(QStringLiteral("211 9 1 9 a.b\r\n"));
        r.socket.feed(reply + QStringLiteral("\r\nbody\r\n.\r\n"));
        QCOMPARE(r.handler->lines, QStringList{QStringLiteral("body")});
        QCOMPARE(r.cell(0, GroupTable::Last), last);
        QCOMPARE(r.storedLast(0), last);
        QCOMPARE(r.lastSent(), QStringLiteral("NEXT\r\n"));
    }

    // A NEXT that does not pass the current article ends the group (traced)
    // instead of fetching the same article for ever.
    void nextMustAdvance_data()
    {
        QTest::addColumn<QString>("reply"); // to NEXT after article 5
        QTest::addColumn<bool>("advances");
        QTest::newRow("next") << "223 6 <n@x>" << true;
        QTest::newRow("same") << "223 5 <n@x>" << false;
        QTest::newRow("back") << "223 2 <n@x>" << false;
        QTest::newRow("no number") << "223" << false;
        QTest::newRow("negative") << "223 -6 <n@x>" << false;
        QTest::newRow("beyond 2^63-1") << "223 9223372036854775808 <n@x>" << false;
    }
    void nextMustAdvance()
    {
        QFETCH(QString, reply);
        QFETCH(bool, advances);
        EngineRig r;
        r.ctx->logMode = true;
        r.addGroup(QStringLiteral("a.b"), QStringLiteral("5"));
        r.addGroup(QStringLiteral("c.d"));
        r.start();
        r.socket.feed(QStringLiteral("211 9 1 9 a.b\r\n"));
        r.socket.feed(QStringLiteral("220 5 <m@x>\r\n.\r\n"));
        r.socket.feed(reply + QStringLiteral("\r\n"));
        QCOMPARE(r.lastSent(),
                 advances ? QStringLiteral("ARTICLE\r\n") : QStringLiteral("GROUP c.d\r\n"));
        QCOMPARE(r.cell(0, GroupTable::State), advances ? sec("処理中") : sec("処理完了"));
        r.engine->Command1_Click();
        QCOMPARE(Cp932::decode(r.fileBytes(QStringLiteral("971206F.LOG")))
                     .contains(sec("NEXTで次の記事に進みません")),
                 !advances);
    }

    // A line longer than any valid one: its head goes on as over-long, the
    // lines after it as usual.
    void overlongLine()
    {
        EngineRig r;
        r.addGroup(QStringLiteral("a.b"));
        r.start();
        r.socket.feed(QStringLiteral("211 9 1 9 a.b\r\n"));
        r.socket.feed(QStringLiteral("220 1 <m@x>\r\n.") + QString(50000, QLatin1Char('x')));
        r.socket.feed(QString(100000, QLatin1Char('y')) + QStringLiteral("\r\nnext\r\n"));
        QCOMPARE(r.handler->overlong, QList<qsizetype>{LineBuffer::DefaultMaxLine - 1});
        QCOMPARE(r.handler->lines, QStringList{QStringLiteral("next")});
        r.socket.feed(QStringLiteral(".\r\n"));
        QCOMPARE(r.lastSent(), QStringLiteral("NEXT\r\n"));
    }

    // The article LAST names is not fetched again once it was saved whole;
    // one that was interrupted is.
    void completedArticleIsNotSavedAgain()
    {
        EngineRig r;
        r.addGroup(QStringLiteral("a.b"));
        r.start();
        r.socket.feed(QStringLiteral("211 2 1 2 a.b\r\n"));
        r.socket.feed(QStringLiteral("220 1 <m@x>\r\none\r\n.\r\n"));
        r.socket.feed(QStringLiteral("223 2 <n@x>\r\n"));
        r.socket.feed(QStringLiteral("220 2 <n@x>\r\ntwo\r\n.\r\n"));
        r.socket.feed(QStringLiteral("421 no next\r\n"));
        QCOMPARE(r.engine->endReason(), DownloadEngine::EndReason::Finished);
        // Nothing new: STAT and NEXT, nothing saved.
        r.socket.sent.clear();
        r.start();
        r.socket.feed(QStringLiteral("211 2 1 2 a.b\r\n"));
        r.socket.feed(QStringLiteral("223 2 <n@x>\r\n"));
        r.socket.feed(QStringLiteral("421 no next\r\n"));
        QCOMPARE(r.commands(), (QStringList{"GROUP a.b", "STAT 2", "NEXT", "QUIT"}));
        QCOMPARE(r.handler->lines, (QStringList{"one", "two"}));
        // A new article, stopped halfway, is fetched again by the next run.
        r.socket.sent.clear();
        r.start();
        r.socket.feed(QStringLiteral("211 3 1 3 a.b\r\n"));
        r.socket.feed(QStringLiteral("223 2 <n@x>\r\n"));
        r.socket.feed(QStringLiteral("223 3 <o@x>\r\n"));
        r.socket.feed(QStringLiteral("220 3 <o@x>\r\nha"));
        r.engine->Command1_Click();
        r.socket.sent.clear();
        r.start();
        r.socket.feed(QStringLiteral("211 3 1 3 a.b\r\n"));
        QCOMPARE(r.lastSent(), QStringLiteral("ARTICLE 3\r\n"));
        r.socket.feed(QStringLiteral("220 3 <o@x>\r\nthree\r\n.\r\n"));
        r.socket.feed(QStringLiteral("421 no next\r\n"));
        // The completed article has expired: on from the next number.
        r.socket.sent.clear();
        r.start();
        r.socket.feed(QStringLiteral("211 3 2 5 a.b\r\n"));
        r.socket.feed(QStringLiteral("423 no such article\r\n"));
        QCOMPARE(r.commands(), (QStringList{"GROUP a.b", "STAT 3", "ARTICLE 4"}));
        QCOMPARE(r.handler->lines, (QStringList{"one", "two", "three"}));
    }

    // A 5xx to ARTICLE ends its group, not the run; LAST stays on it.
    void refusedArticleEndsTheGroup()
    {
        EngineRig r;
        r.ctx->settings.log = QStringLiteral("TRUE");
        r.addGroup(QStringLiteral("a.b"), QStringLiteral("5"));
        r.addGroup(QStringLiteral("c.d"));
        r.start();
        r.socket.feed(QStringLiteral("211 9 1 9 a.b\r\n"));
        r.socket.feed(QStringLiteral("220 5 <m@x>\r\n.\r\n"));
        r.socket.feed(QStringLiteral("223 6 <n@x>\r\n"));
        r.socket.feed(QStringLiteral("503 program fault\r\n"));
        QVERIFY(r.engine->running());
        QCOMPARE(r.cell(0, GroupTable::State), sec("処理中断"));
        QCOMPARE(r.storedLast(0), QStringLiteral("6"));
        QCOMPARE(r.engine->state().label3, QStringLiteral("503 program fault"));
        QCOMPARE(r.lastSent(), QStringLiteral("GROUP c.d\r\n"));
        r.socket.feed(QStringLiteral("211 0 0 0 c.d\r\n"));
        r.socket.feed(QStringLiteral("420 none\r\n"));
        QCOMPARE(r.engine->endReason(), DownloadEngine::EndReason::Finished);
        QVERIFY(r.engine->groupRefused());
        QCOMPARE(r.engine->state().label3, QStringLiteral("503 program fault"));
        QVERIFY(r.fileBytes(QStringLiteral("971206.LOG"))
                    .contains("\"a.b\"\t6\t503 program fault\r\n"));
    }

    // SERVER/TIMEOUT seconds of silence end the run through the error path.
    void serverFallsSilent_data()
    {
        QTest::addColumn<bool>("midArticle");
        QTest::newRow("no greeting") << false;
        QTest::newRow("mid-article") << true;
    }
    void serverFallsSilent()
    {
        QFETCH(bool, midArticle);
        EngineRig r;
        r.ctx->settings.timeout = QStringLiteral("1");
        r.addGroup(QStringLiteral("a.b"), QStringLiteral("5"));
        if (midArticle) {
            r.start();
            r.socket.feed(QStringLiteral("211 9 1 9 a.b\r\n"));
            r.socket.feed(QStringLiteral("220 6 <m@x>\r\nhalf"));
        } else {
            r.engine->Command1_Click();
        }
        QTRY_VERIFY_WITH_TIMEOUT(!r.engine->running(), 5000);
        QCOMPARE(r.engine->endReason(), DownloadEngine::EndReason::Error);
        QCOMPARE(r.engine->state().label3, sec("サーバーから応答がありません (1秒)"));
        QVERIFY(r.socket.closed);
        QCOMPARE(r.ended->count(), 1);
        QCOMPARE(r.storedLast(0), midArticle ? QStringLiteral("6") : QStringLiteral("<none>"));
    }

    void timeoutSetting_data()
    {
        QTest::addColumn<QString>("setting");
        QTest::addColumn<int>("seconds");
        QTest::newRow("default") << "120" << 120;
        QTest::newRow("blanks") << " 30 " << 30;
        QTest::newRow("zero") << "0" << 1;
        QTest::newRow("not a number") << "abc" << DownloadEngine::DefaultTimeout;
        QTest::newRow("huge") << "99999999999" << 2147483;
    }
    void timeoutSetting()
    {
        QFETCH(QString, setting);
        QFETCH(int, seconds);
        QCOMPARE(DownloadEngine::timeoutSeconds(setting), seconds);
    }

    // While one long article arrives, its number reaches the disk within a
    // second (writes are otherwise held back to one a second).
    void lastOnDiskDuringAnArticle()
    {
        EngineRig r;
        r.addGroup(QStringLiteral("a.b"));
        r.start();
        r.socket.feed(QStringLiteral("211 9 1 9 a.b\r\n"));
        r.socket.feed(QStringLiteral("220 1 <m@x>\r\n.\r\n"));
        r.socket.feed(QStringLiteral("223 2 <n@x>\r\n"));
        r.socket.feed(QStringLiteral("220 2 <n@x>\r\nhalf"));
        const auto onDisk = [&] {
            return SettingsStore(r.store->path())
                .read(GroupTable::sectionOf(0), QStringLiteral("LAST"), QString());
        };
        QTRY_COMPARE_WITH_TIMEOUT(onDisk(), QStringLiteral("2"), 1500);
        QVERIFY(r.engine->running());
    }
};

KAPLO_TEST(TestDownloadEngine)
#include "tst_downloadengine.moc"
