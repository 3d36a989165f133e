#include "options/serveroptions.h"

#include "settings/runningsettings.h"
#include "settings/settingsstore.h"

ServerOptions ServerOptions::fromRunning(const RunningSettings &running)
{
    return {running.serverName, running.serverPort};
}

bool ServerOptions::apply(RunningSettings &running, SettingsStore &store, QString *error) const
{
    const QString section = QString::fromLatin1(Keys::Server);
    SettingsBatch batch(store);
    store.write(section, QStringLiteral("SERVERNAME"), serverName);
    store.write(section, QStringLiteral("SERVERPORT"), serverPort);
    if (!batch.commit()) {
        if (error)
            *error = store.errorString();
        return false;
    }
    running.serverName = serverName;
    running.serverPort = serverPort;
    return true;
}
