#include "app/startup.h"
#include "core/appcontext.h"
#include "settings/settingsstore.h"
#include "support/testregistry.h"

#include <QDir>
#include <QTemporaryDir>
#include <QTest>

namespace {

// Records every box in one event list shared with the activation hooks, so
// that the order of messages, dialogs and starts can be compared.
class EventPrompter final : public Prompter {
public:
    explicit EventPrompter(QStringList &events) : m_events(events) {}
    void message(const QString &text) override { m_events << QStringLiteral("msg:") + text; }
    bool confirm(const QString &text) override
    {
        m_events << QStringLiteral("confirm:") + text;
        return true;
    }
    std::optional<QString> input(const QString &prompt, const QString &defaultText) override
    {
        m_events << QStringLiteral("input:") + prompt + QLatin1Char('|') + defaultText;
        if (answers.isEmpty())
            return defaultText;
        const QString a = answers.takeFirst();
        if (a == cancel())
            return std::nullopt;
        return a;
    }
    static QString cancel() { return QStringLiteral("<cancel>"); }
    QStringList answers; // cancel() cancels

private:
    QStringList &m_events;
};

const QString kSaveDirMessage =
    QStringLiteral("msg:保存ﾃﾞｨﾚｸﾄﾘが設定されていないか正しくありません");
const QString kServerMessage = QStringLiteral("msg:ﾆｭｰｽｻｰﾊﾞｰが設定されていません");
const QString kLogPrompt = QStringLiteral("input:LOG=L|X");
const QString kLogMessage = QStringLiteral("msg:ログモードです");

// A store in a temporary folder, a context over it and the event list.
struct Rig {
    QTemporaryDir dir;
    QStringList events;
    SettingsStore store{dir.filePath(QStringLiteral("KAPLO.ini"))};
    EventPrompter prompter{events};
    AppContext ctx{store, prompter};

    void write(const char *section, const QString &key, const QString &value)
    {
        QVERIFY(store.write(QString::fromLatin1(section), key, value));
    }
    // A server and a usable save directory: activation has nothing to ask.
    void configure()
    {
        write("SERVER", QStringLiteral("SERVERNAME"), QStringLiteral("news.example.net"));
        const QString save = dir.filePath(QStringLiteral("save"));
        QVERIFY(QDir().mkpath(save));
        write("SAVE", QStringLiteral("DIR"), save);
    }
};

} // namespace

class TestStartup : public QObject {
    Q_OBJECT
private slots:
    // A settings file that cannot be read: the message, and the program ends.
    void unreadableSettingsEndTheProgram()
    {
        QTemporaryDir dir;
        QVERIFY(QDir(dir.path()).mkdir(QStringLiteral("KAPLO.ini")));
        SettingsStore store(dir.filePath(QStringLiteral("KAPLO.ini")));
        QStringList events;
        EventPrompter prompter(events);
        AppContext ctx(store, prompter);
        QVERIFY(!Startup::settingsReadable(ctx));
        QCOMPARE(events, QStringList{QStringLiteral("msg:") + store.unreadableMessage()});
        QVERIFY(store.unreadableMessage().startsWith(QStringLiteral("設定ファイルを読めません: ")));
    }

    void commandLineIsTheArgumentsJoined_data()
    {
        QTest::addColumn<QStringList>("args");
        QTest::addColumn<QString>("expected");
        QTest::newRow("none") << QStringList{} << QString();
        QTest::newRow("one") << QStringList{QStringLiteral("DOWNLOAD")}
                             << QStringLiteral("DOWNLOAD");
        QTest::newRow("two") << QStringList{QStringLiteral("DEBUG"), QStringLiteral("DOWNLOAD")}
                             << QStringLiteral("DEBUG DOWNLOAD");
        QTest::newRow("empty last")
            << QStringList{QStringLiteral("DEBUG"), QString()} << QStringLiteral("DEBUG ");
    }
    void commandLineIsTheArgumentsJoined()
    {
        QFETCH(QStringList, args);
        QFETCH(QString, expected);
        QCOMPARE(Startup::commandLineOf(args), expected);
    }

