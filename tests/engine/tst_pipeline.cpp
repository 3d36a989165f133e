// The window of pipelined NEXT/ARTICLE pairs against a scripted server and
// the real article parser: replies taken in order, the replies behind a
// failed NEXT dropped, and a run that stops with commands in flight saving
// nothing after the stopping article and leaving LAST where one command at
// a time would.
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
    ScriptedServer server;
    TcpNntpSocket tcp;
    EngineRig rig{&tcp, "127.0.0.1", server.start()};
    ArticleParser parser{*rig.ctx, rig.engine->state(), rig.engine->log()};
    Watched handler{parser};

    explicit PipeRun(int window)
    {
        rig.set("SERVER/PIPELINE", QString::number(window));
        rig.addGroup(QStringLiteral("a.b"));
        rig.engine->setArticleHandler(&handler);
        server.setChunkPause(5);
        server.reply("QUIT", {"205 bye\r\n"});
    }
    QStringList saved() const
    {
        return QDir(rig.dir.path()).entryList({QStringLiteral("*.bin")}, QDir::Files, QDir::Name);
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
        QTest::addColumn<int>("saved"); // f1.bin .. fN.bin, and LAST N
        QTest::addColumn<QString>("end");
        QTest::addColumn<int>("articleCommands"); // -1: not checked
        // Three pairs in flight when NEXT fails: the ARTICLE behind it brings
        // article 3 again, which is dropped with the rest.
        QTest::newRow("window full at the group's end") << 4 << 10 << 3 << "" << 3 << "F" << -1;
        QTest::newRow("one at a time") << 1 << 10 << 3 << "" << 3 << "F" << 3;
        // No more pairs than numbers left: the last NEXT goes alone.
        QTest::newRow("window wider than the group") << 16 << 3 << 3 << "" << 3 << "F" << 3;
        QTest::newRow("NEXT fails with its ARTICLE in flight")
            << 2 << 5 << 2 << "" << 2 << "F" << -1;
        // Stopped while article 2's head arrives: its file is not begun.
        QTest::newRow("stopped by hand") << 8 << 10 << 6 << "hand" << 1 << "S" << -1;
        QTest::newRow("time limit") << 8 << 10 << 6 << "time" << 2 << "L" << -1;
        QTest::newRow("file limit") << 8 << 10 << 6 << "files" << 2 << "L" << -1;
        QTest::newRow("size limit") << 8 << 10 << 6 << "size" << 2 << "L" << -1;
        QTest::newRow("server closes") << 8 << 10 << 6 << "close" << 2 << "E" << -1;
        QTest::newRow("NEXT refused") << 8 << 10 << 6 << "next" << 2 << "E" << -1;
        QTest::newRow("limit, one at a time") << 1 << 10 << 6 << "files" << 2 << "L" << 2;
    }
    void window()
    {
        QFETCH(int, window);
        QFETCH(int, groupLast);
        QFETCH(int, articles);
        QFETCH(QString, stop);
        QFETCH(int, saved);
        QFETCH(QString, end);
        QFETCH(int, articleCommands);
        PipeRun r(window);
        const auto num = [](int n) { return QByteArray::number(n); };
        r.server.reply("GROUP a.b", {"211 " + num(articles) + " 1 " + num(groupLast) + " a.b\r\n"});
        for (int n = 1; n <= articles; ++n) {
            // Head and body in two writes: the window is most likely topped
            // up while the article arrives.
            if (n <= 2 || stop != u"close")
                r.server.reply(
                    "ARTICLE",
                    {"220 " + num(n) + " <" + num(n) + "@x>\r\nSubject: a" + num(n) + "\r\n\r\n",
                     uuencode("f" + num(n) + ".bin", QByteArray(60, 'A')) + ".\r\n"});
            if (n > 1 && (stop != u"next" || n == 2))
                r.server.reply("NEXT", {"223 " + num(n) + " <" + num(n) + "@x>\r\n"});
        }
        // The last reply repeats: NEXT keeps failing, ARTICLE keeps sending
        // the current article.
        r.server.reply("NEXT", {stop == u"next" ? "502 no permission\r\n" : "421 none\r\n"});
        if (stop == u"close")
            r.server.closeAfter("ARTICLE"); // gone after article 2
        if (stop == u"time")
            r.rig.set("SAVE/SEIGENTIME", "00:30");
        if (stop == u"files")
            r.rig.set("SAVE/SEIGENFILE", "2");
        if (stop == u"size")
            r.rig.set("SAVE/SEIGENSIZE", "0.0001"); // 105 bytes: two files of 60
        const QStringList limits{"", "time", "files", "size"};
        r.rig.set("SAVE/SEIGEN", QString::number(std::max(0, int(limits.indexOf(stop)))));
        r.handler.onLine = [&](QStringView line) {
            if (line != u"Subject: a2")
                return;
            if (stop == u"hand")
                r.rig.engine->Command1_Click(); // inside the data event: a click between reads
            else if (stop == u"time")
                r.rig.clock = r.rig.clock.addSecs(3600);
        };
        QVERIFY(r.rig.run(20000));
        QCOMPARE(QString(u"NFSLE"[int(r.rig.engine->endReason())]), end);
        QStringList files;
        for (int n = 1; n <= saved; ++n)
            files << QStringLiteral("f%1.bin").arg(n);
        QCOMPARE(r.saved(), files);
        const QString last = QString::number(stop == u"hand" ? 2 : saved);
        QCOMPARE(r.rig.storedLast(0), last);
        QCOMPARE(r.rig.cell(0, GroupTable::Last), last);
        QCOMPARE(r.rig.engine->state().fileCount, saved);
        if (articleCommands >= 0)
            QCOMPARE(r.server.received().count(QStringLiteral("ARTICLE")), articleCommands);
        for (const QString &c : r.server.received())
            QVERIFY2(QStringList({"GROUP a.b", "ARTICLE", "NEXT", "QUIT"}).contains(c),
                     qPrintable(c));
    }

    // On the byte path: a CP932 subject and file name cut between two reads
    // in the middle of a character, and a body line with "end" inside it,
    // which ends the uuencoded file as the text path does.
    void bytePath()
    {
        PipeRun r(4);
        r.rig.set("SAVE/LOG", "TRUE");
        const QByteArray subject = Cp932::encode(QStringLiteral("件名"));
        const QByteArray name = Cp932::encode(QStringLiteral("日本.bin"));
        const QByteArray body = uuencode(name, QByteArray(90, 'x'));
        const qsizetype cut = body.indexOf(name) + 1; // inside 日
        QByteArray second = body.mid(cut);
        second.insert(second.indexOf("\r\nM", second.indexOf("\r\nM") + 1) + 2, "Mxxend\r\n");
        r.server.reply("GROUP a.b", {"211 1 1 1 a.b\r\n"});
        r.server.reply("ARTICLE", {"220 1 <1@x>\r\nSubject: " + subject.left(1),
                                   subject.mid(1) + "\r\n\r\n" + body.left(cut), second + ".\r\n"});
        r.server.reply("NEXT", {"421 no next article\r\n"});
        QVERIFY(r.rig.run(20000));
        QCOMPARE(r.rig.engine->endReason(), DownloadEngine::EndReason::Finished);
        QCOMPARE(r.rig.fileBytes(QStringLiteral("日本.bin")), QByteArray(45, 'x'));
        QVERIFY(Cp932::decode(r.rig.fileBytes(QStringLiteral("971206.LOG")))
                    .contains(QStringLiteral("\t\"件名\"")));
    }
};

KAPLO_TEST(TestPipeline)
#include "tst_pipeline.moc"
