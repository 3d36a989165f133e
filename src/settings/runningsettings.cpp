#include "settings/runningsettings.h"

#include "settings/settingsstore.h"

#include <QDir>

QString RunningSettings::defaultServerName()
{
    return QStringLiteral("news.kaplo.invalid");
}

QString RunningSettings::defaultSaveDir()
{
#ifdef Q_OS_WIN
    return QStringLiteral("C:\\");
#else
    return QDir::homePath() + QStringLiteral("/KAPLO");
#endif
}

void RunningSettings::load(const SettingsStore &store)
{
    const QString server = QString::fromLatin1(Keys::Server);
    const QString save = QString::fromLatin1(Keys::Save);
    const QString remote = QString::fromLatin1(Keys::Remote);
    serverName = store.read(server, QStringLiteral("SERVERNAME"), defaultServerName());
    serverPort = store.read(server, QStringLiteral("SERVERPORT"), QStringLiteral("119"));
    saveDir = store.read(save, QStringLiteral("DIR"), defaultSaveDir());
    rewrite = store.read(save, QStringLiteral("REWRITE"), QStringLiteral("FALSE"));
    userDir = store.read(save, QStringLiteral("USERDIR"), QStringLiteral("FALSE"));
    dateDir = store.read(save, QStringLiteral("DATEDIR"), QStringLiteral("FALSE"));
    groupDir = store.read(save, QStringLiteral("GROUPDIR"), QStringLiteral("FALSE"));
    log = store.read(save, QStringLiteral("LOG"), QStringLiteral("FALSE"));
    seigen = store.read(save, QStringLiteral("SEIGEN"), QStringLiteral("0"));
    seigenTime = store.read(save, QStringLiteral("SEIGENTIME"), QStringLiteral("06:30"));
    seigenFile = store.read(save, QStringLiteral("SEIGENFILE"), QStringLiteral("500"));
    seigenSize = store.read(save, QStringLiteral("SEIGENSIZE"), QStringLiteral("50"));
    address = store.read(remote, QStringLiteral("ADDRESS"), QStringLiteral("なし"));
    interval = store.read(remote, QStringLiteral("INTERVAL"), QStringLiteral("5"));
    ssl = store.read(server, QStringLiteral("SSL"), QStringLiteral("FALSE"));
    user = store.read(server, QStringLiteral("USER"), QString());
    pass = store.read(server, QStringLiteral("PASS"), QString());
    modeReader = store.read(server, QStringLiteral("MODEREADER"), QStringLiteral("FALSE"));
    timeout = store.read(server, QStringLiteral("TIMEOUT"), QStringLiteral("120"));
    caFile = store.read(server, QStringLiteral("CAFILE"), QString());
    pipeline = store.read(server, QStringLiteral("PIPELINE"), QStringLiteral("64"));
}

static QString derived(const QString &flag)
{
    return flag == QLatin1String("FALSE") ? QStringLiteral("NO") : QStringLiteral("YES");
}

QString RunningSettings::derivedDateDir() const
{
    return derived(dateDir);
}

QString RunningSettings::derivedUserDir() const
{
    return derived(userDir);
}

QString RunningSettings::derivedRewrite() const
{
    return derived(rewrite);
}
