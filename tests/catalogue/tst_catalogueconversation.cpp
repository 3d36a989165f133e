#include "catalogue/cataloguefixture.h"

#include "support/fakesocket.h"
#include "support/testdata.h"
#include "support/testregistry.h"

#include <QDir>
#include <QTest>

#include <unistd.h>

using Rig = CatalogueRig<FakeSocket>;
using kaplotest::DataCase;

namespace {

QString unescaped(QString s)
{
    return s.replace("\\r", "\r").replace("\\n", "\n");
}

QStringList unescaped(const QStringList &lines)
{
    QStringList out;
    for (const QString &l : lines)
        out << unescaped(l);
    return out;
}

} // namespace

// The conversations of tests/data/catalogue/conversations.txt, and what
// takes more than a transcript: a long listing, an endless line, silence.
class TestCatalogueConversation : public QObject {
    Q_OBJECT
private slots:
    void transcript_data() { kaplotest::addDataRows("catalogue/conversations.txt"); }
    void transcript()
    {
        QFETCH(DataCase, c);
        QStringList server;
        for (const QString &kv : c.lines("settings"))
            server << kv;
        CatalogueFixture f("news.example", 1119, server);
        const QString how = c.text("catalogue is");
        if (how == "a folder")
            QVERIFY(QDir().mkdir(f.catalogPath()));
        else if (how == "in a missing folder")
            f.ctx->settings.saveDir = f.dir.filePath("missing");
        else if (c.has("catalogue"))
            f.writeCatalog(catalogueOf(unescaped(c.lines("catalogue"))));
        if (how == "unreadable" && ::geteuid() == 0)
            QSKIP("root reads every file");
        if (how == "unreadable")
            QFile::setPermissions(f.catalogPath(), QFileDevice::WriteOwner);
        const QString timeBefore = f.storedTime();
        CatalogueSession s;
        std::unique_ptr<Rig> r;
        const auto open = [&] {
            r.reset();
            r = std::make_unique<Rig>(f, s);
            if (c.has("now"))
                r->chooser.now = [&] {
                    return QDateTime::fromString(c.text("now"), "yyMMdd HHmmss").addYears(100);
                };
        };
        open();
        QStringList expected, chosen;
        const auto sentSoFar = [&] {
            QStringList sent;
            for (const QString &line : r->socket.sent) {
                QVERIFY2(line.endsWith("\r\n"), qPrintable(line));
                sent << line.chopped(2);
            }
            QCOMPARE(sent, expected);
        };
        for (const QString &step : c.lines("talk")) {
            const QString arg = unescaped(step.section(' ', 1));
            if (step.startsWith("> ")) {
                expected << arg;
                continue;
            }
            sentSoFar();
            if (step.startsWith("click ")) {
                f.prompter.confirmAnswers = {!step.endsWith(" no")};
                step.startsWith("click all") ? r->conversation.cmdALL_Click()
                                             : r->conversation.cmdNew_Click();
                if (!step.endsWith(" no"))
                    QCOMPARE(r->socket.host() + ':' + QString::number(r->socket.port()),
                             QStringLiteral("news.example:1119"));
            } else if (step.startsWith("< ")) {
                r->socket.feed(arg);
            } else if (step.startsWith("! ")) {
                r->socket.fail(arg);
            } else if (step.startsWith("choose ")) {
                const int row = step.section(' ', 2).toInt();
                step.section(' ', 1, 1) == "1" ? r->chooser.List1_Click(row)
                                               : r->chooser.List2_Click(row);
            } else if (step == "ok") {
                chosen << r->chooser.cmdOK_Click().value_or("(none)");
            } else if (step == "reopen") {
                open();
                expected.clear();
            } else if (step == "settings fail") {
                f.store->failWritesForTesting(true);
            }
        }
        sentSoFar();

        const auto check = [&](const char *key, const auto &actual, const auto &want) {
            if (c.has(key))
                QVERIFY2(actual == want, key);
        };
        check("list1", r->list1(), unescaped(c.lines("list1")));
        check("list2", r->list2(), unescaped(c.lines("list2")));
        check("label1", r->label1, c.text("label1"));
        check("file", f.catalogBytes(), catalogueOf(unescaped(c.lines("file"))));
        check("failures", r->failures, c.lines("failures"));
        check("refusals", r->refusals, c.lines("refusals"));
        check("ended", r->ended, c.lines("ended").isEmpty() ? QList<bool>{} : QList<bool>{true});
        check("closed", r->socket.closed, c.text("closed") == "yes");
        check("closes", r->socket.closeCount, c.text("closes").toInt());
        check("connects", r->socket.connectCount, c.text("connects").toInt());
        check("tls", r->socket.tls(), c.text("tls") == "yes");
        check("cafile", r->socket.caFile(), c.text("cafile"));
        check("ok", chosen, c.lines("ok"));
        // A message may end in a path: each begins as given.
        const QStringList prompts = c.lines("prompts");
        check("prompts", f.prompter.shown.size(), prompts.size());
        for (int i = 0; i < std::min(prompts.size(), f.prompter.shown.size()); ++i)
            QVERIFY2(f.prompter.shown[i].startsWith(prompts[i]), qPrintable(f.prompter.shown[i]));
        if (c.text("time") == "now") {
            QVERIFY(f.storedTime() != timeBefore);
            QCOMPARE(f.storedTime(), s.sinceValue);
        } else if (c.has("time")) {
            QCOMPARE(f.storedTime(), c.text("time"));
        }
    }

    // A list holds every name a server sends, past 32 767.
    void longListing()
    {
        CatalogueFixture f;
        CatalogueSession s;
        Rig r(f, s);
        r.conversation.cmdALL_Click();
        r.socket.feed("200 hi\r\n");
        QString listing = "215 ok\r\n";
        for (int i = 40000; i > 0; --i)
            listing += QStringLiteral("g.%1 1 1 y\r\n").arg(i, 5, 10, QLatin1Char('0'));
        r.socket.feed(listing);
        r.socket.feed(".\r\n");
        QCOMPARE(r.chooser.list1().count(), 40000);
        QCOMPARE(r.label1, QStringLiteral("40000"));
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
    }

    // SERVER/TIMEOUT seconds of silence end the fetch, the text in Label1.
    void silentServer_data()
    {
        QTest::addColumn<QString>("said");
        QTest::newRow("no greeting") << QString();
        QTest::newRow("mid-listing") << "200 hi\r\n215 ok\r\na.b 1 1 y\r\n";
    }
    void silentServer()
    {
        QFETCH(QString, said);
        CatalogueFixture f("127.0.0.1", 119, {"TIMEOUT=1"});
        CatalogueSession s;
        Rig r(f, s);
        r.conversation.cmdALL_Click();
        r.socket.feed(said);
        const QString text = "サーバーから応答がありません (1秒)";
        QTRY_COMPARE_WITH_TIMEOUT(r.failures, QStringList{text}, 5000);
        QCOMPARE(r.label1, text);
        QVERIFY(r.socket.closed);
    }
};

KAPLO_TEST(TestCatalogueConversation)
#include "tst_catalogueconversation.moc"
