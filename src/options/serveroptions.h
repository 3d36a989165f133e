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
    bool ssl = false;        // SERVER/SSL: implicit TLS
    QString user{};          // SERVER/USER; empty: no authentication
    QString pass{};          // SERVER/PASS
    bool modeReader = false; // SERVER/MODEREADER
    QString timeout{};       // SERVER/TIMEOUT: seconds of silence, a whole number >= 1
    QString caFile{};        // SERVER/CAFILE: PEM authorities besides the system's, or empty

    static ServerOptions fromRunning(const RunningSettings &running);

    // Whether a timeout text is a whole number of at least 1 second.
    static bool validTimeout(const QString &text);
    static QString notNumberMessage(); // "数字を入れてください"
    // Whether a CA file text is empty or names a readable PEM certificate file.
    static bool validCaFile(const QString &text);
    static QString caFileMessage(); // "証明書ファイル(PEM)を読めません"
    // The message when a field is refused (the timeout, the CA file), else nothing.
    std::optional<QString> validate() const;

    // Stores SERVERNAME, SERVERPORT, SSL, USER, PASS, MODEREADER, TIMEOUT and CAFILE in one
    // replace of the settings file. The running copy takes the values only
    // when they reached the disk; on a failed write nothing changes and
    // *error (if given) says why.
    bool apply(RunningSettings &running, SettingsStore &store, QString *error = nullptr) const;
};
