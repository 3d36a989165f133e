#include "schedule/fakedialup.h"
#include "schedule/scheduler.h"
#include "settings/runningsettings.h"
#include "support/scriptedprompter.h"
#include "support/testregistry.h"

#include <QTest>

#include <optional>

namespace {

const QDate kDay1(2024, 5, 1);

QDateTime at(const QString &hhmmss, int day = 0)
{
    return QDateTime(kDay1.addDays(day), QTime::fromString(hhmmss, QStringLiteral("HH:mm:ss")));
}

// The main window around a scheduler, on a fake clock: Timer1 fires every
// period after it is started, a run lasts runLength and ends as the engine
// ends one (cmdAuto enabled, re-armed while Check1 is ticked).
struct Window {
    Window() : scheduler(settings, prompter, dial, hooks())
    {
        settings.address = QStringLiteral("なし");
        settings.interval = QStringLiteral("5");
    }

    SchedulerHooks hooks()
    {
        SchedulerHooks h;
        h.startTimer = [this](int ms) {
            period = ms;
            nextTick = now.addMSecs(ms);
            events << QStringLiteral("timer %1").arg(ms);
        };
        h.stopTimer = [this] {
            nextTick.reset();
            events << QStringLiteral("stop");
        };
        h.enableCommand1 = [this](bool on) {
            command1Enabled = on;
            events << (on ? QStringLiteral("Command1 on") : QStringLiteral("Command1 off"));
        };
        h.enableCmdAuto = [this](bool on) { cmdAutoEnabled = on; };
        h.setLabel5 = [this](const QString &t) { label5 = t; };
        h.command1Click = [this] { Command1_Click(); };
        h.runStarted = [this] { return running; };
        h.log = [this](const QString &line) { logs << line; };
        return h;
    }

    void Command1_Click()
    {
        events << QStringLiteral("Command1_Click");
        if (busy) // another process's run holds the settings file
            return;
        if (running) {
            endRun();
            return;
        }
        running = true;
        cmdAutoEnabled = false;
        runStarts << now;
        if (runLengthMs >= 0)
            runEnd = now.addMSecs(runLengthMs);
    }

    void endRun()
    {
        running = false;
        runEnd.reset();
        cmdAutoEnabled = true;
        if (check1)
            scheduler.arm(text1);
    }

    bool arm(const QDateTime &when)
    {
        now = when;
        return scheduler.cmdAuto_Click(text1);
    }

    // Lets the clock run to `until`, firing ticks and run ends on the way.
    void advanceTo(const QDateTime &until)
    {
        for (;;) {
            const bool tickDue = nextTick && *nextTick <= until;
            const bool endDue = runEnd && *runEnd <= until;
            if (!tickDue && !endDue)
                break;
            if (tickDue && (!endDue || *nextTick <= *runEnd)) {
                now = *nextTick;
                nextTick = now.addMSecs(period);
                tickTimes << now;
                scheduler.Timer1_Timer(now, text1);
            } else {
                now = *runEnd;
                endRun();
            }
        }
        now = until;
    }

    // The wall clock moves without ticks in between (a machine asleep, a
    // clock set forward); the timer fires once on waking.
    void jumpTo(const QDateTime &when)
    {
        now = when;
        if (nextTick)
            nextTick = when;
    }

    int ticksAt(const QString &hhmm) const
    {
        int n = 0;
        for (const QDateTime &t : tickTimes)
            n += Scheduler::clockText(t) == hhmm;
        return n;
    }

    ScriptedPrompter prompter;
    RunningSettings settings;
    FakeDialUp dial;
    QString text1 = QStringLiteral("01:30");
    bool check1 = false;

    QDateTime now;
    std::optional<QDateTime> nextTick;
    int period = 0;
    bool command1Enabled = true;
    bool cmdAutoEnabled = true;
    QString label5;
    bool running = false;
    bool busy = false;
    QStringList logs;
    qint64 runLengthMs = 10 * 60 * 1000;
    std::optional<QDateTime> runEnd;
    QList<QDateTime> runStarts;
    QList<QDateTime> tickTimes;
    QStringList events;

