#pragma once

#include "settings/grouptable.h"

#include <QString>

#include <functional>
#include <vector>

struct AppContext;
class SettingsEditLock;
class SettingsStore;

// The commands that edit the group table: the main window's five buttons
// (add, delete, up, down, settings) and its list's item click, double click
// and end of in-place editing. kaplo-cli's `groups` runs the same commands.
//
// While another process runs a download on the same settings file, every
// command that would change the file is refused with RunLock's message: the
// run writes LAST by row position.
//
// Positions are 1-based, as SelectedGroup is. Every command that changes the
// store does so in one replace: when the store refuses it, the file keeps the
// previous table, the rows and the selection are put back as they were and
// the user is told why.
class GroupCommands final {
public:
    explicit GroupCommands(AppContext &ctx);

    // Shows the group dialog (Form2) modally for row SelectedGroup. Add and
    // the settings commands call it; without it they skip the dialog.
    std::function<void()> showGroupDialog;

    // Each returns true when the command did its work, false when it refused
    // (a message was shown) or the store could not be written.
    bool add();                // Command2_Click
    bool deleteGroup();        // Command3_Click
    bool moveUp();             // cmdNewsUp_Click
    bool moveDown();           // cmdNewsDown_Click
    bool openSettings();       // cmdStartNo_Click, ListView1_DblClick
    void select(int position); // ListView1_ItemClick

    // ListView1_AfterLabelEdit: the row at `position` was edited in place to
    // `text`. The row takes the text and GROUP/GROUPNAMEn stores it. Only a
    // finished edit reaches here; a cancelled one changes neither.
    bool rename(int position, const QString &text);
    // The same for the row SelectedGroup, where an edit begins.
    bool rename(const QString &text);

    static QString noDeleteSelectionMessage();
    static QString cannotMoveUpMessage();
    static QString cannotMoveDownMessage();
    static QString noSelectionMessage();
    static QString newGroupName();
    // Told when another program had changed the settings file: the table was
    // read again and the command not carried out.
    static QString reloadedMessage();
    // Reads the table again, telling the user, when another program changed
    // the file since this one last read it. Call it holding the lock.
    static bool reloaded(AppContext &ctx);
    // A name with a blank or a control character (GroupTable::validName).
    static QString invalidNameMessage();
    // What the user is told when the settings file refused a change.
    static QString storeErrorMessage(const SettingsStore &store);

private:
    struct Snapshot {
        std::vector<GroupTable::Row> rows;
        int selectedGroup;
    };

    bool validPosition(int position) const;
    Snapshot snapshot() const;
    void restore(const Snapshot &s);
    // Clears GROUP1..GROUPc and GROUP (when clearCount >= 0) and writes every
    // row, in one replace. On failure restores `before` and tells the user.
    bool rewriteStore(int clearCount, const Snapshot &before);
    bool move(int step);
    // Another process's run holds the settings file, or another program
    // changed it and the table was read again: tells so, true.
    bool refused(const SettingsEditLock &edit);

    AppContext &m_ctx;
};
