#include "schedule/dialup.h"
#include "schedule/dialupoptions.h"
#include "schedule/scheduler.h"
#include "settings/runningsettings.h"
#include "settings/settingsstore.h"
#include "support/scriptedprompter.h"
#include "support/testdata.h"
#include "support/testregistry.h"

#include <QHash>
#include <QTemporaryDir>
#include <QTest>

#include <algorithm>
#include <functional>
#include <optional>

namespace {

const QDate kDay1(2024, 5, 1);

// "HH:MM:SS" on the first day, "HH:MM:SS+N" N days later.
QDateTime at(const QString &text)
{
    const QStringList p = text.split(QLatin1Char('+'));
    return QDateTime(kDay1.addDays(p.value(1).toInt()),
                     QTime::fromString(p.first(), QStringLiteral("HH:mm:ss")));
}

// Launches answer from `launchResults` (0: failed), else with a fresh task;
// a dialling is over once in `over` or after looksUntilOver looks (-1: never).
struct FakeDialUp final : DialUp {
    QStringList entries() override { return names; }
    qint64 launch(const QString &entry) override
    {
        launched << entry;
        return launchResults.isEmpty() ? nextTask++ : launchResults.takeFirst();
    }
    bool watch(qint64 task) override
    {
        ++watched;
        return over.contains(task) || (looksUntilOver >= 0 && ++looks[task] > looksUntilOver);
    }
    QStringList names, launched;
    QList<qint64> launchResults, over;
    qint64 nextTask = 1000;
    int looksUntilOver = -1, watched = 0;
    QHash<qint64, int> looks;
};

// The main window around a scheduler on a fake clock: Timer1 fires every
// period; a run lasts runLengthMs and ends as the engine ends one.
struct Window {
    Window() { settings.load(store); }

    void Command1_Click()
    {
        // The timer is stopped and the button enabled before it is pressed.
        QVERIFY(command1 && !nextTick);
        if (busy) // another process's run holds the settings file
            return;
        running = true;
        cmdAuto = false;
        const qint64 day = kDay1.daysTo(now.date());
        starts << now.toString(QStringLiteral("HH:mm:ss")) +
                      (day ? QStringLiteral("+%1").arg(day) : "");
        if (runLengthMs >= 0)
            runEnd = now.addMSecs(runLengthMs);
    }

    // Lets the clock run to `until`, firing ticks and run ends on the way
    // (a tick first when both fall at once).
    void advanceTo(const QDateTime &until)
    {
        const QDateTime never = until.addDays(1);
        for (QDateTime t;
             (t = std::min(nextTick.value_or(never), runEnd.value_or(never))) <= until;) {
            now = t;
            if (nextTick != t) { // the run ends
                running = false;
                runEnd.reset();
                cmdAuto = true;
                if (check1)
                    scheduler.arm(text1);
                continue;
            }
            nextTick = t.addMSecs(period);
            scheduler.Timer1_Timer(t, text1);
        }
        now = until;
    }

    // A setting or an action; false for a word of observe().
    bool step(const QString &word, const QString &r)
    {
        using Step = std::function<void()>;
        const QHash<QString, Step> steps = {
            {"address", [&] { settings.address = r; }},
            {"interval", [&] { settings.interval = r; }},
            {"text1", [&] { text1 = r; }},
            {"check1", [&] { check1 = r == QLatin1String("on"); }},
            {"busy", [&] { busy = r == QLatin1String("on"); }},
            {"run", [&] { runLengthMs = r.toLongLong() < 0 ? -1 : r.toLongLong() * 1000; }},
            {"looks", [&] { dial.looksUntilOver = r.toInt(); }},
            {"launches",
             [&] {
                 for (const QString &n : r.split(QLatin1Char(' ')))
                     dial.launchResults.push_back(n.toLongLong());
             }},
            {"over", [&] { dial.over << r.toLongLong(); }},
            {"entries", [&] { dial.names = r.split('|', Qt::SkipEmptyParts); }},
            {"fail", [&] { store.failWritesForTesting(r == QLatin1String("on")); }},
            {"ok", [&] { options.cmdOK_Click(r.section('|', 0, 0), r.section('|', 1)); }},
            {"click", [&] { now = at(r), scheduler.cmdAuto_Click(text1); }},
            {"arm", [&] { scheduler.arm(text1); }},
            {"cancel", [&] { scheduler.cancel(); }},
            {"to", [&] { advanceTo(at(r)); }},
            {"jump", [&] { now = at(r), nextTick = nextTick ? std::optional(now) : std::nullopt; }},
            {"tick", [&] { now = at(r), scheduler.Timer1_Timer(now, text1); }},
        };
        const Step s = steps.value(word);
        if (s)
            s();
        return bool(s);
    }

