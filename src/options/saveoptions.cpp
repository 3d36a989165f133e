#include "options/saveoptions.h"

#include "settings/runningsettings.h"
#include "settings/settingsstore.h"
#include "settings/textvalue.h"

#include <QDir>

SaveOptions SaveOptions::fromRunning(const RunningSettings &running)
{
    SaveOptions o;
    o.dir = running.saveDir;
    o.dateDir = running.dateDirOn();
    o.userDir = running.userDirOn();
    o.log = running.logOn();
    o.groupDir = running.groupDirOn();
    o.rewrite = running.rewriteOn();
    o.limit = running.limitKind();
    o.seigenTime = running.seigenTime;
    o.seigenFile = running.seigenFile;
    o.seigenSize = running.seigenSize;
    return o;
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
    RunningSettings next = running;
    next.saveDir = storedDirText;
    next.setDateDir(dateDir);
    next.setUserDir(userDir);
    next.setLog(log);
    next.setGroupDir(groupDir);
    next.setRewrite(rewrite);
    next.setLimitKind(limit);
    next.seigenTime = seigenTime;
    next.seigenFile = seigenFile;
    next.seigenSize = seigenSize;
    SettingsBatch batch(store);
    const auto put = [&](const char *key, const QString &value) {
        store.write(section, QString::fromLatin1(key), value);
    };
    put("DIR", next.saveDir);
    put("DATEDIR", next.dateDir);
    put("USERDIR", next.userDir);
    put("LOG", next.log);
    put("GROUPDIR", next.groupDir);
    put("REWRITE", next.rewrite);
    if (limit != Limit::Unselected)
        put("SEIGEN", next.seigen);
    put("SEIGENTIME", next.seigenTime);
    put("SEIGENFILE", next.seigenFile);
    put("SEIGENSIZE", next.seigenSize);
    if (!batch.commit()) {
        if (error)
            *error = store.errorString();
        return false;
    }
    running = next;
    return true;
}
