#include "catalogue/cataloguefixture.h"

#include "catalogue/cataloguechooser.h"
#include "catalogue/catalogueconversation.h"
#include "support/escapes.h"
#include "support/fakesocket.h"
#include "support/testregistry.h"

#include <QDir>
#include <QTest>

#include <csignal>
#include <sys/resource.h>

static QStringList linesOf(const QString &text)
{
    return text.isEmpty() ? QStringList{} : kaplotest::unescape(text).split('\n');
}

static QString names(const NameListModel &m)
{
    return QStringList(m.names().begin(), m.names().end()).join('|');
}

// The catalogue window's conversation, without the widgets, over a fake
// socket (tests/data/catalogue/conversations.txt); how the file is read.
class TestCatalogueConversation : public QObject {
    Q_OBJECT
private slots:
    void parse_data() { kaplotest::addDataRows("catalogue/parse.txt"); }
    void parse()
    {
        QFETCH(kaplotest::DataCase, c);
        const QString fields = kaplotest::unescape(c.text("fields"));
        QCOMPARE(CatalogueFile::parse(kaplotest::unescape(c.text("text"))),
                 fields.isEmpty() ? QStringList{} : fields.split('|'));
    }

    void transcript_data() { kaplotest::addDataRows("catalogue/conversations.txt"); }
    void transcript()
    {
        QFETCH(kaplotest::DataCase, c);
        CatalogueFixture f("news.example", 1119, c.lines("settings"));
        if (c.text("catalogue is") == "a folder")
            QVERIFY(QDir().mkdir(f.catalogPath()));
        if (c.text("catalogue is") == "in a missing folder")
            f.ctx->settings.saveDir = f.dir.filePath("missing");
        if (c.has("catalogue"))
            f.writeCatalog(catalogueOf(linesOf(c.text("catalogue"))));
        const QString timeBefore = f.storedTime();
        CatalogueSession s;
        FakeSocket socket;
        std::unique_ptr<CatalogueChooser> chooser;
        std::unique_ptr<CatalogueConversation> talk;
        QString label1;
        QStringList sent, expected, chosen, failures, refusals, ended;
        const QDateTime now = QDateTime::fromString(c.text("now"), "yyMMdd HHmmss").addYears(100);
        const auto open = [&] {
            talk.reset();
            chooser = std::make_unique<CatalogueChooser>(s, *f.store, f.ctx->settings, f.prompter);
            talk = std::make_unique<CatalogueConversation>(s, *chooser, socket, f.ctx->settings,
                                                           f.prompter);
            QObject::connect(talk.get(), &CatalogueConversation::label1Changed,
                             [&](const QString &t) { label1 = t; });
            QObject::connect(talk.get(), &CatalogueConversation::listingEnded,
                             [&](bool saved) { ended << QVariant(saved).toString(); });
            QObject::connect(talk.get(), &CatalogueConversation::refused,
                             [&](const QString &l) { refusals << l; });
            QObject::connect(talk.get(), &CatalogueConversation::failed,
                             [&](const QString &d) { failures << d; });
            if (c.has("now"))
                chooser->now = [now] { return now; };
            chooser->Form_Load();
        };
        open();
        struct Restore {
            rlimit limit{};
            Restore() { ::getrlimit(RLIMIT_FSIZE, &limit); }
            ~Restore() { ::setrlimit(RLIMIT_FSIZE, &limit); }
        } restore;
        const auto sentSoFar = [&] {
            for (const QString &line : socket.sent.mid(sent.size()))
                sent << (line.endsWith("\r\n") ? line.chopped(2) : line + " (no CR LF)");
            QCOMPARE(sent, expected);
        };
        for (const QString &step : c.lines("talk")) {
            const QString arg = kaplotest::unescape(step.section(' ', 1));
            if (step.startsWith("> ")) {
                expected << arg;
                continue;
            }
            sentSoFar();
            if (step.startsWith("click ")) {
                f.prompter.confirmAnswers = {!step.endsWith(" no")};
                step.startsWith("click all") ? talk->cmdALL_Click() : talk->cmdNew_Click();
                QCOMPARE(socket.host() + ':' + QString::number(socket.port()),
                         QString(socket.connects.isEmpty() ? ":0" : "news.example:1119"));
            } else if (step.startsWith("< ")) {
                socket.feed(arg);
            } else if (step.startsWith("! ")) {
                socket.fail(arg);
            } else if (step.startsWith("names ")) { // NUMBER names, the last first
                QString listing;
                for (int i = arg.toInt(); i > 0; --i)
                    listing += QStringLiteral("g.%1 1 1 y\r\n").arg(i, 5, 10, QLatin1Char('0'));
                socket.feed(listing);
            } else if (step.startsWith("flood ")) { // megabytes without a line end
                for (int i = 0; i < arg.toInt() && failures.isEmpty(); ++i)
                    socket.feed(QString(1024 * 1024, 'x'));
            } else if (step == "silence") {
                QTRY_VERIFY_WITH_TIMEOUT(!failures.isEmpty(), 5000);
            } else if (step.startsWith("choose ")) {
                const int row = step.section(' ', 2).toInt();
                arg.startsWith('1') ? chooser->List1_Click(row) : chooser->List2_Click(row);
            } else if (step == "ok") {
                chosen << chooser->cmdOK_Click().value_or("(none)");
            } else if (step == "reopen") {
                open();
            } else if (step == "settings fail") {
                f.store->failWritesForTesting(true);
            } else if (step == "disk full") { // no file beyond 4 KiB, for root too
                std::signal(SIGXFSZ, SIG_IGN);
                const rlimit small{4096, restore.limit.rlim_max};
                QCOMPARE(::setrlimit(RLIMIT_FSIZE, &small), 0);
            }
        }
        sentSoFar();

        const QList<std::pair<const char *, QString>> got{
            {"list1", names(chooser->list1())},
            {"list2", names(chooser->list2())},
            {"label1", label1},
            {"failures", failures.join('|')},
            {"refusals", refusals.join('|')},
            {"ended", ended.join('|')},
            {"ok", chosen.join('|')},
            {"closed", socket.closed ? "yes" : "no"},
            {"closes", QString::number(socket.closeCount)},
            {"connects", QString::number(socket.connectCount)},
            {"rows", QStringLiteral("%1|%2")
                         .arg(chooser->list1().count())
                         .arg(CatalogueFile::load(f.catalogPath()).names.size())}};
        for (const auto &[key, value] : got) {
            if (c.has(key))
                QCOMPARE(key + (": " + value), key + (": " + linesOf(c.text(key)).join('|')));
        }
        if (c.has("file"))
            QCOMPARE(fileBytes(f.catalogPath()), catalogueOf(linesOf(c.text("file"))));
        // A message may end in a path: each begins as given.
        const QStringList prompts = c.lines("prompts");
        QCOMPARE(f.prompter.shown.size(),
                 c.has("prompts") ? prompts.size() : f.prompter.shown.size());
        for (int i = 0; i < prompts.size(); ++i)
            QVERIFY2(f.prompter.shown.value(i).startsWith(prompts[i]), qPrintable(prompts[i]));
        if (c.text("time") == "now")
            QVERIFY(f.storedTime() != timeBefore && f.storedTime() == s.sinceValue);
        else if (c.has("time"))
            QCOMPARE(f.storedTime(), c.text("time"));
    }
};

KAPLO_TEST(TestCatalogueConversation)
#include "tst_catalogueconversation.moc"
