#include "options/serveroptions.h"

#include "settings/runningsettings.h"
#include "settings/settingsstore.h"

#include <QFile>

namespace {

QString flag(bool on)
{
    return on ? QStringLiteral("TRUE") : QStringLiteral("FALSE");
}

} // namespace

ServerOptions ServerOptions::fromRunning(const RunningSettings &running)
{
    // The flags are on only for the exact text the connecting code obeys.
    return {running.serverName, running.serverPort, running.ssl == QLatin1String("TRUE"),
            running.user,       running.pass,       running.modeReader == QLatin1String("TRUE"),
            running.timeout,    running.caFile};
}

bool ServerOptions::validTimeout(const QString &text)
{
    const QString t = text.trimmed();
    if (t.isEmpty())
        return false;
    for (const QChar c : t) {
        if (c < u'0' || c > u'9')
            return false;
    }
    bool ok = false;
    const qint64 v = t.toLongLong(&ok);
    return ok && v >= 1;
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
    SettingsBatch batch(store);
    store.write(section, QStringLiteral("SERVERNAME"), serverName);
    store.write(section, QStringLiteral("SERVERPORT"), serverPort);
    store.write(section, QStringLiteral("SSL"), flag(ssl));
    store.write(section, QStringLiteral("USER"), user);
    store.write(section, QStringLiteral("PASS"), pass);
    store.write(section, QStringLiteral("MODEREADER"), flag(modeReader));
    store.write(section, QStringLiteral("TIMEOUT"), timeout.trimmed());
    store.write(section, QStringLiteral("CAFILE"), caFile.trimmed());
    if (!batch.commit()) {
        if (error)
            *error = store.errorString();
        return false;
    }
    running.serverName = serverName;
    running.serverPort = serverPort;
    running.ssl = flag(ssl);
    running.user = user;
    running.pass = pass;
    running.modeReader = flag(modeReader);
    running.timeout = timeout.trimmed();
    running.caFile = caFile.trimmed();
    return true;
}
