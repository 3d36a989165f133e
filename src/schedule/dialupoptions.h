#pragma once

#include <QString>
#include <QStringList>

class DialUp;
class Prompter;
class SettingsStore;
struct RunningSettings;

// What the connection dialog (frmOptions2) decides, without its widgets:
// the dial-up entry REMOTE/ADDRESS and the watch interval REMOTE/INTERVAL.
class DialUpOptions final {
public:
    DialUpOptions(RunningSettings &settings, SettingsStore &store, Prompter &prompter);

    // What the dialog shows when it opens.
    struct Form {
        QStringList items; // Combo1's list: "なし", then the system's entries
        QString combo1;    // Combo1's text: the running entry, listed or not
        QString text1;     // Text1: the running watch interval
    };
    Form Form_Load(DialUp &dialUp) const;

    // OK: a watch interval that is not numeric is refused with "数字を入れて
    // ください". Otherwise both texts are stored as typed, in one write of the
    // settings file, and the running copy takes them. A failed write is shown
    // and changes nothing. Returns whether the dialog may close.
    bool cmdOK_Click(const QString &combo1, const QString &text1);

    static QString notNumberMessage(); // "数字を入れてください"

private:
    RunningSettings &m_settings;
    SettingsStore &m_store;
    Prompter &m_prompter;
};