    Scheduler scheduler;
};

} // namespace

class TestScheduler : public QObject {
    Q_OBJECT
private slots:
    void armingChecksTheTime_data()
    {
        QTest::addColumn<QString>("text1");
        QTest::addColumn<QString>("message");
        QTest::newRow("empty") << QString() << Scheduler::noTimeMessage();
        QTest::newRow("word") << QStringLiteral("abc") << Scheduler::badTimeMessage();
        QTest::newRow("hour 25") << QStringLiteral("25:00") << Scheduler::badTimeMessage();
        QTest::newRow("blank") << QStringLiteral(" ") << Scheduler::badTimeMessage();
        QTest::newRow("HH:MM") << QStringLiteral("01:30") << QString();
        QTest::newRow("one-digit hour") << QStringLiteral("1:30") << QString();
        QTest::newRow("a date") << QStringLiteral("97/12/06") << QString();
    }
    void armingChecksTheTime()
    {
        QFETCH(QString, text1);
        QFETCH(QString, message);
        Window w;
        w.text1 = text1;
        const bool armed = w.arm(at(QStringLiteral("00:00:00")));
        QCOMPARE(armed, message.isEmpty());
        QCOMPARE(w.scheduler.isTimerRunning(), armed);
        QCOMPARE(w.nextTick.has_value(), armed);
        QCOMPARE(w.command1Enabled, !armed);
        QVERIFY(w.cmdAutoEnabled); // it cancels while armed
        QCOMPARE(w.label5, armed ? text1 + QStringLiteral(" に開始します") : QString());
        QCOMPARE(w.prompter.shown, message.isEmpty() ? QStringList() : QStringList{message});
        if (armed) {
            QCOMPARE(w.period, 5000);
            QCOMPARE(w.scheduler.dialState(), 0);
        }
    }

    // Another run holds the settings file at the set time: the start is
    // logged once, the timer stays armed, and the run starts the next day.
    void busyStartWaitsForTheNextDay()
    {
        Window w;
        w.busy = true;
        QVERIFY(w.arm(at(QStringLiteral("00:00:00"))));
        w.advanceTo(at(QStringLiteral("01:32:00")));
        QVERIFY(w.runStarts.isEmpty());
        QCOMPARE(w.logs.size(), 1);
        QVERIFY2(w.logs.first().startsWith(QStringLiteral("2024-05-01 01:30")),
                 qPrintable(w.logs.first()));
        QVERIFY(w.scheduler.isTimerRunning());
        QCOMPARE(w.label5, Scheduler::armedLabel(w.text1));
        QVERIFY(!w.command1Enabled);
        w.busy = false;
        w.advanceTo(at(QStringLiteral("01:32:00"), 1));
        QCOMPARE(w.runStarts.size(), 1);
        QCOMPARE(w.runStarts.first().date(), kDay1.addDays(1));
        QCOMPARE(Scheduler::clockText(w.runStarts.first()), QStringLiteral("01:30"));
    }

    // The watch interval is a number of seconds as typed; the timer gets
    // it in milliseconds, kept to what a timer can sensibly do.
    void periodFromInterval_data()
    {
        QTest::addColumn<QString>("interval");
        QTest::addColumn<int>("period");
        QTest::newRow("default") << QStringLiteral("5") << 5000;
        QTest::newRow("decimal") << QStringLiteral("1.5") << 1500;
        QTest::newRow("rounded") << QStringLiteral("2.0004") << 2000;
        QTest::newRow("leading number") << QStringLiteral(" 7x") << 7000;
        QTest::newRow("longest") << QStringLiteral("65.535") << 65535;
        QTest::newRow("over a minute") << QStringLiteral("65") << 65000;
        QTest::newRow("zero") << QStringLiteral("0") << Scheduler::kMinPeriodMs;
        QTest::newRow("negative") << QStringLiteral("-3") << Scheduler::kMinPeriodMs;
        QTest::newRow("no number") << QStringLiteral("abc") << Scheduler::kMinPeriodMs;
        QTest::newRow("empty") << QString() << Scheduler::kMinPeriodMs;
        QTest::newRow("under a second") << QStringLiteral("0.2") << Scheduler::kMinPeriodMs;
        QTest::newRow("too long") << QStringLiteral("99999") << Scheduler::kMaxPeriodMs;
        QTest::newRow("beyond int")
            << QStringLiteral("99999999999999999999") << Scheduler::kMaxPeriodMs;
    }
    void periodFromInterval()
    {
        QFETCH(QString, interval);
        QFETCH(int, period);
        QCOMPARE(Scheduler::periodFor(interval), period);
        Window w;
        w.settings.interval = interval;
        QVERIFY(w.arm(at(QStringLiteral("00:00:00"))));
        QCOMPARE(w.period, period);
    }

