#include "app/startup.h"
#include "core/appcontext.h"
#include "settings/settingsstore.h"
#include "support/testdata.h"
#include "support/testregistry.h"

#include <QDir>
#include <QTemporaryDir>
#include <QTest>

namespace {

// Records every box and dialog in one list, so that their order shows.
class EventPrompter final : public Prompter {
public:
    void message(const QString &text) override { events << "msg:" + text; }
    bool confirm(const QString &text) override { return events << "confirm:" + text, true; }
    std::optional<QString> input(const QString &prompt, const QString &defaultText) override
    {
        events << "input:" + prompt + '|' + defaultText;
        const QString a = answers.isEmpty() ? defaultText : answers.takeFirst();
        return a == QLatin1String("<cancel>") ? std::nullopt : std::optional(a);
    }
    QStringList events, answers;
};

} // namespace

class TestStartup : public QObject {
    Q_OBJECT
private slots:
    // Settings that cannot be read are told once, and the program ends.
    void unreadableSettingsEndTheProgram()
    {
        QTemporaryDir dir;
        QVERIFY(QDir(dir.path()).mkdir(QStringLiteral("KAPLO.ini")));
        SettingsStore store(dir.filePath(QStringLiteral("KAPLO.ini")));
        EventPrompter prompter;
        AppContext ctx(store, prompter);
        QVERIFY(!Startup::settingsReadable(ctx));
        QCOMPARE(prompter.events, QStringList{"msg:" + store.unreadableMessage()});
    }

    // Each activation runs both checks, then the automatic start. Closing the
    // server dialog activates the window during a pass: that runs as one more
    // pass afterwards, which neither nests nor starts again (a second start
    // would stop the run). The cases are tests/data/app/startup.txt.
    void commandLineAndActivations_data() { kaplotest::addDataRows("app/startup.txt"); }
    void commandLineAndActivations()
    {
        QFETCH(kaplotest::DataCase, c);
        QTemporaryDir dir;
        SettingsStore store(dir.filePath(QStringLiteral("KAPLO.ini")));
        EventPrompter prompter;
        AppContext ctx(store, prompter);
        const int dialogsBeforeFixed = c.text("dialogs before fixed").toInt();
        if (dialogsBeforeFixed == 0) { // a server and a usable save directory
            QVERIFY(QDir(dir.path()).mkdir(QStringLiteral("save")));
            store.write("SERVER", "SERVERNAME", "news.example.net");
            store.write("SAVE", "DIR", dir.filePath(QStringLiteral("save")));
        }
        prompter.answers = c.lines("answer");
        Startup::Form_Load(ctx, c.text("command line"));
        int dialogs = 0, open = 0;
        std::unique_ptr<Activation> act;
        const auto server = [&] {
            QCOMPARE(++open, 1);
            prompter.events << "frmOptions";
            if (++dialogs == dialogsBeforeFixed)
                ctx.settings.serverName = QStringLiteral("news.example.net");
            act->activated(); // closing: active again
            --open;
        };
        act = std::make_unique<Activation>(
            ctx, Activation::Hooks{[&] { prompter.events << "frmOptions1"; }, server,
                                   [&] { prompter.events << "start"; }});
        act->activated();
        act->activated(); // a later activation (the about box closed)
        QCOMPARE(prompter.events, c.lines("events"));
        QCOMPARE(ctx.logMode, c.text("log").toInt());
    }
};

KAPLO_TEST(TestStartup)
#include "tst_startup.moc"
