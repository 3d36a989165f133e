#include "options/saveoptions.h"

#include "settings/runningsettings.h"
#include "settings/settingsstore.h"
#include "settings/textvalue.h"

#include <QDir>

SaveOptions SaveOptions::fromRunning(const RunningSettings &running)
{
    const auto ticked = [](const QString &flag) { return flag == QLatin1String("TRUE"); };
    SaveOptions o;
    o.dir = running.saveDir;
    o.dateDir = ticked(running.dateDir);
    o.userDir = ticked(running.userDir);
    o.log = ticked(running.log);
    o.groupDir = ticked(running.groupDir);
    o.rewrite = ticked(running.rewrite);
    o.limit = limitFromText(running.seigen);
    o.seigenTime = running.seigenTime;
    o.seigenFile = running.seigenFile;
    o.seigenSize = running.seigenSize;
    return o;
}

SaveOptions::Limit SaveOptions::limitFromText(const QString &seigen)
{
    if (seigen == QLatin1String("0"))
        return Limit::None;
    if (seigen == QLatin1String("1"))
        return Limit::Time;
    if (seigen == QLatin1String("2"))
        return Limit::Files;
    if (seigen == QLatin1String("3"))
        return Limit::Size;
    return Limit::Unselected;
}

QString SaveOptions::limitText(Limit limit)
{
    if (limit == Limit::Unselected)
        return {};
    return QString::number(static_cast<int>(limit));
}

QString SaveOptions::storedDir(const QString &dir)
{
    QString d = QDir::toNativeSeparators(dir);
    if (d.size() > 1 && d.endsWith(QDir::separator()))
        d.chop(1);
    return d;
}

std::optional<QString> SaveOptions::checkLimitText(Limit limit, const QString &text)
{
    switch (limit) {
    case Limit::Time:
        if (text.isEmpty())
            return QStringLiteral("時間を設定してください");
        if (!TextValue::isDateOrTime(text))
            return QStringLiteral("時間の形式はHH:MMです。");
        return std::nullopt;
    case Limit::Files:
        if (text.isEmpty())
            return QStringLiteral("ﾌｧｲﾙの数を入れてください");
        if (!TextValue::isNumeric(text))
            return QStringLiteral("ﾌｧｲﾙの数には数値を入力してください");
        return std::nullopt;
    case Limit::Size:
        if (text.isEmpty())
            return QStringLiteral("ﾌｧｲﾙｻｲｽﾞを入れてください");
        if (!TextValue::isNumeric(text))
            return QStringLiteral("ﾌｧｲﾙｻｲｽﾞには数値を入力してください");
        return std::nullopt;
    case Limit::None:
    case Limit::Unselected:
        break;
    }
    return std::nullopt;
}

std::optional<QString> SaveOptions::validate() const
{
    switch (limit) {
    case Limit::Time:
        return checkLimitText(limit, seigenTime);
    case Limit::Files:
        return checkLimitText(limit, seigenFile);
    case Limit::Size:
        return checkLimitText(limit, seigenSize);
    case Limit::None:
    case Limit::Unselected:
        break;
    }
    return std::nullopt;
}

bool SaveOptions::apply(RunningSettings &running, SettingsStore &store, QString *error) const
{
    const QString section = QString::fromLatin1(Keys::Save);
    const QString storedDirText = storedDir(dir);
    const QString seigen = limitText(limit);
    SettingsBatch batch(store);
    const auto put = [&](const char *key, const QString &value) {
        store.write(section, QString::fromLatin1(key), value);
    };
    put("DIR", storedDirText);
    put("DATEDIR", flagText(dateDir));
    put("USERDIR", flagText(userDir));
    put("LOG", flagText(log));
    put("GROUPDIR", flagText(groupDir));
    put("REWRITE", flagText(rewrite));
    if (limit != Limit::Unselected)
        put("SEIGEN", seigen);
    put("SEIGENTIME", seigenTime);
    put("SEIGENFILE", seigenFile);
    put("SEIGENSIZE", seigenSize);
    if (!batch.commit()) {
        if (error)
            *error = store.errorString();
        return false;
    }
    running.saveDir = storedDirText;
    running.dateDir = flagText(dateDir);
    running.userDir = flagText(userDir);
    running.log = flagText(log);
    running.groupDir = flagText(groupDir);
    running.rewrite = flagText(rewrite);
    if (limit != Limit::Unselected)
        running.seigen = seigen;
    running.seigenTime = seigenTime;
    running.seigenFile = seigenFile;
    running.seigenSize = seigenSize;
    return true;
}