    // Default interval: the minute is seen 12 times. Without dialling the
    // first tick starts the run and stops the timer; while dialling the timer
    // goes on, and the later ticks only watch.
    void oneRunInTheScheduledMinute_data()
    {
        QTest::addColumn<QString>("address");
        QTest::addColumn<int>("ticksInMinute");
        QTest::addColumn<QDateTime>("runAt");
        QTest::newRow("without dialling") << QStringLiteral("なし") << 1 << at("01:30:00");
        // Over after 15 looks: launched at 01:30:00, the 16th look ends it.
        QTest::newRow("dialling") << QStringLiteral("ISP") << 12 << at("01:31:20");
    }
    void oneRunInTheScheduledMinute()
    {
        QFETCH(QString, address);
        QFETCH(int, ticksInMinute);
        QFETCH(QDateTime, runAt);
        Window w;
        w.settings.address = address;
        w.dial.looksUntilOver = 15;
        w.runLengthMs = -1;
        QVERIFY(w.arm(at(QStringLiteral("00:00:00"))));
        w.advanceTo(at(QStringLiteral("01:29:59")));
        QVERIFY(w.runStarts.isEmpty());
        QVERIFY(w.dial.launched.isEmpty());
        w.advanceTo(at(QStringLiteral("23:59:59")));
        QCOMPARE(w.ticksAt(QStringLiteral("01:30")), ticksInMinute);
        QCOMPARE(w.runStarts, QList<QDateTime>{runAt});
        QCOMPARE(w.dial.launched.size(), address == QStringLiteral("なし") ? 0 : 1);
        QVERIFY(!w.scheduler.isTimerRunning());
        QVERIFY(!w.nextTick);
        QVERIFY(w.command1Enabled);
        QVERIFY(!w.cmdAutoEnabled); // a run is going on
        QCOMPARE(w.scheduler.dialState(),
                 address == QStringLiteral("なし") ? Scheduler::kStartedWithoutDialling : 0);
        // Command1 is enabled before it is clicked.
        const qsizetype click = w.events.indexOf(QStringLiteral("Command1_Click"));
        QCOMPARE(w.events.mid(click - 2, 3),
                 (QStringList{QStringLiteral("stop"), QStringLiteral("Command1 on"),
                              QStringLiteral("Command1_Click")}));
    }

    // A queued tick arriving after the timer stopped must not press Command1
    // again: that would stop the run just started.
    void tickAfterTheTimerStoppedDoesNothing()
    {
        Window w;
        w.runLengthMs = -1;
        QVERIFY(w.arm(at(QStringLiteral("01:29:58"))));
        w.advanceTo(at(QStringLiteral("01:30:05")));
        QCOMPARE(w.runStarts.size(), 1);
        w.scheduler.Timer1_Timer(at(QStringLiteral("01:30:05")), w.text1);
        w.scheduler.Timer1_Timer(at(QStringLiteral("01:30:10")), w.text1);
        QVERIFY(w.running);
        QCOMPARE(w.runStarts.size(), 1);
        QVERIFY(w.dial.watched.isEmpty());
    }

