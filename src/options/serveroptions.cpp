#include "options/serveroptions.h"

#include "settings/runningsettings.h"
#include "settings/settingsstore.h"
#include "settings/textvalue.h"

#include <QFile>

ServerOptions ServerOptions::fromRunning(const RunningSettings &running)
{
    return {running.serverName, running.serverPort,       running.tls(),   running.user,
            running.pass,       running.sendModeReader(), running.timeout, running.caFile};
}

bool ServerOptions::validTimeout(const QString &text)
{
    const std::optional<qint64> v = TextValue::digitsNumber(text.trimmed());
    return v && *v >= 1;
}

QString ServerOptions::notNumberMessage()
{
    return QStringLiteral("数字を入れてください");
}

bool ServerOptions::validCaFile(const QString &text)
{
    const QString path = text.trimmed();
    if (path.isEmpty())
        return true;
    QFile f(path);
    if (!f.open(QIODevice::ReadOnly))
        return false;
    // A certificate file of reasonable size with at least one PEM certificate.
    const QByteArray head = f.read(1024 * 1024);
    return head.contains("-----BEGIN CERTIFICATE-----");
}

QString ServerOptions::caFileMessage()
{
    return QStringLiteral("証明書ファイル(PEM)を読めません");
}

std::optional<QString> ServerOptions::validate() const
{
    if (!validTimeout(timeout))
        return notNumberMessage();
    if (!validCaFile(caFile))
        return caFileMessage();
    return std::nullopt;
}

bool ServerOptions::apply(RunningSettings &running, SettingsStore &store, QString *error) const
{
    const QString section = QString::fromLatin1(Keys::Server);
    RunningSettings next = running;
    next.serverName = serverName;
    next.serverPort = serverPort;
    next.setTls(ssl);
    next.user = user;
    next.pass = pass;
    next.setModeReader(modeReader);
    next.timeout = timeout.trimmed();
    next.caFile = caFile.trimmed();
    SettingsBatch batch(store);
    store.write(section, QStringLiteral("SERVERNAME"), next.serverName);
    store.write(section, QStringLiteral("SERVERPORT"), next.serverPort);
    store.write(section, QStringLiteral("SSL"), next.ssl);
    store.write(section, QStringLiteral("USER"), next.user);
    store.write(section, QStringLiteral("PASS"), next.pass);
    store.write(section, QStringLiteral("MODEREADER"), next.modeReader);
    store.write(section, QStringLiteral("TIMEOUT"), next.timeout);
    store.write(section, QStringLiteral("CAFILE"), next.caFile);
    if (!batch.commit()) {
        if (error)
            *error = store.errorString();
        return false;
    }
    running = next;
    return true;
}
