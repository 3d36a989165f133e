#pragma once

#include <QDateTime>
#include <QString>

#include <functional>

class DialUp;
class Prompter;
struct RunningSettings;

// What the scheduled start does to the main window. Form1 maps these onto
// Timer1 (a QTimer), Command1, cmdAuto, Label5 and its Command1_Click; tests
// map them onto a fake clock. An empty hook is skipped.
struct SchedulerHooks {
    // Timer1: (re)start with this period in milliseconds / stop.
    std::function<void(int msec)> startTimer;
    std::function<void()> stopTimer;
    std::function<void(bool enabled)> enableCommand1;
    std::function<void(bool enabled)> enableCmdAuto;
    std::function<void(const QString &text)> setLabel5;
    // cmdAuto's caption: armCaption() or, while armed, cancelCaption().
    std::function<void(const QString &text)> setCmdAutoCaption;
    // Command1_Click: with the button showing "ﾀﾞｳﾝﾛｰﾄﾞ開始" it starts a run.
    std::function<void()> command1Click;
    // After command1Click: whether a run is going on. false when it was
    // refused (another run holds the settings file): the refusal is already
    // shown (Label3), so the start logs it and stays armed for the same time
    // the next day.
    std::function<bool()> runStarted;
    std::function<void(const QString &line)> log;
};

// The daily scheduled start of the main window: arming (cmdAuto_Click), the
// timer tick (Timer1_Timer) and the dial state, with dialling through a
// DialUp. It holds no timer and reads no clock: the window passes the tick's
// time and the text of its Text1 in.
//
// Wiring in Form1:
// - cmdAuto clicked: cmdAuto_Click(Text1->text()), which arms or, while
//   armed, cancels.
// - Timer1 timeout: Timer1_Timer(QDateTime::currentDateTime(), Text1->text()).
// - Every run end, however it ends (all groups done, stopped by hand or by a
//   limit, socket error): after enabling cmdAuto, if Check1 is ticked call
//   arm(Text1->text()). That is what repeats the schedule daily;
//   arming never repeats by itself. Unticking Check1 while armed therefore
//   does not disarm; it only stops the re-arming after the next run.
class Scheduler final {
public:
    // Bounds of the timer period. The watch interval is a number of seconds
    // typed by the user: 0 or less would arm a timer that fires continuously,
    // and a huge one a timer that overflows. Below a second nothing is gained
    // (the tick compares minutes); 65.535 s is the longest period the
    // program's timer has ever taken, so a long interval still behaves as
    // users know it (it can step over the scheduled minute).
    static constexpr int kMinPeriodMs = 1000;
    static constexpr int kMaxPeriodMs = 65535;

    // The dial state when the run was started without dialling.
    static constexpr qint64 kStartedWithoutDialling = 1;

    Scheduler(RunningSettings &settings, Prompter &prompter, DialUp &dialUp, SchedulerHooks hooks);
    Scheduler(const Scheduler &) = delete;
    Scheduler &operator=(const Scheduler &) = delete;

    // Arms the timer for the time of day in text1. An empty text or one that
    // is not a date or time is refused with a message and changes nothing.
    // A valid time that is not exactly "HH:MM" ("1:30") is armed but never
    // matches the clock. Returns whether the timer was armed. While armed,
    // Label5 names the time, Command1 is disabled and cmdAuto cancels.
    bool arm(const QString &text1);
    // Disarms: the timer stops, Command1 is enabled again, Label5 cleared.
    void cancel();
    // The button: cancels when armed, arms otherwise. true when it armed.
    bool cmdAuto_Click(const QString &text1);
    bool armed() const { return m_timerRunning; }

    // One tick of Timer1 at time now. At the minute text1 names (compared as
    // text with now formatted "HH:MM"), the first tick starts the run, or
    // launches the dial-up entry (REMOTE/ADDRESS other than "なし") and
    // later ticks watch it until it is over, then start the run. A failed
    // launch is tried again on each tick of that minute. A tick that does
    // not fall inside the minute (an interval over 60 s, a machine asleep,
    // a clock that jumped) starts nothing until the same minute comes again.
    void Timer1_Timer(const QDateTime &now, const QString &text1);

    // 0 idle, 1 started without dialling, else the task being dialled.
    qint64 dialState() const { return m_dialState; }
    bool isTimerRunning() const { return m_timerRunning; }
    // The period of the last arming.
    int timerPeriod() const { return m_period; }

    // The timer period for a watch interval text: its leading number of
    // seconds times 1000, rounded, within kMinPeriodMs..kMaxPeriodMs.
    static int periodFor(const QString &interval);
    // The clock as the tick compares it: "HH:MM", hours 00-23.
    static QString clockText(const QDateTime &now);

    static QString noTimeMessage();                  // "時間を設定してください"
    static QString badTimeMessage();                 // "時間の形式はHH:MMです。"
    static QString armedLabel(const QString &text1); // "06:30 に開始します"
    static QString armCaption();                     // "指定時間に開始"
    static QString cancelCaption();                  // "タイマ解除"
    static QString noDialUp();                       // "なし"

private:
    void startTimer(int msec);
    void stopTimer();
    void startRun(const QDateTime &now, const QString &text1);
    // Command1, cmdAuto and Label5 as armed at text1 (empty: disarmed).
    void showArmed(const QString &text1);

    RunningSettings &m_settings;
    Prompter &m_prompter;
    DialUp &m_dialUp;
    SchedulerHooks m_hooks;
    qint64 m_dialState = 0;
    bool m_timerRunning = false;
    int m_period = 0;
    // The minute of a refused start: its later ticks start nothing.
    QDateTime m_refusedAt;
};
