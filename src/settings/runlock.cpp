#include "settings/runlock.h"

#include <QDir>
#include <QFileInfo>

RunLock::RunLock(const QString &settingsPath) : m_path(lockPathFor(settingsPath)), m_lock(m_path)
{
    // Only a process that is gone leaves a stale lock; a run may last hours.
    m_lock.setStaleLockTime(0);
}

QString RunLock::lockPathFor(const QString &settingsPath)
{
    // Not PATH.lock: QSettings takes that one for every write of the file.
    return settingsPath + QStringLiteral(".run.lock");
}

QString RunLock::busyMessage(qint64 pid)
{
    return QStringLiteral("別のダウンロードが実行中です (PID %1)").arg(pid);
}

bool RunLock::tryLock()
{
    if (m_lock.isLocked())
        return true;
    m_holderPid = 0;
    m_busy.clear();
    // The folder of a settings file that has not been written yet.
    QDir().mkpath(QFileInfo(m_path).absolutePath());
    // A stale lock is removed by the first attempt; the second takes it.
    for (int attempt = 0; attempt < 2; ++attempt) {
        if (m_lock.tryLock(0))
            return true;
        if (m_lock.error() != QLockFile::LockFailedError)
            break;
        qint64 pid = 0;
        if (m_lock.getLockInfo(&pid, nullptr, nullptr)) {
            m_holderPid = pid;
            m_busy = busyMessage(pid);
            return false;
        }
        // Gone between the attempt and the look: try once more.
    }
    if (m_busy.isEmpty()) {
        m_busy = m_lock.error() == QLockFile::LockFailedError
                     ? busyMessage(0)
                     : QStringLiteral("ロックファイルを作成できません: ") + m_path;
    }
    return false;
}

void RunLock::unlock()
{
    m_lock.unlock();
}
