#pragma once

#include <QString>

#include <optional>
#include <span>

class SettingsStore;

// SAVE/SEIGEN, the run limit: "0" none, "1" until a time of day, "2" a number
// of files, "3" a total size. Unselected stands for any other stored text:
// no limit applies and the save options dialog selects no option.
enum class LimitKind { Unselected = -1, None = 0, Time = 1, Files = 2, Size = 3 };

// The program-wide running copy of every setting of sections SERVER, SAVE and
// REMOTE. The program reads these; a dialog that changes a setting writes both
// this copy and the store.
//
// The members hold the text as stored. The rules by which that text is read
// live here only: the TRUE/FALSE flags count as on for the exact text "TRUE"
// (and are stored as "TRUE" or "FALSE"), the limit kind is "0"-"3", and the
// per-group defaults are derived from the SAVE flags.
struct RunningSettings {
    // A name that never resolves: the activation check asks for a real one.
    static QString defaultServerName();
    // The save directory before the user has chosen one; it does not exist,
    // so the activation check asks for one.
    static QString defaultSaveDir();
    // SERVER/TIME before any catalogue fetch has stored one ("YYMMDD HHMMSS").
    static QString defaultSince();

    QString serverName;
    QString serverPort;
    QString saveDir;
    QString rewrite;
    QString userDir;
    QString dateDir;
    QString groupDir;
    QString log;
    QString seigen;
    QString seigenTime;
    QString seigenFile;
    QString seigenSize;
    QString address;
    QString interval;
    // Secure and authenticated servers.
    QString ssl;
    QString user;
    QString pass;
    QString modeReader;
    // A PEM file of authorities trusted besides the system's (a private
    // server with its own authority); empty for the system's only.
    QString caFile;
    // Seconds of silence from the server before a run or fetch gives up.
    QString timeout;
    // NEXT/ARTICLE pairs in flight during a run at most; 1 is one command at
    // a time.
    QString pipeline;

    // One stored key: its section, its name, the member holding its running
    // copy (nullptr for SERVER/TIME, which the catalogue reads itself) and its
    // default.
    struct Key {
        const char *section;
        const char *name;
        QString RunningSettings::*member;
        QString (*defaultValue)();
    };
    // Every key of SERVER, SAVE and REMOTE, in the order they are loaded.
    static std::span<const Key> keys();

    // Reads every setting with its default, in the order of keys().
    void load(const SettingsStore &store);

    // A TRUE/FALSE flag's text: on only for the exact text "TRUE".
    static bool flagOn(const QString &text) { return text == QLatin1String("TRUE"); }
    static QString flagText(bool on)
    {
        return on ? QStringLiteral("TRUE") : QStringLiteral("FALSE");
    }
    // A flag as typed (kaplo-cli config): "true" or "false" in any case,
    // blanks around it ignored; nullopt for anything else.
    static std::optional<bool> parseFlag(const QString &typed);
    static LimitKind limitKindOf(const QString &seigen);
    // "0"-"3"; empty for Unselected.
    static QString limitText(LimitKind kind);

    bool logOn() const { return flagOn(log); }
    bool tls() const { return flagOn(ssl); } // implicit TLS
    bool sendModeReader() const { return flagOn(modeReader); }
    bool groupDirOn() const { return flagOn(groupDir); }
    bool dateDirOn() const { return flagOn(dateDir); }
    bool userDirOn() const { return flagOn(userDir); }
    bool rewriteOn() const { return flagOn(rewrite); } // overwrite, not number
    LimitKind limitKind() const { return limitKindOf(seigen); }

    void setLog(bool on) { log = flagText(on); }
    void setTls(bool on) { ssl = flagText(on); }
    void setModeReader(bool on) { modeReader = flagText(on); }
    void setGroupDir(bool on) { groupDir = flagText(on); }
    void setDateDir(bool on) { dateDir = flagText(on); }
    void setUserDir(bool on) { userDir = flagText(on); }
    void setRewrite(bool on) { rewrite = flagText(on); }
    // Unselected leaves the stored text alone.
    void setLimitKind(LimitKind kind)
    {
        if (kind != LimitKind::Unselected)
            seigen = limitText(kind);
    }

    // The per-group defaults derived from the SAVE flags: "NO" when the flag
    // is exactly "FALSE", "YES" for any other text (the GroupTable flag texts).
    QString derivedDateDir() const;
    QString derivedUserDir() const;
    QString derivedRewrite() const;
};

// Section and key names of the store.
namespace Keys {
inline constexpr char Server[] = "SERVER";
inline constexpr char Save[] = "SAVE";
inline constexpr char Remote[] = "REMOTE";
inline constexpr char Group[] = "GROUP";
} // namespace Keys
