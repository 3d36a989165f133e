#pragma once

#include <QString>
#include <QStringList>

// The system's dial-up facility, as the scheduled start uses it: a list of
// entries, a launch that dials one of them, and a watch asked once per timer
// tick whether dialling is over. On Linux it is NetworkManager
// (NmcliDialUp); tests use a double.
class DialUp {
public:
    virtual ~DialUp() = default;

    // The names of the entries the system knows, in its order; empty when the
    // facility is absent or does not answer. "なし" is not among them: the
    // dialog puts it first itself.
    virtual QStringList entries() = 0;

    // Starts dialling the entry. Returns the task number of what was started
    // (never 0 or 1), or 0 when nothing could be started.
    virtual qint64 launch(const QString &entry) = 0;

    // One look at a dialling that launch() started: true once it is over,
    // however it ended. A task this object does not know is over.
    virtual bool watch(qint64 task) = 0;
};
