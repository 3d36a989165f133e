// The window of pipelined NEXT/ARTICLE pairs against a scripted server:
// replies taken in order, the replies behind a failed NEXT dropped, and a
// run that stops with commands in flight saving nothing after the stopping
// article and leaving LAST where one command at a time would.
#include "enginerig.h"
#include "runhelpers.h"

#include "decode/cp932.h"
#include "engine/articleparser.h"
#include "engine/tcpnntpsocket.h"
#include "support/scriptedserver.h"
#include "support/testregistry.h"

#include <QDir>
#include <QTest>

using namespace runtest;

namespace {

// Article n of the scripted group: one uuencoded file "fn.bin" of 60 bytes,
// its head and its body in two writes (so the client most likely tops its
// window up while the article arrives).
QList<QByteArray> article(int n)
{
    const QByteArray num = QByteArray::number(n);
    return {"220 " + num + " <" + num + "@x>\r\nSubject: a" + num + "\r\n\r\n",
            uuencode("f" + num + ".bin", QByteArray(60, char('A' + n))) + ".\r\n"};
}

// The real article parser, with a look at each line it is given as text.
class Watched final : public ArticleLineHandler {
public:
    explicit Watched(ArticleParser &p) : parser(p) {}
    void articleLine(QStringView line) override
    {
        if (onLine)
            onLine(line);
        parser.articleLine(line);
    }
    bool rawArticleLine(QByteArrayView line) override { return parser.rawArticleLine(line); }
    void overlongLine(QStringView head) override { parser.overlongLine(head); }
    void closeOutFile() override { parser.closeOutFile(); }
    void closeOutFileOnly() override { parser.closeOutFileOnly(); }
    ArticleParser &parser;
    std::function<void(QStringView)> onLine;
};

struct PipeRun {
    EngineRig rig;
    ScriptedServer server;
    TcpNntpSocket tcp;
    DownloadEngine engine;
    ArticleParser parser;
    Watched handler;
    QSignalSpy ended;

    explicit PipeRun(int window)
        : engine(*rig.ctx, tcp), parser(*rig.ctx, engine.state(), engine.log()), handler(parser),
          ended(&engine, &DownloadEngine::runEnded)
    {
        rig.ctx->settings.serverName = QStringLiteral("127.0.0.1");
        rig.ctx->settings.serverPort = QString::number(server.start());
        rig.ctx->settings.pipeline = QString::number(window);
        rig.addGroup(QStringLiteral("a.b"));
        engine.setArticleHandler(&handler);
        engine.state().now = [this] { return rig.clock; };
        server.setChunkPause(5);
        server.reply("QUIT", {"205 bye\r\n"});
    }
    bool run()
    {
        engine.Command1_Click();
        return QTest::qWaitFor([&] { return ended.count() > 0; }, 20000);
    }
    QStringList saved() const
    {
        QStringList files = QDir(rig.dir.path()).entryList({QStringLiteral("*.bin")}, QDir::Files);
        files.sort();
        return files;
    }
};

} // namespace

