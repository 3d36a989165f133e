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
#include "support/testdata.h"
#include "support/testregistry.h"

#include <QDir>
#include <QTest>

using namespace runtest;

namespace {

struct PipeRun {
    ScriptedServer server;
    TcpNntpSocket tcp;
    EngineRig rig{&tcp, "127.0.0.1", server.start()};
    ArticleParser parser{*rig.ctx, rig.engine->state(), rig.engine->log()};

    explicit PipeRun(int window)
    {
        rig.set("SERVER/PIPELINE", QString::number(window));
        rig.addGroup(QStringLiteral("a.b"));
        rig.handler->next = &parser;
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
    // The runs of tests/data/engine/pipeline.txt.
    void window_data()
    {
        QTest::addColumn<QStringList>("w");
        for (const QByteArray &l :
             kaplotest::dataFile(QStringLiteral("engine/pipeline.txt")).split('\n')) {
            if (!l.startsWith('#') && l.contains('\t'))
                QTest::newRow(l.left(l.indexOf('\t'))) << QString::fromUtf8(l).split(u'\t').mid(1);
        }
    }
    void window()
    {
        QFETCH(QStringList, w);
        const int window = w[0].toInt(), groupLast = w[1].toInt(), articles = w[2].toInt();
        const int saved = w[4].toInt(), articleCommands = w[6].toInt();
        const QString stop = w[3] == u"-" ? QString() : w[3], end = w[5];
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
        r.rig.handler->onLine = [&](QStringView line) {
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
