#include "options/settingsconfig.h"

#include "options/saveoptions.h"
#include "options/serveroptions.h"
#include "settings/runningsettings.h"
#include "settings/settingsstore.h"
#include "settings/textvalue.h"

#include <QDateTime>
#include <QDir>
#include <QFileInfo>
#include <QRegularExpression>

namespace SettingsConfig {

namespace {

using Known = RunningSettings::Key;

const Known *find(const QString &section, const QString &key)
{
    for (const Known &k : RunningSettings::keys()) {
        if (section == QLatin1String(k.section) && key == QLatin1String(k.name))
            return &k;
    }
    return nullptr;
}

bool is(const QString &section, const QString &key, const char *s, const char *k)
{
    return section == QLatin1String(s) && key == QLatin1String(k);
}

// "YYMMDD HHMMSS", a real date and time.
bool isCatalogueTime(const QString &v)
{
    static const QRegularExpression re(QStringLiteral("^\\d{6} \\d{6}$"));
    if (!re.match(v).hasMatch())
        return false;
    const QDate d(2000 + v.mid(0, 2).toInt(), v.mid(2, 2).toInt(), v.mid(4, 2).toInt());
    const QTime t(v.mid(7, 2).toInt(), v.mid(9, 2).toInt(), v.mid(11, 2).toInt());
    return d.isValid() && t.isValid();
}

// Readers count only the exact stored "on" text, so a flag is kept in one of
// its two stored forms or refused.
Checked flag(const QString &value)
{
    Checked out{value, std::nullopt};
    if (const std::optional<bool> on = RunningSettings::parseFlag(value))
        out.value = RunningSettings::flagText(*on);
    else
        out.refusal = QStringLiteral("TRUE か FALSE を指定してください");
    return out;
}

} // namespace

const QList<Key> &knownKeys()
{
    static const QList<Key> keys = [] {
        QList<Key> all;
        for (const Known &k : RunningSettings::keys())
            all.append({QString::fromLatin1(k.section), QString::fromLatin1(k.name)});
        return all;
    }();
    return keys;
}

bool isKnown(const QString &section, const QString &key)
{
    return find(section, key) != nullptr;
}

bool isSecret(const QString &section, const QString &key)
{
    return is(section, key, Keys::Server, "PASS");
}

QString currentValue(const SettingsStore &store, const QString &section, const QString &key)
{
    const Known *k = find(section, key);
    if (!k)
        return {};
    if (!k->member)
        return store.read(section, key, k->defaultValue());
    RunningSettings running;
    running.load(store);
    return running.*(k->member);
}

Checked check(const SettingsStore &store, const QString &section, const QString &key,
              const QString &value)
{
    Checked out{value, std::nullopt};
    if (section == QLatin1String(Keys::Save)) {
        RunningSettings running;
        running.load(store);
        SaveOptions dialog = SaveOptions::fromRunning(running);
        if (key == QLatin1String("DIR")) {
            // The directory list only ever holds an absolute directory.
            if (value.trimmed().isEmpty()) {
                out.refusal = QStringLiteral("保存ﾃﾞｨﾚｸﾄﾘが設定されていないか正しくありません");
                return out;
            }
            out.value =
                SaveOptions::storedDir(QDir::cleanPath(QFileInfo(value).absoluteFilePath()));
            return out;
        }
        if (key == QLatin1String("DATEDIR") || key == QLatin1String("USERDIR") ||
            key == QLatin1String("LOG") || key == QLatin1String("GROUPDIR") ||
            key == QLatin1String("REWRITE")) {
            return flag(value);
        }
        if (key == QLatin1String("SEIGEN")) {
            dialog.limit = SaveOptions::limitFromText(value);
            if (dialog.limit == SaveOptions::Limit::Unselected) {
                out.refusal = QStringLiteral(
                    "0(なし)、1(時間指定)、2(ﾌｧｲﾙ数)、3(ﾄｰﾀﾙﾌｧｲﾙｻｲｽﾞ)のいずれかを指定してください");
                return out;
            }
        } else if (key == QLatin1String("SEIGENTIME")) {
            dialog.seigenTime = value;
        } else if (key == QLatin1String("SEIGENFILE")) {
            dialog.seigenFile = value;
        } else if (key == QLatin1String("SEIGENSIZE")) {
            dialog.seigenSize = value;
        } else {
            return out;
        }
        out.refusal = dialog.validate();
        return out;
    }
    if (is(section, key, Keys::Remote, "INTERVAL")) {
        if (!TextValue::isNumeric(value))
            out.refusal = QStringLiteral("数字を入れてください");
        return out;
    }
    if (is(section, key, Keys::Server, "SSL") || is(section, key, Keys::Server, "MODEREADER")) {
        return flag(value);
    }
    if (is(section, key, Keys::Server, "USER") || is(section, key, Keys::Server, "PASS")) {
        // Sent on the AUTHINFO command line: a line end would end it.
        if (value.contains(QLatin1Char('\r')) || value.contains(QLatin1Char('\n')) ||
            value.contains(QChar(0)))
            out.refusal = QStringLiteral("改行を含めることはできません");
        return out;
    }
    if (is(section, key, Keys::Server, "TIMEOUT")) {
        // Seconds of silence from the server: a whole number, at least 1.
        if (!ServerOptions::validTimeout(value))
            out.refusal = ServerOptions::notNumberMessage();
        else
            out.value = value.trimmed();
        return out;
    }
    if (is(section, key, Keys::Server, "CAFILE")) {
        // A PEM file of certificates, or empty for the system's authorities only.
        if (!ServerOptions::validCaFile(value))
            out.refusal = ServerOptions::caFileMessage();
        else
            out.value = value.trimmed();
        return out;
    }
    if (is(section, key, Keys::Server, "PIPELINE")) {
        // Commands in flight: a whole number from 1 (one at a time) to 64.
        bool ok = false;
        const int n = value.trimmed().toInt(&ok);
        if (!ok || n < 1 || n > 64)
            out.refusal = ServerOptions::notNumberMessage();
        else
            out.value = QString::number(n);
        return out;
    }
    if (is(section, key, Keys::Server, "TIME")) {
        // Sent to the server as the NEWGROUPS date and time.
        if (!isCatalogueTime(value))
            out.refusal = QStringLiteral("TIMEの形式はYYMMDD HHMMSSです。");
        return out;
    }
    return out;
}

} // namespace SettingsConfig
