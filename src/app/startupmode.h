#pragma once

#include <QString>

// What the command-line argument text asks for. The text is compared whole,
// exactly and case-sensitively, with no trimming.
struct StartupMode {
    bool logPrompt = false; // "DEBUG DOWNLOAD", "DEBUG": ask "LOG=L"
    bool autoStart = false; // "DEBUG DOWNLOAD", "DOWNLOAD": start a run on activation

    static StartupMode fromCommandLine(const QString &commandLine);
};
