#include "schedule/scheduler.h"

#include "core/prompter.h"
#include "schedule/dialup.h"
#include "settings/runningsettings.h"
#include "settings/textvalue.h"

#include <QLocale>

#include <cmath>

Scheduler::Scheduler(RunningSettings &settings, Prompter &prompter, DialUp &dialUp,
                     SchedulerHooks hooks)
    : m_settings(settings), m_prompter(prompter), m_dialUp(dialUp), m_hooks(std::move(hooks))
{
}

QString Scheduler::noTimeMessage()
{
    return QStringLiteral("時間を設定してください");
}

QString Scheduler::badTimeMessage()
{
    return QStringLiteral("時間の形式はHH:MMです。");
}

QString Scheduler::armedLabel(const QString &text1)
{
    return text1 + QStringLiteral(" に開始します");
}

QString Scheduler::armCaption()
{
    return QStringLiteral("指定時間に開始");
}

QString Scheduler::cancelCaption()
{
    return QStringLiteral("タイマ解除");
}

QString Scheduler::noDialUp()
{
    return QStringLiteral("なし");
}

int Scheduler::periodFor(const QString &interval)
{
    const double ms = std::nearbyint(TextValue::leadingNumber(interval) * 1000.0);
    if (!(ms >= kMinPeriodMs))
        return kMinPeriodMs;
    if (ms > kMaxPeriodMs)
        return kMaxPeriodMs;
    return static_cast<int>(ms);
}

QString Scheduler::clockText(const QDateTime &now)
{
    return QLocale::c().toString(now.time(), QStringLiteral("HH:mm"));
}

bool Scheduler::cmdAuto_Click(const QString &text1)
{
    if (armed()) {
        cancel();
        return false;
    }
    return arm(text1);
}

void Scheduler::cancel()
{
    stopTimer();
    m_dialState = 0;
    showArmed(QString());
}

void Scheduler::showArmed(const QString &text1)
{
    const bool on = !text1.isEmpty();
    if (m_hooks.enableCommand1)
        m_hooks.enableCommand1(!on);
    // cmdAuto stays usable: while armed it cancels.
    if (m_hooks.enableCmdAuto)
        m_hooks.enableCmdAuto(true);
    if (m_hooks.setLabel5)
        m_hooks.setLabel5(on ? armedLabel(text1) : QString());
    if (m_hooks.setCmdAutoCaption)
        m_hooks.setCmdAutoCaption(on ? cancelCaption() : armCaption());
}

bool Scheduler::arm(const QString &text1)
{
    if (text1.isEmpty()) {
        m_prompter.message(noTimeMessage());
        return false;
    }
    if (!TextValue::isDateOrTime(text1)) {
        m_prompter.message(badTimeMessage());
        return false;
    }
    m_dialState = 0;
    // The interval is read now: a later change takes effect at the next arming.
    startTimer(periodFor(m_settings.interval));
    showArmed(text1);
    return true;
}

void Scheduler::Timer1_Timer(const QDateTime &now, const QString &text1)
{
    // A tick that was already queued when the timer stopped must not act: with
    // the run going, the watch below would take it for the dialling's end and
    // press Command1 again, which stops the run.
    if (!m_timerRunning)
        return;

    const bool refusedThisMinute = m_refusedAt.isValid() && m_refusedAt.date() == now.date() &&
                                   clockText(m_refusedAt) == clockText(now);
    if (m_dialState == 0 && clockText(now) == text1 && !refusedThisMinute) {
        if (m_settings.address == noDialUp()) {
            m_dialState = kStartedWithoutDialling;
            stopTimer();
            startRun(now, text1);
        } else {
            // 0 when the launch failed: the next tick of this minute tries again.
            m_dialState = m_dialUp.launch(m_settings.address);
        }
        return;
    }
    if (m_dialState != 0 && m_dialUp.watch(m_dialState)) {
        stopTimer();
        startRun(now, text1);
        // After the start, as before; a run that ended at once and re-armed
        // has set it to 0 already.
        m_dialState = 0;
    }
}

void Scheduler::startTimer(int msec)
{
    m_period = msec;
    m_timerRunning = true;
    if (m_hooks.startTimer)
        m_hooks.startTimer(msec);
}

void Scheduler::stopTimer()
{
    m_timerRunning = false;
    if (m_hooks.stopTimer)
        m_hooks.stopTimer();
}

void Scheduler::startRun(const QDateTime &now, const QString &text1)
{
    // The armed time is no longer ahead.
    if (m_hooks.setLabel5)
        m_hooks.setLabel5(QString());
    if (m_hooks.setCmdAutoCaption)
        m_hooks.setCmdAutoCaption(armCaption());
    if (m_hooks.enableCommand1)
        m_hooks.enableCommand1(true);
    if (m_hooks.command1Click)
        m_hooks.command1Click();
    if (!m_hooks.runStarted || m_hooks.runStarted())
        return;
    if (m_hooks.log)
        m_hooks.log(QLocale::c().toString(now, QStringLiteral("yyyy-MM-dd HH:mm")) +
                    QStringLiteral(" 指定時間の開始を見送りました"));
    m_refusedAt = now;
    arm(text1);
}