class TestPipeline final : public QObject {
    Q_OBJECT
private slots:
    // stop: where the run ends before the group does ("hand", "time",
    // "files", "size": while or right after article 2 arrives; "close": the
    // server goes away after it; "next": a NEXT refused with 502).
    void window_data()
    {
        QTest::addColumn<int>("window");
        QTest::addColumn<int>("groupLast"); // the GROUP reply's last number
        QTest::addColumn<int>("articles");  // the server holds 1..articles
        QTest::addColumn<QString>("stop");
        QTest::addColumn<QStringList>("files");
        QTest::addColumn<QString>("last");
        QTest::addColumn<int>("reason");
        QTest::addColumn<int>("articleCommands"); // -1: not checked

        const QStringList three{"f1.bin", "f2.bin", "f3.bin"};
        const QStringList two{"f1.bin", "f2.bin"};
        const int finished = int(DownloadEngine::EndReason::Finished);
        const int limit = int(DownloadEngine::EndReason::Limit);
        const int error = int(DownloadEngine::EndReason::Error);
        // Three pairs in flight when NEXT fails: the ARTICLE behind it brings
        // article 3 again, which is dropped with the rest.
        QTest::newRow("window full at the group's end")
            << 4 << 10 << 3 << "" << three << "3" << finished << -1;
        QTest::newRow("one at a time") << 1 << 10 << 3 << "" << three << "3" << finished << 3;
        // No more pairs than numbers left: the last NEXT goes alone.
        QTest::newRow("window wider than the group")
            << 16 << 3 << 3 << "" << three << "3" << finished << 3;
        QTest::newRow("NEXT fails with its ARTICLE in flight")
            << 2 << 5 << 2 << "" << two << "2" << finished << -1;
        // Stopped while article 2's head arrives: its file is not begun.
        QTest::newRow("stopped by hand") << 8 << 10 << 6 << "hand" << QStringList{"f1.bin"} << "2"
                                         << int(DownloadEngine::EndReason::Stopped) << -1;
        QTest::newRow("time limit") << 8 << 10 << 6 << "time" << two << "2" << limit << -1;
        QTest::newRow("file limit") << 8 << 10 << 6 << "files" << two << "2" << limit << -1;
        QTest::newRow("size limit") << 8 << 10 << 6 << "size" << two << "2" << limit << -1;
        QTest::newRow("server closes") << 8 << 10 << 6 << "close" << two << "2" << error << -1;
        QTest::newRow("NEXT refused") << 8 << 10 << 6 << "next" << two << "2" << error << -1;
        QTest::newRow("limit, one at a time")
            << 1 << 10 << 6 << "files" << two << "2" << limit << 2;
    }
    void window()
    {
        QFETCH(int, window);
        QFETCH(int, groupLast);
        QFETCH(int, articles);
        QFETCH(QString, stop);
        QFETCH(QStringList, files);
        QFETCH(QString, last);
        QFETCH(int, reason);
        QFETCH(int, articleCommands);

        PipeRun r(window);
        r.server.reply("GROUP a.b", {"211 " + QByteArray::number(articles) + " 1 " +
                                     QByteArray::number(groupLast) + " a.b\r\n"});
        QList<QByteArray> nexts;
        for (int n = 1; n <= articles; ++n) {
            if (n <= 2 || stop != QLatin1String("close"))
                r.server.reply("ARTICLE", article(n));
            if (n > 1)
                nexts << "223 " + QByteArray::number(n) + " <" + QByteArray::number(n) + "@x>\r\n";
        }
        // The last reply repeats: NEXT keeps failing, ARTICLE keeps sending
        // the current article.
        nexts << (stop == QLatin1String("next") ? "502 no permission\r\n"
                                                : "421 no next article\r\n");
        if (stop == QLatin1String("next"))
            nexts = {nexts.first(), nexts.last()};
        for (const QByteArray &n : nexts)
            r.server.reply("NEXT", {n});
        if (stop == QLatin1String("close"))
            r.server.closeAfter("ARTICLE"); // gone after article 2

        RunningSettings &set = r.rig.ctx->settings;
        if (stop == QLatin1String("time")) {
            set.seigen = QStringLiteral("1");
            set.seigenTime = QStringLiteral("00:30");
        } else if (stop == QLatin1String("files")) {
            set.seigen = QStringLiteral("2");
            set.seigenFile = QStringLiteral("2");
        } else if (stop == QLatin1String("size")) {
            set.seigen = QStringLiteral("3");
            set.seigenSize = QStringLiteral("0.0001"); // 105 bytes: two files of 60
        }
        r.handler.onLine = [&](QStringView line) {
            if (line != QLatin1String("Subject: a2"))
                return;
            if (stop == QLatin1String("hand"))
                r.engine.Command1_Click(); // inside the data event, as a click between two reads
            else if (stop == QLatin1String("time"))
                r.rig.clock = r.rig.clock.addSecs(3600);
        };
        QVERIFY(r.run());
        QCOMPARE(int(r.engine.endReason()), reason);
        QCOMPARE(r.saved(), files);
        QCOMPARE(r.rig.storedLast(0), last);
        QCOMPARE(r.rig.cell(0, GroupTable::Last), last);
        QCOMPARE(r.engine.state().fileCount, files.size());
        if (articleCommands >= 0)
            QCOMPARE(r.server.received().count(QStringLiteral("ARTICLE")), articleCommands);
        if (reason == int(DownloadEngine::EndReason::Finished))
            QCOMPARE(r.rig.cell(0, GroupTable::State), sec("処理完了"));
        // The server saw only these commands.
        for (const QString &c : r.server.received())
            QVERIFY2(c == QLatin1String("GROUP a.b") || c == QLatin1String("ARTICLE") ||
                         c == QLatin1String("NEXT") || c == QLatin1String("QUIT"),
                     qPrintable(c));
    }