    // The log prompt, LogMode and the automatic start for each command line.
    void commandLineModes_data()
    {
        QTest::addColumn<QString>("commandLine");
        QTest::addColumn<QStringList>("answers"); // "<cancel>" cancels
        QTest::addColumn<QStringList>("loadEvents");
        QTest::addColumn<bool>("logMode");
        QTest::addColumn<bool>("autoStart");

        const QStringList none;
        QTest::newRow("empty") << QString() << none << none << false << false;
        QTest::newRow("debug lower case") << "debug" << none << none << false << false;
        QTest::newRow("leading blank") << " DEBUG" << none << none << false << false;
        QTest::newRow("trailing blank") << "DEBUG " << none << none << false << false;
        QTest::newRow("further words") << "DEBUG x" << none << none << false << false;
        QTest::newRow("download lower case") << "download" << none << none << false << false;
        QTest::newRow("DEBUG, L") << "DEBUG" << QStringList{"L"}
                                  << QStringList{kLogPrompt, kLogMessage} << true << false;
        QTest::newRow("DEBUG, default X")
            << "DEBUG" << none << QStringList{kLogPrompt} << false << false;
        QTest::newRow("DEBUG DOWNLOAD, L") << "DEBUG DOWNLOAD" << QStringList{"L"}
                                           << QStringList{kLogPrompt, kLogMessage} << true << true;
        QTest::newRow("DEBUG DOWNLOAD, l")
            << "DEBUG DOWNLOAD" << QStringList{"l"} << QStringList{kLogPrompt} << false << true;
        QTest::newRow("DEBUG DOWNLOAD, cancelled") << "DEBUG DOWNLOAD" << QStringList{"<cancel>"}
                                                   << QStringList{kLogPrompt} << false << true;
        QTest::newRow("DEBUG DOWNLOAD, L and blank")
            << "DEBUG DOWNLOAD" << QStringList{"L "} << QStringList{kLogPrompt} << false << true;
        QTest::newRow("DOWNLOAD") << "DOWNLOAD" << none << none << false << true;
    }
    void commandLineModes()
    {
        QFETCH(QString, commandLine);
        QFETCH(QStringList, answers);
        QFETCH(QStringList, loadEvents);
        QFETCH(bool, logMode);
        QFETCH(bool, autoStart);

        Rig rig;
        rig.configure();
        rig.prompter.answers = answers;
        Startup::Form_Load(rig.ctx, commandLine);
        QCOMPARE(rig.ctx.commandLine, commandLine);
        QCOMPARE(rig.events, loadEvents);
        QCOMPARE(rig.ctx.logMode, logMode);

        rig.events.clear();
        int starts = 0;
        Activation act(rig.ctx, {{}, {}, [&] { ++starts; }});
        act.activated();
        QCOMPARE(starts, autoStart ? 1 : 0);
        QVERIFY(rig.events.isEmpty());
    }

    // Both checks run, each whatever the other showed, before the start.
    void activationRunsEveryStepInOrder()
    {
        Rig rig;
        rig.write("SAVE", QStringLiteral("DIR"), rig.dir.filePath(QStringLiteral("missing")));
        Startup::Form_Load(rig.ctx, QStringLiteral("DOWNLOAD"));
        Activation act(rig.ctx, {[&] { rig.events << QStringLiteral("frmOptions1"); },
                                 [&] { rig.events << QStringLiteral("frmOptions"); },
                                 [&] { rig.events << QStringLiteral("start"); }});
        act.Form_Activate();
        QCOMPARE(rig.events,
                 (QStringList{kSaveDirMessage, QStringLiteral("frmOptions1"), kServerMessage,
                              QStringLiteral("frmOptions"), QStringLiteral("start")}));
    }

