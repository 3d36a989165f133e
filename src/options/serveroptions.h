#pragma once

#include <QString>

#include <optional>

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
    QString timeout{};       // SERVER/TIMEOUT: seconds of silence, a whole number >= 1

    static ServerOptions fromRunning(const RunningSettings &running);

    // Whether a timeout text is a whole number of at least 1 second.
    static bool validTimeout(const QString &text);
    static QString notNumberMessage(); // "数字を入れてください"
    // The message when a field is refused (the timeout), else nothing.
    std::optional<QString> validate() const;

    // Stores SERVERNAME, SERVERPORT, SSL, USER, PASS, MODEREADER and TIMEOUT in one
    // replace of the settings file. The running copy takes the values only
    // when they reached the disk; on a failed write nothing changes and
    // *error (if given) says why.
    bool apply(RunningSettings &running, SettingsStore &store, QString *error = nullptr) const;
};
