#pragma once

#include <QLockFile>
#include <QString>

// One download run per settings file. A run (the window's, `kaplo DOWNLOAD`,
// the scheduled start, `kaplo-cli download`) holds the lock file beside the
// settings file, PATH.run.lock, for its whole length; a second run on the
// same file is refused. Changes to the group table and settings from
// another process take it for their short length, so they are refused while
// a run writes LAST by row position.
//
// A lock left behind by a process that no longer runs (killed, crashed, the
// machine restarted) is taken over. A live holder is never taken for stale,
// however long it runs.
class RunLock final {
public:
    explicit RunLock(const QString &settingsPath);
    RunLock(const RunLock &) = delete;
    RunLock &operator=(const RunLock &) = delete;

    static QString lockPathFor(const QString &settingsPath);
    QString path() const { return m_path; }

    // Takes the lock without waiting. false when another process holds it;
    // holderPid() and busyMessage() then name it.
    bool tryLock();
    void unlock();
    bool isLocked() const { return m_lock.isLocked(); }

    qint64 holderPid() const { return m_holderPid; }
    // "別のダウンロードが実行中です (PID n)", or why the lock file could not
    // be made.
    QString busyMessage() const { return m_busy; }
    static QString busyMessage(qint64 pid);

private:
    QString m_path;
    QLockFile m_lock;
    qint64 m_holderPid = 0;
    QString m_busy;
};

// A change to the settings file made while no run of this program goes on:
// holds the lock for the change's length, unless this program's own run holds
// it already. allowed() is false while another process runs (the lock's
// busyMessage() says which).
class SettingsEditLock final {
public:
    explicit SettingsEditLock(RunLock &lock)
        : m_lock(lock), m_took(!lock.isLocked() && lock.tryLock())
    {
    }
    ~SettingsEditLock()
    {
        if (m_took)
            m_lock.unlock();
    }
    SettingsEditLock(const SettingsEditLock &) = delete;
    SettingsEditLock &operator=(const SettingsEditLock &) = delete;
    bool allowed() const { return m_lock.isLocked(); }

private:
    RunLock &m_lock;
    bool m_took;
};
