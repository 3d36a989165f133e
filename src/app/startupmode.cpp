#include "app/startupmode.h"

StartupMode StartupMode::fromCommandLine(const QString &commandLine)
{
    StartupMode m;
    if (commandLine == QLatin1String("DEBUG DOWNLOAD")) {
        m.logPrompt = true;
        m.autoStart = true;
    } else if (commandLine == QLatin1String("DEBUG")) {
        m.logPrompt = true;
    } else if (commandLine == QLatin1String("DOWNLOAD")) {
        m.autoStart = true;
    }
    return m;
}
