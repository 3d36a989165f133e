#include "schedule/dialupoptions.h"
#include "schedule/fakedialup.h"
#include "schedule/scheduler.h"
#include "settings/runningsettings.h"
#include "settings/settingsstore.h"
#include "support/scriptedprompter.h"
#include "support/testregistry.h"

#include <QTemporaryDir>
#include <QTest>

namespace {

struct Setup {
    Setup() : store(dir.filePath(QStringLiteral("KAPLO.ini"))), options(settings, store, prompter)
    {
        settings.load(store);
    }
    QString stored(const char *key) const
    {
        return store.read(QStringLiteral("REMOTE"), QString::fromLatin1(key), QStringLiteral("-"));
    }

    QTemporaryDir dir;
    SettingsStore store;
    RunningSettings settings;
    ScriptedPrompter prompter;
    FakeDialUp dial;
    DialUpOptions options;
};

} // namespace

class TestDialUpOptions : public QObject {
    Q_OBJECT
private slots:
    void loadShowsNoneThenTheEntries()
    {
        Setup s;
        s.dial.names = {QStringLiteral("ISP"), QStringLiteral("Wired connection 1")};
        const auto f = s.options.Form_Load(s.dial);
        QCOMPARE(f.items, (QStringList{QStringLiteral("なし"), QStringLiteral("ISP"),
                                       QStringLiteral("Wired connection 1")}));
        QCOMPARE(f.combo1, QStringLiteral("なし"));
        QCOMPARE(f.text1, QStringLiteral("5"));
    }

    // The stored entry shows even when the system lists it no more (or lists
    // nothing), and OK stores it again unchanged.
    void storedEntryShownEvenIfNotListed()
    {
        Setup s;
        QVERIFY(s.store.write(QStringLiteral("REMOTE"), QStringLiteral("ADDRESS"),
                              QStringLiteral("Old ISP")));
        QVERIFY(s.store.write(QStringLiteral("REMOTE"), QStringLiteral("INTERVAL"),
                              QStringLiteral("10")));
        s.settings.load(s.store);
        const auto f = s.options.Form_Load(s.dial);
        QCOMPARE(f.items, QStringList{QStringLiteral("なし")});
        QCOMPARE(f.combo1, QStringLiteral("Old ISP"));
        QCOMPARE(f.text1, QStringLiteral("10"));
        QVERIFY(s.options.cmdOK_Click(f.combo1, f.text1));
        QCOMPARE(s.stored("ADDRESS"), QStringLiteral("Old ISP"));
        QCOMPARE(s.stored("INTERVAL"), QStringLiteral("10"));
    }

    void okStoresAsTyped_data()
    {
        QTest::addColumn<QString>("combo1");
        QTest::addColumn<QString>("text1");
        QTest::addColumn<int>("period");
        QTest::newRow("decimal") << QStringLiteral("ISP") << QStringLiteral("1.5") << 1500;
        QTest::newRow("none") << QStringLiteral("なし") << QStringLiteral("5") << 5000;
        QTest::newRow("typed name")
            << QStringLiteral(" my: net\\ ") << QStringLiteral(" 20 ") << 20000;
        QTest::newRow("zero") << QStringLiteral("ISP") << QStringLiteral("0")
                              << Scheduler::kMinPeriodMs;
        QTest::newRow("negative") << QStringLiteral("ISP") << QStringLiteral("-5")
                                  << Scheduler::kMinPeriodMs;
        QTest::newRow("huge") << QStringLiteral("ISP") << QStringLiteral("99999")
                              << Scheduler::kMaxPeriodMs;
    }
    void okStoresAsTyped()
    {
        QFETCH(QString, combo1);
        QFETCH(QString, text1);
        QFETCH(int, period);
        Setup s;
        QVERIFY(s.options.cmdOK_Click(combo1, text1));
        QVERIFY(s.prompter.shown.isEmpty());
        QCOMPARE(s.settings.address, combo1);
        QCOMPARE(s.settings.interval, text1);
        SettingsStore reread(s.store.path());
        RunningSettings again;
        again.load(reread);
        QCOMPARE(again.address, combo1);
        QCOMPARE(again.interval, text1);

        // The next arming uses it.
        SchedulerHooks hooks;
        int armed = 0;
        hooks.startTimer = [&](int ms) { armed = ms; };
        Scheduler scheduler(s.settings, s.prompter, s.dial, hooks);
        QVERIFY(scheduler.cmdAuto_Click(QStringLiteral("01:30")));
        QCOMPARE(armed, period);
    }

    void okRefusesAnIntervalThatIsNotANumber_data()
    {
        QTest::addColumn<QString>("text1");
        QTest::newRow("word") << QStringLiteral("abc");
        QTest::newRow("empty") << QString();
        QTest::newRow("blank") << QStringLiteral("  ");
        QTest::newRow("trailing text") << QStringLiteral("5s");
        QTest::newRow("two points") << QStringLiteral("1.2.3");
    }
    void okRefusesAnIntervalThatIsNotANumber()
    {
        QFETCH(QString, text1);
        Setup s;
        QVERIFY(!s.options.cmdOK_Click(QStringLiteral("ISP"), text1));
        QCOMPARE(s.prompter.shown, QStringList{QStringLiteral("数字を入れてください")});
        QCOMPARE(s.settings.address, QStringLiteral("なし"));
        QCOMPARE(s.settings.interval, QStringLiteral("5"));
        QCOMPARE(s.stored("ADDRESS"), QStringLiteral("-"));
        QCOMPARE(s.stored("INTERVAL"), QStringLiteral("-"));
    }

    // A write that does not reach the disk is shown; the running copy keeps
    // what the disk has.
    void failedWriteIsReportedAndChangesNothing()
    {
        Setup s;
        s.store.failWritesForTesting(true);
        QVERIFY(!s.options.cmdOK_Click(QStringLiteral("ISP"), QStringLiteral("9")));
        QCOMPARE(s.prompter.shown.size(), 1);
        QVERIFY(s.prompter.shown.first().startsWith(QStringLiteral("設定ファイル")));
        QCOMPARE(s.settings.address, QStringLiteral("なし"));
        QCOMPARE(s.settings.interval, QStringLiteral("5"));
        s.store.failWritesForTesting(false);
        QCOMPARE(s.stored("ADDRESS"), QStringLiteral("-"));
        QCOMPARE(s.stored("INTERVAL"), QStringLiteral("-"));
    }
};

KAPLO_TEST(TestDialUpOptions)
#include "tst_dialupoptions.moc"