    // "DOWNLOAD" with no server: the message and the dialog, then one start.
    // Closing the dialog makes the window active again while the pass is
    // still under way; that activation runs as one more pass afterwards, which
    // neither nests nor starts again (a second start would stop the run).
    void downloadWithDefaultServerStartsOnceAfterTheDialog_data()
    {
        QTest::addColumn<QString>("commandLine");
        QTest::addColumn<int>("dialogsBeforeFixed");
        QTest::newRow("fixed at once") << QStringLiteral("DOWNLOAD") << 1;
        QTest::newRow("cancelled once") << QStringLiteral("DOWNLOAD") << 2;
        QTest::newRow("debug download") << QStringLiteral("DEBUG DOWNLOAD") << 1;
    }
    void downloadWithDefaultServerStartsOnceAfterTheDialog()
    {
        QFETCH(QString, commandLine);
        QFETCH(int, dialogsBeforeFixed);
        Rig rig;
        rig.configure();
        QVERIFY(rig.store.deleteSection(QStringLiteral("SERVER")));
        rig.prompter.answers << QStringLiteral("X");
        Startup::Form_Load(rig.ctx, commandLine);
        rig.events.clear();

        int dialogs = 0;
        int openDialogs = 0; // dialogs open at once: a nested pass would make it 2
        int maxOpen = 0;
        std::unique_ptr<Activation> act;
        act = std::make_unique<Activation>(
            rig.ctx, Activation::Hooks{[] {},
                                       [&] {
                                           maxOpen = std::max(maxOpen, ++openDialogs);
                                           rig.events << QStringLiteral("frmOptions");
                                           if (++dialogs == dialogsBeforeFixed)
                                               rig.ctx.settings.serverName =
                                                   QStringLiteral("news.example.net");
                                           act->activated(); // closing: active again
                                           --openDialogs;
                                       },
                                       [&] { rig.events << QStringLiteral("start"); }});
        act->activated();

        QStringList expected;
        for (int i = 0; i < dialogsBeforeFixed; ++i) {
            expected << kServerMessage << QStringLiteral("frmOptions");
            if (i == 0)
                expected << QStringLiteral("start");
        }
        QCOMPARE(rig.events, expected);
        QCOMPARE(maxOpen, 1);
        QVERIFY(act->autoStartDone());
        QVERIFY(!act->inPass());

        // A later activation (the about box closed) does not start again.
        act->activated();
        QCOMPARE(rig.events, expected);
    }

    void emptyStore()
    {
        QTemporaryDir home;
        const QByteArray oldHome = qgetenv("HOME");
        qputenv("HOME", home.path().toLocal8Bit());
        Rig rig;
        Startup::Form_Load(rig.ctx, QString());
        QCOMPARE(rig.ctx.groups.count(), 0);
        QCOMPARE(rig.ctx.groups.count(), 0);
        QCOMPARE(rig.ctx.selectedGroup, 0);
        QCOMPARE(rig.ctx.settings.serverName, RunningSettings::defaultServerName());
        QCOMPARE(rig.ctx.settings.saveDir, RunningSettings::defaultSaveDir());
        QVERIFY(rig.events.isEmpty());

        int dialogs = 0;
        Activation act(rig.ctx, {[&] { ++dialogs; }, [&] { ++dialogs; }, [] { QFAIL("start"); }});
        act.activated();
        qputenv("HOME", oldHome);
        QCOMPARE(rig.events, (QStringList{kSaveDirMessage, kServerMessage}));
        QCOMPARE(dialogs, 2);
    }

    void groupsLoad_data()
    {
        QTest::addColumn<QStringList>("names"); // GROUPNAME1.. ; "<gap>" leaves one out
        QTest::addColumn<int>("rows");
        QTest::newRow("three") << QStringList{"a", "b", "c"} << 3;
        QTest::newRow("gap") << QStringList{"a", "b", "<gap>", "d"} << 2;
        QTest::newRow("named Null") << QStringList{"a", "Null", "c"} << 1;
        QTest::newRow("named null") << QStringList{"a", "null", "c"} << 3;
        QTest::newRow("empty name") << QStringList{"a", "", "c"} << 3;
        QStringList many;
        for (int i = 1; i <= 101; ++i)
            many << QStringLiteral("g%1").arg(i);
        QTest::newRow("101 names") << many << 100;
    }
    void groupsLoad()
    {
        QFETCH(QStringList, names);
        QFETCH(int, rows);
        Rig rig;
        rig.configure();
        {
            SettingsBatch batch(rig.store);
            for (int i = 0; i < names.size(); ++i) {
                if (names[i] != QLatin1String("<gap>"))
                    rig.write("GROUP", QStringLiteral("GROUPNAME%1").arg(i + 1), names[i]);
            }
            QVERIFY(batch.commit());
        }
        Startup::Form_Load(rig.ctx, QString());
        QCOMPARE(rig.ctx.groups.count(), rows);
        QCOMPARE(rig.ctx.groups.count(), rows);
        QCOMPARE(rig.ctx.selectedGroup, 0);
        for (int r = 0; r < rows; ++r) {
            QCOMPARE(rig.ctx.groups.text(r, GroupTable::Name), names[r]);
            for (int c : {GroupTable::Lowest, GroupTable::Highest, GroupTable::State})
                QVERIFY(rig.ctx.groups.text(r, c).isEmpty());
        }
    }

