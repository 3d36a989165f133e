#include "schedule/nmclidialup.h"

#include <QProcess>

namespace {

// How long starting a child may take before the launch counts as failed.
constexpr int kStartTimeoutMs = 5000;

} // namespace

NmcliDialUp::NmcliDialUp() = default;

NmcliDialUp::NmcliDialUp(Commands commands) : m_commands(std::move(commands)) {}

NmcliDialUp::~NmcliDialUp() = default;

QStringList NmcliDialUp::parseNames(const QByteArray &terseOutput)
{
    QStringList names;
    for (const QByteArray &raw : terseOutput.split('\n')) {
        QByteArray line = raw;
        if (line.endsWith('\r'))
            line.chop(1);
        if (line.isEmpty())
            continue;
        const QString escaped = QString::fromUtf8(line);
        QString name;
        name.reserve(escaped.size());
        for (qsizetype i = 0; i < escaped.size(); ++i) {
            // A backslash takes the next character literally; one at the very
            // end has nothing to escape and stays.
            if (escaped[i] == u'\\' && i + 1 < escaped.size())
                ++i;
            name += escaped[i];
        }
        names << name;
    }
    return names;
}

QStringList NmcliDialUp::entries()
{
    QProcess p;
    p.setStandardErrorFile(QProcess::nullDevice());
    p.start(m_commands.program, m_commands.listArguments, QIODevice::ReadOnly);
    if (!p.waitForStarted(kStartTimeoutMs))
        return {};
    if (!p.waitForFinished(m_commands.listTimeoutMs)) {
        p.kill();
        p.waitForFinished(kStartTimeoutMs);
        return {};
    }
    // "NetworkManager is not running" and the like: no entries, no message.
    if (p.exitStatus() != QProcess::NormalExit || p.exitCode() != 0)
        return {};
    return parseNames(p.readAllStandardOutput());
}

qint64 NmcliDialUp::launch(const QString &entry)
{
    forgetFinished();
    auto p = std::make_unique<QProcess>();
    // Nothing reads the child's output; it must not fill a pipe and block.
    p->setStandardInputFile(QProcess::nullDevice());
    p->setStandardOutputFile(QProcess::nullDevice());
    p->setStandardErrorFile(QProcess::nullDevice());
    // The name is one argument whatever it holds: no shell comes between.
    p->start(m_commands.program, QStringList(m_commands.upArguments) << entry);
    if (!p->waitForStarted(kStartTimeoutMs))
        return 0;
    const qint64 task = p->processId();
    if (task <= 1) {
        // Not a number the scheduler can tell from "idle" or "no dialling".
        p->kill();
        p->waitForFinished(kStartTimeoutMs);
        return 0;
    }
    m_dialling[task] = std::move(p);
    return task;
}

bool NmcliDialUp::watch(qint64 task)
{
    const auto it = m_dialling.find(task);
    if (it == m_dialling.end())
        return true;
    QProcess &p = *it->second;
    // A zero wait notices an ended child even when no event has been
    // handled since it ended.
    if (p.state() != QProcess::NotRunning)
        p.waitForFinished(0);
    if (p.state() != QProcess::NotRunning)
        return false;
    m_dialling.erase(it);
    return true;
}

void NmcliDialUp::forgetFinished()
{
    for (auto it = m_dialling.begin(); it != m_dialling.end();) {
        if (it->second->state() == QProcess::NotRunning)
            it = m_dialling.erase(it);
        else
            ++it;
    }
}
