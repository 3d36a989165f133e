#pragma once

#include <QString>

class SettingsStore;
struct RunningSettings;

// What the news server dialog edits, as plain values: loaded from the running
// copy, stored back as typed. Nothing here is validated; the connecting code
// reads the port by its leading number (TextValue::portNumber).
struct ServerOptions {
    QString serverName;      // SERVER/SERVERNAME
    QString serverPort;      // SERVER/SERVERPORT
    bool ssl = false;        // SERVER/SSL "TRUE" / "FALSE": implicit TLS
    QString user{};          // SERVER/USER; empty: no authentication
    QString pass{};          // SERVER/PASS
    bool modeReader = false; // SERVER/MODEREADER "TRUE" / "FALSE"

    static ServerOptions fromRunning(const RunningSettings &running);

    // Stores SERVERNAME, SERVERPORT, SSL, USER, PASS and MODEREADER in one
    // replace of the settings file. The running copy takes the values only
    // when they reached the disk; on a failed write nothing changes and
    // *error (if given) says why.
    bool apply(RunningSettings &running, SettingsStore &store, QString *error = nullptr) const;
};
