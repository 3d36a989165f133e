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

QString RunningSettings::defaultSince()
{
    return QStringLiteral("450815 120000");
}

namespace {

template <const char *Text> QString fixed()
{
    return QString::fromUtf8(Text);
}

constexpr char kPort[] = "119";
constexpr char kFalse[] = "FALSE";
constexpr char kZero[] = "0";
constexpr char kSeigenTime[] = "06:30";
constexpr char kSeigenFile[] = "500";
constexpr char kSeigenSize[] = "50";
constexpr char kAddress[] = "なし";
constexpr char kInterval[] = "5";
constexpr char kTimeout[] = "120";
constexpr char kPipeline[] = "64";
QString none()
{
    return {};
}

using S = RunningSettings;

// The order is that of `kaplo-cli config list`.
const S::Key kKeys[] = {
    {Keys::Server, "SERVERNAME", &S::serverName, &S::defaultServerName},
    {Keys::Server, "SERVERPORT", &S::serverPort, &fixed<kPort>},
    {Keys::Server, "SSL", &S::ssl, &fixed<kFalse>},
    {Keys::Server, "USER", &S::user, &none},
    {Keys::Server, "PASS", &S::pass, &none},
    {Keys::Server, "MODEREADER", &S::modeReader, &fixed<kFalse>},
    {Keys::Server, "TIMEOUT", &S::timeout, &fixed<kTimeout>},
    {Keys::Server, "CAFILE", &S::caFile, &none},
    {Keys::Server, "PIPELINE", &S::pipeline, &fixed<kPipeline>},
    {Keys::Server, "TIME", nullptr, &S::defaultSince},
    {Keys::Save, "DIR", &S::saveDir, &S::defaultSaveDir},
    {Keys::Save, "REWRITE", &S::rewrite, &fixed<kFalse>},
    {Keys::Save, "USERDIR", &S::userDir, &fixed<kFalse>},
    {Keys::Save, "DATEDIR", &S::dateDir, &fixed<kFalse>},
    {Keys::Save, "GROUPDIR", &S::groupDir, &fixed<kFalse>},
    {Keys::Save, "LOG", &S::log, &fixed<kFalse>},
    {Keys::Save, "SEIGEN", &S::seigen, &fixed<kZero>},
    {Keys::Save, "SEIGENTIME", &S::seigenTime, &fixed<kSeigenTime>},
    {Keys::Save, "SEIGENFILE", &S::seigenFile, &fixed<kSeigenFile>},
    {Keys::Save, "SEIGENSIZE", &S::seigenSize, &fixed<kSeigenSize>},
    {Keys::Remote, "ADDRESS", &S::address, &fixed<kAddress>},
    {Keys::Remote, "INTERVAL", &S::interval, &fixed<kInterval>},
};

} // namespace

std::span<const RunningSettings::Key> RunningSettings::keys()
{
    return kKeys;
}

void RunningSettings::load(const SettingsStore &store)
{
    for (const Key &k : kKeys) {
        if (k.member)
            this->*(k.member) = store.read(QString::fromLatin1(k.section),
                                           QString::fromLatin1(k.name), k.defaultValue());
    }
}

std::optional<bool> RunningSettings::parseFlag(const QString &typed)
{
    const QString t = typed.trimmed();
    if (t.compare(flagText(true), Qt::CaseInsensitive) == 0)
        return true;
    if (t.compare(flagText(false), Qt::CaseInsensitive) == 0)
        return false;
    return std::nullopt;
}

LimitKind RunningSettings::limitKindOf(const QString &seigen)
{
    if (seigen == QLatin1String("0"))
        return LimitKind::None;
    if (seigen == QLatin1String("1"))
        return LimitKind::Time;
    if (seigen == QLatin1String("2"))
        return LimitKind::Files;
    if (seigen == QLatin1String("3"))
        return LimitKind::Size;
    return LimitKind::Unselected;
}

QString RunningSettings::limitText(LimitKind kind)
{
    if (kind == LimitKind::Unselected)
        return {};
    return QString::number(static_cast<int>(kind));
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