    // Check1 ticked: every run end arms again, so a short run is started
    // again in the same minute, and the next day at the same time.
    void dailyRepetition_data()
    {
        QTest::addColumn<QString>("address");
        QTest::addColumn<qint64>("runLengthMs");
        QTest::addColumn<int>("days");
        QTest::addColumn<QList<QDateTime>>("starts");
        QTest::newRow("short runs, no dialling")
            << QStringLiteral("なし") << qint64(10000) << 2
            << QList<QDateTime>{at("01:30:00"),    at("01:30:15"),    at("01:30:30"),
                                at("01:30:45"),    at("01:30:00", 1), at("01:30:15", 1),
                                at("01:30:30", 1), at("01:30:45", 1)};
        QTest::newRow("long runs, no dialling")
            << QStringLiteral("なし") << qint64(3600000) << 3
            << QList<QDateTime>{at("01:30:00"), at("01:30:00", 1), at("01:30:00", 2)};
        // Dialling over at the first look.
        QTest::newRow("long runs, dialling")
            << QStringLiteral("ISP") << qint64(3600000) << 3
            << QList<QDateTime>{at("01:30:05"), at("01:30:05", 1), at("01:30:05", 2)};
    }
    void dailyRepetition()
    {
        QFETCH(QString, address);
        QFETCH(qint64, runLengthMs);
        QFETCH(int, days);
        QFETCH(QList<QDateTime>, starts);
        Window w;
        w.settings.address = address;
        w.dial.looksUntilOver = 0;
        w.check1 = true;
        w.runLengthMs = runLengthMs;
        QVERIFY(w.arm(at(QStringLiteral("00:00:00"))));
        w.advanceTo(at(QStringLiteral("23:00:00"), days - 1));
        QCOMPARE(w.runStarts, starts);
        QCOMPARE(w.dial.launched.size(), address == QStringLiteral("なし") ? 0 : starts.size());
        // Armed again for the next day.
        QVERIFY(w.scheduler.isTimerRunning());
        QCOMPARE(w.label5, QStringLiteral("01:30 に開始します"));
        QVERIFY(!w.command1Enabled);
        QVERIFY(w.cmdAutoEnabled);
        QVERIFY(w.prompter.shown.isEmpty());
    }

    // A tick that never falls inside the scheduled minute starts nothing that
    // day: an interval over 60 s can step over it, and so can a clock that
    // jumps. The run then waits for the same minute of the next day.
    void minuteSteppedOver_data()
    {
        QTest::addColumn<QString>("interval");
        QTest::addColumn<QDateTime>("armedAt");
        QTest::addColumn<QDateTime>("firstRun");
        QTest::newRow("65 s, lands inside")
            << QStringLiteral("65") << at("01:29:00") << at("01:30:05");
        // Ticks at 01:29:58 + 65 s = 01:31:03: the minute is never seen.
        QTest::newRow("65 s, steps over") << QStringLiteral("65") << at("01:29:58") << QDateTime();
    }
    void minuteSteppedOver()
    {
        QFETCH(QString, interval);
        QFETCH(QDateTime, armedAt);
        QFETCH(QDateTime, firstRun);
        Window w;
        w.settings.interval = interval;
        QVERIFY(w.arm(armedAt));
        w.advanceTo(at(QStringLiteral("23:59:59")));
        QCOMPARE(w.runStarts.value(0), firstRun);
        QCOMPARE(w.scheduler.isTimerRunning(), !firstRun.isValid());
    }

    void clockJumpSkipsToTheNextDay()
    {
        Window w;
        QVERIFY(w.arm(at(QStringLiteral("01:00:00"))));
        w.advanceTo(at(QStringLiteral("01:29:55")));
        w.jumpTo(at(QStringLiteral("01:31:30")));
        w.advanceTo(at(QStringLiteral("23:59:59")));
        QVERIFY(w.runStarts.isEmpty());
        w.advanceTo(at(QStringLiteral("23:59:59"), 1));
        QCOMPARE(w.runStarts, QList<QDateTime>{at(QStringLiteral("01:30:00"), 1)});
    }

