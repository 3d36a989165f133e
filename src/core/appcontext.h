#pragma once

#include "core/prompter.h"
#include "settings/grouptable.h"
#include "settings/runlock.h"
#include "settings/runningsettings.h"
#include "settings/settingsstore.h"

#include <QString>

// The program-wide state every part of the program works on: the store and
// its running copies, the group table, the selection, the start-up mode and
// the one way to ask the user something.
struct AppContext {
    AppContext(SettingsStore &s, Prompter &p) : store(s), prompter(p), runLock(s.path()) {}
    AppContext(const AppContext &) = delete;
    AppContext &operator=(const AppContext &) = delete;

    SettingsStore &store;
    Prompter &prompter;
    // Held by this program's download run; see RunLock.
    RunLock runLock;
    RunningSettings settings;
    GroupTable groups;
    int selectedGroup = 0; // SelectedGroup: 1-based row last clicked, 0 for none
    bool logMode = false;  // LogMode: the trace log is written
    QString commandLine;   // CommandLine: the whole argument text

    GroupTable::Defaults groupDefaults() const
    {
        return {settings.derivedDateDir(), settings.derivedUserDir(), settings.derivedRewrite()};
    }

    // When another program (kaplo-cli, a second window) changed the settings
    // file since this one last read it, reads the settings and the group
    // table again, so that nothing older is written back over the change;
    // the selection is dropped, as its row may hold another group now. Call
    // it holding the run lock. true when it read them again.
    bool reloadIfChangedOnDisk()
    {
        if (!store.changedOnDisk() || !store.reload())
            return false;
        settings.load(store);
        groups.load(store, groupDefaults());
        selectedGroup = 0;
        return true;
    }
};