    QString observe(const QString &word)
    {
        const auto onOff = [](bool on) {
            return on ? QStringLiteral("on") : QStringLiteral("off");
        };
        const DialUpOptions::Form form = options.Form_Load(dial);
        SettingsStore reread(store.path());
        RunningSettings again;
        again.load(reread);
        QStringList window = {onOff(scheduler.armed() && nextTick), onOff(command1), onOff(cmdAuto),
                              label5, caption};
        window.removeAll(QString());
        const QHash<QString, QString> seen = {
            {"starts", starts.join(QLatin1Char(' '))},
            {"launched", dial.launched.join(QLatin1Char('|'))},
            {"watched", QString::number(dial.watched)},
            {"state", QString::number(scheduler.dialState())},
            {"period", QString::number(period)},
            {"window", window.join(QLatin1Char(' '))},
            {"messages", prompter.shown.join(QLatin1Char('|'))},
            {"told", QString::number(prompter.shown.size())},
            {"dialog", QStringList{form.items.join(','), form.combo1, form.text1}.join('|')},
            {"stored", again.address + '|' + again.interval},
            {"logs", logs.join(QLatin1Char('|'))},
        };
        return seen.value(word, QStringLiteral("<unknown word>"));
    }

    QTemporaryDir dir;
    SettingsStore store{dir.filePath(QStringLiteral("KAPLO.ini"))};
    ScriptedPrompter prompter;
    RunningSettings settings;
    DialUpOptions options{settings, store, prompter};
    FakeDialUp dial;
    QString text1 = QStringLiteral("01:30"), label5, caption;
    bool check1 = false, busy = false, running = false, command1 = true, cmdAuto = true;
    QDateTime now;
    std::optional<QDateTime> nextTick, runEnd;
    int period = 0;
    qint64 runLengthMs = 10 * 60 * 1000;
    QStringList starts, logs;

    SchedulerHooks hooks{.startTimer = [this](int ms) { period = ms, nextTick = now.addMSecs(ms); },
                         .stopTimer = [this] { nextTick.reset(); },
                         .enableCommand1 = [this](bool on) { command1 = on; },
                         .enableCmdAuto = [this](bool on) { cmdAuto = on; },
                         .setLabel5 = [this](const QString &t) { label5 = t; },
                         .setCmdAutoCaption = [this](const QString &t) { caption = t; },
                         .command1Click = [this] { Command1_Click(); },
                         .runStarted = [this] { return running; },
                         .log = [this](const QString &line) { logs << line; }};
    Scheduler scheduler{settings, prompter, dial, hooks};
};

} // namespace

class TestScheduler : public QObject {
    Q_OBJECT
private slots:
    void scripts_data() { kaplotest::addDataRows(QStringLiteral("schedule/scheduler.txt")); }
    void scripts()
    {
        QFETCH(kaplotest::DataCase, c);
        Window w;
        for (const QString &line : c.lines("script")) {
            const QString word = line.section(QLatin1Char(' '), 0, 0);
            const QString rest = line.section(QLatin1Char(' '), 1);
            if (w.step(word, rest))
                continue;
            const QString seen = w.observe(word);
            QVERIFY2(seen == rest, qPrintable(line + QStringLiteral("   but seen: ") + seen));
        }
    }
};

KAPLO_TEST(TestScheduler)
#include "tst_scheduler.moc"