    // Text1 emptied or spoiled during the run: the re-arming at its end shows
    // why and the schedule stops.
    void invalidTimeAtRearmStopsTheSchedule_data()
    {
        QTest::addColumn<QString>("text1");
        QTest::addColumn<QString>("message");
        QTest::newRow("emptied") << QString() << Scheduler::noTimeMessage();
        QTest::newRow("spoiled") << QStringLiteral("1:3x") << Scheduler::badTimeMessage();
    }
    void invalidTimeAtRearmStopsTheSchedule()
    {
        QFETCH(QString, text1);
        QFETCH(QString, message);
        Window w;
        w.check1 = true;
        QVERIFY(w.arm(at(QStringLiteral("01:00:00"))));
        w.advanceTo(at(QStringLiteral("01:35:00")));
        QCOMPARE(w.runStarts.size(), 1);
        w.text1 = text1;
        w.advanceTo(at(QStringLiteral("23:59:59"), 2));
        QCOMPARE(w.prompter.shown, QStringList{message});
        QCOMPARE(w.runStarts.size(), 1);
        QVERIFY(!w.scheduler.isTimerRunning());
        QVERIFY(w.cmdAutoEnabled);
        QVERIFY(w.command1Enabled);
    }

    // The armed time shows until the run starts; the same button cancels an
    // armed start, even while dialling is watched.
    void armedTimeAndCancel()
    {
        Window w;
        QString caption;
        SchedulerHooks h = w.hooks();
        h.setCmdAutoCaption = [&](const QString &c) { caption = c; };
        Scheduler s(w.settings, w.prompter, w.dial, h);
        w.text1 = QStringLiteral("06:30");
        QVERIFY(s.cmdAuto_Click(w.text1));
        QCOMPARE(w.label5, QStringLiteral("06:30 に開始します"));
        QCOMPARE(caption, QStringLiteral("タイマ解除"));
        QVERIFY(!s.cmdAuto_Click(w.text1)); // cancels
        QVERIFY(!s.armed());
        QVERIFY(w.label5.isEmpty() && w.command1Enabled && w.cmdAutoEnabled);
        QCOMPARE(caption, QStringLiteral("指定時間に開始"));

        QVERIFY(s.arm(w.text1));
        s.Timer1_Timer(at(QStringLiteral("06:30:00")), w.text1);
        QCOMPARE(w.runStarts.size(), 1);
        QVERIFY(w.label5.isEmpty());
        QCOMPARE(caption, QStringLiteral("指定時間に開始"));

        w.settings.address = QStringLiteral("ISP");
        QVERIFY(s.arm(w.text1));
        s.Timer1_Timer(at(QStringLiteral("06:30:00")), w.text1);
        QVERIFY(s.dialState() != 0);
        s.cancel();
        QCOMPARE(s.dialState(), 0);
        QVERIFY(!s.armed());
        s.Timer1_Timer(at(QStringLiteral("06:30:05")), w.text1);
        QCOMPARE(w.runStarts.size(), 1);
    }

    void untickingCheck1WhileArmedDoesNotDisarm()
    {
        Window w;
        w.check1 = true;
        QVERIFY(w.arm(at(QStringLiteral("01:00:00"))));
        w.check1 = false;
        w.advanceTo(at(QStringLiteral("23:59:59"), 2));
        QCOMPARE(w.runStarts, QList<QDateTime>{at(QStringLiteral("01:30:00"))});
        QVERIFY(!w.scheduler.isTimerRunning());
        QVERIFY(w.cmdAutoEnabled);
    }

    // A new interval is read at the next arming, not by a running timer.
    void intervalChangeTakesEffectAtTheNextArming()
    {
        Window w;
        w.check1 = true;
        QVERIFY(w.arm(at(QStringLiteral("01:00:00"))));
        w.settings.interval = QStringLiteral("1.5");
        w.advanceTo(at(QStringLiteral("01:20:00")));
        QCOMPARE(w.period, 5000);
        w.advanceTo(at(QStringLiteral("02:00:00")));
        QCOMPARE(w.runStarts.size(), 1);
        QCOMPARE(w.period, 1500);
    }