    // Every reply of a full window arrives in one read. The third pair's
    // NEXT fails: its ARTICLE brings article 3 again, which is read and
    // dropped before the reply to the next GROUP, and not handed on twice.
    void repliesBehindAFailedNext()
    {
        EngineRig r;
        r.ctx->settings.pipeline = QStringLiteral("4");
        r.addGroup(QStringLiteral("a.b"));
        r.addGroup(QStringLiteral("c.d"));
        r.start();
        r.socket.feed(QStringLiteral("211 3 1 10 a.b\r\n"));
        QCOMPARE(r.commands(), (QStringList{"GROUP a.b", "ARTICLE"}));
        r.socket.feed(QStringLiteral("220 1 <1@x>\r\nSubject: a1\r\n\r\nbody\r\n"));
        QCOMPARE(r.commands().mid(2),
                 (QStringList{"NEXT", "ARTICLE", "NEXT", "ARTICLE", "NEXT", "ARTICLE"}));
        const auto art = [](int n) {
            return QStringLiteral("220 %1 <%1@x>\r\nSubject: a%1\r\n\r\n.body\r\n.\r\n").arg(n);
        };
        r.socket.feed(QStringLiteral(".\r\n223 2 <2@x>\r\n") + art(2) +
                      QStringLiteral("223 3 <3@x>\r\n") + art(3) +
                      QStringLiteral("421 no next\r\n") + art(3) +
                      QStringLiteral("211 1 5 5 c.d\r\n"));
        QCOMPARE(r.commands().mid(8), (QStringList{"GROUP c.d", "ARTICLE"}));
        QCOMPARE(r.cell(0, GroupTable::State), sec("処理完了"));
        QCOMPARE(r.storedLast(0), QStringLiteral("3"));
        r.socket.feed(QStringLiteral("220 5 <5@x>\r\nSubject: c5\r\n\r\n.\r\n"));
        r.socket.feed(QStringLiteral("421 no next\r\n"));
        QCOMPARE(r.ended->count(), 1);
        QCOMPARE(r.engine->endReason(), DownloadEngine::EndReason::Finished);
        QCOMPARE(r.handler->lines.filter(QStringLiteral("Subject: ")),
                 (QStringList{"Subject: a1", "Subject: a2", "Subject: a3", "Subject: c5"}));
        QCOMPARE(r.handler->lines.count(QStringLiteral("body")), 3); // ".body" unstuffed
        QCOMPARE(r.commands().mid(10), (QStringList{"NEXT", "QUIT"}));
        QCOMPARE(r.storedLast(1), QStringLiteral("5"));
        r.socket.feed(QStringLiteral("205 bye\r\n"));
        QVERIFY(r.socket.closed);
    }

