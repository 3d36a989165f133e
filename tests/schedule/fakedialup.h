#pragma once

#include "schedule/dialup.h"

#include <QSet>
#include <QStringList>

#include <deque>

// A dial-up facility that lists what it is given, answers launches from a
// script (the next task number, 0 for a failed launch; a fresh number when
// the script is empty) and reports a dialling over once the test says so,
// or after a set number of looks.
class FakeDialUp final : public DialUp {
public:
    QStringList entries() override
    {
        ++listings;
        return names;
    }
    qint64 launch(const QString &entry) override
    {
        launched << entry;
        qint64 task = nextTask++;
        if (!launchResults.empty()) {
            task = launchResults.front();
            launchResults.pop_front();
        }
        return task;
    }
    bool watch(qint64 task) override
    {
        watched << task;
        if (over.contains(task))
            return true;
        if (looksUntilOver >= 0 && ++looksByTask[task] > looksUntilOver)
            return true;
        return false;
    }

    QStringList names;
    std::deque<qint64> launchResults;
    qint64 nextTask = 1000;
    QSet<qint64> over;
    int looksUntilOver = -1; // -1: only what `over` says
    QHash<qint64, int> looksByTask;

    int listings = 0;
    QStringList launched;
    QList<qint64> watched;
};