    // The per-group defaults come from the SAVE flags: only the exact text
    // "FALSE" gives "NO". Stored values, an empty one included, stay as stored.
    void groupDefaultsAndStoredValues()
    {
        Rig rig;
        rig.configure();
        rig.write("SAVE", QStringLiteral("DATEDIR"), QStringLiteral("true"));
        rig.write("SAVE", QStringLiteral("USERDIR"), QStringLiteral("FALSE"));
        rig.write("SAVE", QStringLiteral("REWRITE"), QStringLiteral("False"));
        rig.write("GROUP", QStringLiteral("GROUPNAME1"), QStringLiteral("fj.binaries"));
        rig.write("GROUP", QStringLiteral("GROUPNAME2"), QStringLiteral("japan.binaries"));
        rig.write("GROUP2", QStringLiteral("REWRITE"), QString());
        rig.write("GROUP2", QStringLiteral("LAST"), QString());
        rig.write("GROUP2", QStringLiteral("DATEDIR"), QStringLiteral("no"));
        rig.write("GROUP2", QStringLiteral("DOWNLOAD"), QStringLiteral("NO"));
        Startup::Form_Load(rig.ctx, QString());

        QCOMPARE(rig.ctx.groups.count(), 2);
        const GroupTable::Row first = rig.ctx.groups.row(0);
        QCOMPARE(first[GroupTable::Last], QString());
        QCOMPARE(first[GroupTable::Subject], QStringLiteral("NO"));
        QCOMPARE(first[GroupTable::DateDir], QStringLiteral("YES"));
        QCOMPARE(first[GroupTable::UserDir], QStringLiteral("NO"));
        QCOMPARE(first[GroupTable::Rewrite], QStringLiteral("YES"));
        QCOMPARE(first[GroupTable::Download], QStringLiteral("YES"));
        const GroupTable::Row second = rig.ctx.groups.row(1);
        QCOMPARE(second[GroupTable::Rewrite], QString());
        QCOMPARE(second[GroupTable::Last], QString());
        QCOMPARE(second[GroupTable::DateDir], QStringLiteral("no"));
        QCOMPARE(second[GroupTable::Download], QStringLiteral("NO"));
    }

    // Every setting reaches the running copy.
    void settingsAreLoaded()
    {
        Rig rig;
        rig.configure();
        rig.write("SERVER", QStringLiteral("SERVERPORT"), QStringLiteral("8119"));
        rig.write("SAVE", QStringLiteral("SEIGEN"), QStringLiteral("2"));
        rig.write("REMOTE", QStringLiteral("ADDRESS"), QStringLiteral("プロバイダ"));
        Startup::Form_Load(rig.ctx, QString());
        QCOMPARE(rig.ctx.settings.serverName, QStringLiteral("news.example.net"));
        QCOMPARE(rig.ctx.settings.serverPort, QStringLiteral("8119"));
        QCOMPARE(rig.ctx.settings.seigen, QStringLiteral("2"));
        QCOMPARE(rig.ctx.settings.address, QStringLiteral("プロバイダ"));
        QCOMPARE(rig.ctx.settings.interval, QStringLiteral("5"));
    }
};

KAPLO_TEST(TestStartup)
#include "tst_startup.moc"
