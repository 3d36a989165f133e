#pragma once

#include <QString>

class SettingsStore;

// The program-wide running copy of every setting of sections SERVER, SAVE and
// REMOTE. The program reads these; a dialog that changes a setting writes both
// this copy and the store.
struct RunningSettings {
    // A name that never resolves: the activation check asks for a real one.
    static QString defaultServerName();
    // The save directory before the user has chosen one; it does not exist,
    // so the activation check asks for one.
    static QString defaultSaveDir();

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

    // Reads every setting with its default, in start-up order.
    void load(const SettingsStore &store);

    // The per-group defaults derived from the SAVE flags: "NO" when the flag
    // is exactly "FALSE", "YES" for any other text.
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
