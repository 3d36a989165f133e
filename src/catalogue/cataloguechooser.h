#pragma once

#include "catalogue/namelistmodel.h"

#include <QDateTime>

#include <functional>
#include <optional>

class Prompter;
class SettingsStore;
struct CatalogueSession;
struct RunningSettings;

// The catalogue window's lists, its catalogue file and the choice of a name,
// without the widgets: the window shows List1 and List2 and forwards clicks.
// One is made for each opening of the window; what outlives the opening is
// in the CatalogueSession.
class CatalogueChooser final {
public:
    CatalogueChooser(CatalogueSession &session, SettingsStore &store,
                     const RunningSettings &settings, Prompter &prompter);

    static QString noSelectionMessage(); // "ﾆｭｰｽｸﾞﾙｰﾌﾟが選択されていません"
    // The since-value of a moment: local "YYMMDD HHMMSS".
    static QString sinceValueOf(const QDateTime &localTime);

    NameListModel &list1() { return m_list1; } // the whole catalogue
    NameListModel &list2() { return m_list2; } // names of the last new-groups fetch

    // Shows or hides the busy pointer (the window sets it); always called in
    // pairs.
    std::function<void(bool busy)> setBusy;
    // The current local time; tests replace it.
    std::function<QDateTime()> now = [] { return QDateTime::currentDateTime(); };

    QString path() const;

    // The window opens: the since-value from TIME, List1 from the file,
    // List2 empty. A file that cannot be read is reported and the list stays
    // empty; false then.
    bool Form_Load();
    // A listing has ended: List1 is written to the file and, when that
    // worked, the fetch time is stored in TIME. A failed write is reported
    // and leaves the old file and TIME as they were; false then.
    bool SaveGroups();
    // A click in a list: the entry at that row becomes the chosen name.
    void List1_Click(int row);
    void List2_Click(int row);
    // The name to hand back, or nullopt when none is chosen (told so; the
    // window stays open). Either way the since-value moves to now.
    std::optional<QString> cmdOK_Click();

    // A received name: into List1, and into List2 for a new-groups fetch.
    // Shown at flush().
    void addName(const QString &name, bool newOnly);
    void flush();

private:
    class BusyPointer;

    CatalogueSession &m_session;
    SettingsStore &m_store;
    const RunningSettings &m_settings;
    Prompter &m_prompter;
    NameListModel m_list1;
    NameListModel m_list2;
};
