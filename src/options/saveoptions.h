#pragma once

#include "settings/runningsettings.h"

#include <QString>

#include <optional>

class SettingsStore;

// What the save options dialog edits, as plain values: the save directory,
// the directory and log flags, the duplicate-name choice and the run limit.
struct SaveOptions {
    // SAVE/SEIGEN: the limit option selected in the dialog. Unselected stands
    // for a stored value other than "0"-"3": no option shows, and OK leaves the
    // stored value alone.
    using Limit = LimitKind;

    QString dir; // the directory opened in the directory list
    bool dateDir = false;
    bool userDir = false;
    bool log = false;
    bool groupDir = false;
    bool rewrite = false; // true: overwrite, false: number the name
    Limit limit = Limit::Unselected;
    QString seigenTime; // as typed, "HH:MM"
    QString seigenFile; // as typed, a number of files
    QString seigenSize; // as typed, megabytes

    // Flags are ticked only when they are on (RunningSettings::flagOn).
    static SaveOptions fromRunning(const RunningSettings &running);

    static Limit limitFromText(const QString &seigen)
    {
        return RunningSettings::limitKindOf(seigen);
    }
    // "0"-"3"; empty for Unselected.
    static QString limitText(Limit limit) { return RunningSettings::limitText(limit); }

    // The save directory as stored: a drive root loses its trailing separator
    // ("C:\" -> "C:") so that directory + separator + name stays well formed.
    // The Linux root "/" has no shorter form and is kept: "/" + "/" + name is
    // still a valid path, an empty directory would not be.
    static QString storedDir(const QString &dir);

    // The message for the text of one limit box when that limit is the
    // selected one; nullopt when the text is acceptable. Limits without a box
    // (None, Unselected) accept anything.
    static std::optional<QString> checkLimitText(Limit limit, const QString &text);

    // The first message that applies to the selected limit; the boxes of the
    // other limits are not looked at.
    std::optional<QString> validate() const;

    // Stores DIR; DATEDIR, USERDIR, LOG, GROUPDIR; REWRITE; SEIGEN (unless no
    // limit is selected); SEIGENTIME, SEIGENFILE, SEIGENSIZE as typed, all in
    // one replace of the settings file. The running copy takes the values only
    // when they reached the disk; otherwise nothing changes and *error says
    // why. Call validate() first.
    bool apply(RunningSettings &running, SettingsStore &store, QString *error = nullptr) const;
};