    // A run that ends with replies still coming (here the group's end with
    // a window in flight) says QUIT and closes at the 205 that follows them.
    void goodbyeAfterDroppedReplies()
    {
        EngineRig r;
        r.ctx->settings.pipeline = QStringLiteral("3");
        r.addGroup(QStringLiteral("a.b"));
        r.start();
        r.socket.feed(QStringLiteral("211 2 1 9 a.b\r\n"));
        r.socket.feed(QStringLiteral("220 1 <1@x>\r\n\r\n"));
        QCOMPARE(r.commands().count(QStringLiteral("ARTICLE")), 3);
        // The first NEXT fails: the pair behind it answers 421 and article 1.
        r.socket.feed(QStringLiteral(".\r\n421 none\r\n220 1 <1@x>\r\n\r\n205 x\r\n"));
        QCOMPARE(r.ended->count(), 1);
        QCOMPARE(r.commands().last(), QStringLiteral("QUIT"));
        QVERIFY(!r.socket.closed);
        r.socket.feed(QStringLiteral(".\r\n421 none\r\n220 1 <1@x>\r\n\r\n.\r\n"));
        QVERIFY(!r.socket.closed); // "205 x" was a line of the dropped article
        r.socket.feed(QStringLiteral("205 bye\r\n"));
        QVERIFY(r.socket.closed);
    }

    // Pairs ahead make about WindowBytes of articles: before the first one
    // ends its size is guessed, after one of 6 MB no further pair goes out
    // while three are still ahead.
    void bigArticlesAreNotAskedForFarAhead()
    {
        EngineRig r;
        r.ctx->settings.pipeline = QStringLiteral("8");
        r.addGroup(QStringLiteral("a.b"));
        r.start();
        r.socket.feed(QStringLiteral("211 9 1 9 a.b\r\n"));
        r.socket.feed(QStringLiteral("220 1 <1@x>\r\nSubject: a1\r\n\r\n"));
        QCOMPARE(r.commands().count(QStringLiteral("ARTICLE")), 1 + 4);
        const QString line = QString(998, QLatin1Char('x')) + QStringLiteral("\r\n");
        r.socket.feed(line.repeated(6000) + QStringLiteral(".\r\n"));
        r.socket.feed(QStringLiteral("223 2 <2@x>\r\n220 2 <2@x>\r\nSubject: a2\r\n"));
        QCOMPARE(r.commands().count(QStringLiteral("ARTICLE")), 1 + 4);
        QCOMPARE(r.handler->lines.filter(QStringLiteral("Subject: ")),
                 (QStringList{"Subject: a1", "Subject: a2"}));
    }

    // On the byte path: a CP932 subject and file name cut between two reads
    // in the middle of a character, and a body line with "end" inside it,
    // which ends the uuencoded file as the text path did.
    void bytePath()
    {
        PipeRun r(4);
        r.rig.ctx->settings.log = QStringLiteral("TRUE");
        const QByteArray subject = Cp932::encode(QStringLiteral("件名"));
        const QByteArray name = Cp932::encode(QStringLiteral("日本.bin"));
        const QByteArray data(45, 'x');
        const QByteArray body = uuencode(name, data + data);
        const qsizetype cut = body.indexOf(name) + 1; // inside 日
        QByteArray second = body.mid(cut);
        const qsizetype line2 = second.indexOf("\r\nM", second.indexOf("\r\nM") + 1) + 2;
        second.insert(line2, "Mxxend\r\n"); // before the second data line
        r.server.reply("GROUP a.b", {"211 1 1 1 a.b\r\n"});
        r.server.reply("ARTICLE", {"220 1 <1@x>\r\nSubject: " + subject.left(1),
                                   subject.mid(1) + "\r\n\r\n" + body.left(cut), second + ".\r\n"});
        r.server.reply("NEXT", {"421 no next article\r\n"});
        QVERIFY(r.run());
        QCOMPARE(r.engine.endReason(), DownloadEngine::EndReason::Finished);
        QFile f(r.rig.dir.filePath(QStringLiteral("日本.bin")));
        QVERIFY(f.open(QIODevice::ReadOnly));
        QCOMPARE(f.readAll(), data);
        QFile log(r.rig.dir.filePath(QStringLiteral("971206.LOG")));
        QVERIFY(log.open(QIODevice::ReadOnly));
        QVERIFY(Cp932::decode(log.readAll()).contains(QStringLiteral("\t\"件名\"")));
    }
};

KAPLO_TEST(TestPipeline)
#include "tst_pipeline.moc"