    // A launch that fails leaves the dial state 0, and the next tick of the
    // minute launches again.
    void failedLaunchIsRetriedWithinTheMinute()
    {
        Window w;
        w.settings.address = QStringLiteral("ISP 接続");
        w.dial.launchResults = {0, 0, 4242};
        w.dial.over << 4242;
        QVERIFY(w.arm(at(QStringLiteral("01:00:00"))));
        w.advanceTo(at(QStringLiteral("01:30:05")));
        QCOMPARE(w.dial.launched.size(), 2);
        QCOMPARE(w.scheduler.dialState(), 0);
        QVERIFY(w.runStarts.isEmpty());
        w.advanceTo(at(QStringLiteral("01:30:10")));
        QCOMPARE(w.scheduler.dialState(), 4242);
        w.advanceTo(at(QStringLiteral("23:59:59")));
        QCOMPARE(w.dial.launched, QStringList(3, QStringLiteral("ISP 接続")));
        QCOMPARE(w.dial.watched, QList<qint64>{4242});
        QCOMPARE(w.runStarts, QList<QDateTime>{at(QStringLiteral("01:30:15"))});
    }

    void launchFailingAllMinuteWaitsForTheNextDay()
    {
        Window w;
        w.settings.address = QStringLiteral("ISP");
        w.dial.launchResults = std::deque<qint64>(12, 0);
        w.dial.looksUntilOver = 0;
        QVERIFY(w.arm(at(QStringLiteral("01:00:00"))));
        w.advanceTo(at(QStringLiteral("23:59:59")));
        QCOMPARE(w.dial.launched.size(), 12);
        QVERIFY(w.runStarts.isEmpty());
        QVERIFY(w.scheduler.isTimerRunning());
        w.advanceTo(at(QStringLiteral("23:59:59"), 1));
        QCOMPARE(w.dial.launched.size(), 13);
        QCOMPARE(w.runStarts, QList<QDateTime>{at(QStringLiteral("01:30:05"), 1)});
    }

    // However long dialling takes, the run starts only once it is over.
    void runStartsWhenDiallingIsOver()
    {
        Window w;
        w.settings.address = QStringLiteral("ISP");
        QVERIFY(w.arm(at(QStringLiteral("01:00:00"))));
        w.advanceTo(at(QStringLiteral("05:00:00")));
        QCOMPARE(w.dial.launched, QStringList{QStringLiteral("ISP")});
        QVERIFY(w.runStarts.isEmpty());
        QCOMPARE(w.scheduler.dialState(), 1000);
        QVERIFY(w.scheduler.isTimerRunning());
        QVERIFY(!w.command1Enabled);
        QVERIFY(w.cmdAutoEnabled);
        QCOMPARE(w.dial.watched.size(), (5 * 3600 - 90 * 60) / 5);
        w.dial.over << 1000;
        w.advanceTo(at(QStringLiteral("05:00:05")));
        QCOMPARE(w.runStarts, QList<QDateTime>{at(QStringLiteral("05:00:05"))});
        QCOMPARE(w.scheduler.dialState(), 0);
        QVERIFY(!w.scheduler.isTimerRunning());
        QCOMPARE(w.events.mid(w.events.size() - 3),
                 (QStringList{QStringLiteral("stop"), QStringLiteral("Command1 on"),
                              QStringLiteral("Command1_Click")}));
        w.advanceTo(at(QStringLiteral("23:00:00"), 1));
        QCOMPARE(w.dial.launched.size(), 1);
        QCOMPARE(w.runStarts.size(), 1);
    }

    // The entry is read at the scheduled minute: a change after arming counts.
    void entryChangedAfterArming()
    {
        Window w;
        w.runLengthMs = -1;
        QVERIFY(w.arm(at(QStringLiteral("01:00:00"))));
        w.settings.address = QStringLiteral("ISP");
        w.dial.looksUntilOver = 0;
        w.advanceTo(at(QStringLiteral("02:00:00")));
        QCOMPARE(w.dial.launched, QStringList{QStringLiteral("ISP")});
        QCOMPARE(w.runStarts, QList<QDateTime>{at(QStringLiteral("01:30:05"))});
    }
};

KAPLO_TEST(TestScheduler)
#include "tst_scheduler.moc"
