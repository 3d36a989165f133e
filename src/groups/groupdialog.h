#pragma once

#include "settings/grouptable.h"

#include <QString>

struct AppContext;
class Prompter;

// What the group settings dialog (Form2) decides, on plain values: which
// controls a row fills and what OK writes back. The window only maps its
// controls to Values.
class GroupDialog final {
public:
    // The dialog's controls. A check box counts only when it is ticked (an
    // indeterminate box is false).
    struct Values {
        QString name;           // txtName
        QString last;           // Text1, the next fetch number
        bool download = true;   // Check4
        bool subject = false;   // Check1
        bool dateDir = false;   // Check2
        bool userDir = false;   // Check3
        bool overwrite = false; // Option1; false selects Option2 (numbering)
    };

    // Form_Load: the controls for a row.
    static Values fromRow(const GroupTable::Row &row);
    // The controls for row SelectedGroup (the dialog is only shown for a
    // valid one).
    static Values load(const AppContext &ctx);

    // The tests of OK: a valid group name (GroupTable::validName), and a
    // fetch number that is empty or a whole number from 0 to 2^63-1. Shows
    // the message and returns false otherwise.
    static bool validate(const Values &v, Prompter &prompter);

    // cmdOK_Click without closing: validates, then writes the name, LAST,
    // SUBJECT, DATEDIR, USERDIR, DOWNLOAD and REWRITE of row SelectedGroup
    // into the row and the store (one replace). false when refused or when the
    // store could not be written (the row is left as it was and the user is
    // told); the dialog then stays open.
    static bool accept(AppContext &ctx, const Values &v);

    static QString invalidNumberMessage();
};
