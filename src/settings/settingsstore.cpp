#include "settings/settingsstore.h"

#include <QDir>
#include <QEvent>
#include <QFile>
#include <QFileInfo>
#include <QSettings>
#include <QStandardPaths>
#include <QStringDecoder>
#include <QStringList>
#include <QTemporaryFile>

namespace {

// QSettings writes its file by itself from the event loop after every change.
// The store decides when the disk is written (each write, or the end of a
// batch, or writeSoon's delay), so those requests are dropped.
class NoAutoSync final : public QObject {
public:
    bool eventFilter(QObject *, QEvent *event) override
    {
        return event->type() == QEvent::UpdateRequest;
    }
};

QObject *noAutoSync()
{
    static NoAutoSync filter;
    return &filter;
}

QString keyPath(const QString &section, const QString &key)
{
    return section + QLatin1Char('/') + key;
}

// The settings file may hold a news server password: owner only.
constexpr QFileDevice::Permissions kOwnerOnly = QFileDevice::ReadOwner | QFileDevice::WriteOwner;
constexpr QFileDevice::Permissions kOthers = QFileDevice::ReadGroup | QFileDevice::WriteGroup |
                                             QFileDevice::ExeGroup | QFileDevice::ReadOther |
                                             QFileDevice::WriteOther | QFileDevice::ExeOther;

} // namespace

QString SettingsStore::defaultPath()
{
    const QString env = qEnvironmentVariable("KAPLO_SETTINGS");
    if (!env.isEmpty())
        return env;
#ifdef Q_OS_WIN
    return QStringLiteral("HKEY_CURRENT_USER\\Software\\VB and VBA Program Settings\\KAPLO");
#else
    QString base = qEnvironmentVariable("XDG_CONFIG_HOME");
    if (base.isEmpty())
        base = QDir::homePath() + QStringLiteral("/.config");
    return base + QStringLiteral("/KAPLO/KAPLO.ini");
#endif
}

QString SettingsStore::unreadableReason(const QString &path)
{
#ifdef Q_OS_WIN
    if (path.startsWith(QLatin1String("HKEY_")))
        return {};
#endif
    const QFileInfo info(path);
    if (!info.exists())
        return {};
    if (info.isDir())
        return QStringLiteral("フォルダーです");
    QFile f(path);
    if (!f.open(QIODevice::ReadOnly)) {
        return f.error() == QFileDevice::OpenError && !info.isReadable()
                   ? QStringLiteral("読み取りが許可されていません")
                   : f.errorString();
    }
    const QByteArray bytes = f.readAll();
    if (f.error() != QFileDevice::NoError)
        return f.errorString();
    for (const char c : bytes) {
        const auto u = static_cast<unsigned char>(c);
        if ((u < 0x20 && u != '\t' && u != '\r' && u != '\n') || u == 0x7f)
            return QStringLiteral("テキストではありません");
    }
    QStringDecoder utf8(QStringDecoder::Utf8);
    (void)QString(utf8.decode(bytes));
    if (utf8.hasError())
        return QStringLiteral("UTF-8 ではありません");
    // QSettings reads junk without complaint and would later write only what
    // it understood, so its verdict is taken on a copy: a QSettings on the
    // file itself would share, and write out, this program's pending changes.
    // The copy holds the password: owner only, beside the file when possible.
    QTemporaryFile copy(info.absolutePath() + QStringLiteral("/.kaplo-check-XXXXXX"));
    if (!copy.open()) {
        copy.setFileTemplate(QDir::tempPath() + QStringLiteral("/kaplo-check-XXXXXX"));
        if (!copy.open())
            return {};
    }
    // Named before it is closed: an unnamed temporary file would be gone.
    const QString copyName = copy.fileName();
    copy.write(bytes);
    copy.close();
    QSettings probe(copyName, QSettings::IniFormat);
    (void)probe.allKeys(); // the file is read at the first look, not before
    if (probe.status() != QSettings::NoError)
        return QStringLiteral("INI 形式として読めません");
    return {};
}

SettingsStore::SettingsStore(const QString &path) : m_path(path)
{
#ifdef Q_OS_WIN
    if (path.startsWith(QLatin1String("HKEY_")))
        m_settingsFormat = QSettings::NativeFormat;
#endif
    const QString why = unreadableReason(path);
    if (!why.isEmpty())
        m_unreadable = QStringLiteral("設定ファイルを読めません: %1 (%2)").arg(path, why);
    m_settings = std::make_unique<QSettings>(path, m_settingsFormat);
    m_settings->installEventFilter(noAutoSync());
    noteFileState();
}

SettingsStore::~SettingsStore()
{
    flush();
    // QSettings writes what it still holds when it is destroyed; over a file
    // that could not be read nothing may be written.
    // It is kept, never destroyed, until the process ends (reachable, so no
    // leak to a checker either).
    if (!m_unreadable.isEmpty()) {
        static auto *const neverDestroyed = new std::vector<QSettings *>;
        neverDestroyed->push_back(m_settings.release());
    }
}

void SettingsStore::noteFileState()
{
    const QFileInfo info(m_path);
    m_fileSize = info.exists() ? info.size() : -1;
    m_fileTime = info.exists() ? info.lastModified() : QDateTime();
}

bool SettingsStore::fileStateChanged() const
{
    const QFileInfo info(m_path);
    return (info.exists() ? info.size() : -1) != m_fileSize ||
           (info.exists() ? info.lastModified() : QDateTime()) != m_fileTime;
}

bool SettingsStore::changedOnDisk() const
{
    return m_outsideChange || fileStateChanged();
}

bool SettingsStore::reload()
{
    if (!flush() || refuseUnreadable())
        return false;
    // Nothing of ours is waiting: QSettings only reads.
    m_settings->sync();
    noteFileState();
    m_outsideChange = false;
    return true;
}

bool SettingsStore::refuseUnreadable()
{
    if (m_unreadable.isEmpty()) {
        // Someone else changed the file since it was read: QSettings would
        // merge it in, or write over it when it cannot read it.
        if (!fileStateChanged())
            return false;
        m_outsideChange = true;
        const QString why = unreadableReason(m_path);
        if (why.isEmpty())
            return false;
        m_unreadable = QStringLiteral("設定ファイルを読めません: %1 (%2)").arg(m_path, why);
    }
    m_error = m_unreadable;
    return true;
}

QString SettingsStore::read(const QString &section, const QString &key, const QString &def) const
{
    const QVariant v = m_settings->value(keyPath(section, key));
    if (!v.isValid())
        return def;
    // A hand-edited value holding an unquoted comma comes back as a list.
    if (v.typeId() == QMetaType::QStringList)
        return v.toStringList().join(QLatin1String(", "));
    return v.toString();
}

bool SettingsStore::contains(const QString &section, const QString &key) const
{
    return m_settings->contains(keyPath(section, key));
}

bool SettingsStore::write(const QString &section, const QString &key, const QString &value)
{
    if (refuseUnreadable())
        return false;
    const QString path = keyPath(section, key);
    remember(path);
    m_settings->setValue(path, value);
    return sync();
}

bool SettingsStore::writeSoon(const QString &section, const QString &key, const QString &value,
                              int maxDelayMs)
{
    if (refuseUnreadable())
        return false;
    const QString path = keyPath(section, key);
    remember(path);
    m_settings->setValue(path, value);
    m_waiting = true;
    if (m_batchDepth > 0 || (m_lastWrite.isValid() && m_lastWrite.elapsed() < maxDelayMs))
        return true;
    return sync();
}

bool SettingsStore::flush()
{
    return m_waiting ? sync() : true;
}

bool SettingsStore::deleteSection(const QString &section)
{
    if (refuseUnreadable())
        return false;
    if (m_settings->childGroups().contains(section)) {
        m_settings->beginGroup(section);
        const QStringList keys = m_settings->allKeys();
        m_settings->endGroup();
        for (const QString &k : keys)
            remember(section + QLatin1Char('/') + k);
        m_settings->remove(section);
    }
    return sync();
}

void SettingsStore::beginBatch()
{
    ++m_batchDepth;
}

bool SettingsStore::commitBatch()
{
    if (m_batchDepth == 0)
        return true;
    if (--m_batchDepth > 0)
        return true;
    return sync();
}

void SettingsStore::remember(const QString &keyPath)
{
    for (const Undo &u : m_undo) {
        if (u.keyPath == keyPath)
            return;
    }
    m_undo.push_back({keyPath, m_settings->value(keyPath)});
}

void SettingsStore::undoChanges()
{
    for (auto it = m_undo.rbegin(); it != m_undo.rend(); ++it) {
        if (it->old.isValid())
            m_settings->setValue(it->keyPath, it->old);
        else
            m_settings->remove(it->keyPath);
    }
    m_undo.clear();
}

void SettingsStore::revert()
{
    undoChanges();
    // QSettings keeps the first error it met for good: start afresh.
    m_settings->sync();
    m_settings.reset();
    m_settings = std::make_unique<QSettings>(m_path, m_settingsFormat);
    m_settings->installEventFilter(noAutoSync());
    // Read afresh: the file as it is now is what this store holds.
    noteFileState();
}

bool SettingsStore::sync()
{
    if (m_batchDepth > 0)
        return true;
    m_waiting = false;
    m_lastWrite.start();
    if (refuseUnreadable()) {
        // The changes are dropped from memory only: any sync would write.
        undoChanges();
        return false;
    }
    const bool ok = writeOut();
    if (ok) {
        m_undo.clear();
        noteFileState();
    } else {
        revert();
    }
    return ok;
}

bool SettingsStore::writeOut()
{
    if (m_failWrites) {
        m_error = QStringLiteral("設定ファイルに書き込めません: ") + m_path;
        return false;
    }
#ifndef Q_OS_WIN
    // Create the file owner-only before the first write, so the password
    // field is never readable by others, even briefly.
    if (!QFileInfo::exists(m_path)) {
        QDir().mkpath(QFileInfo(m_path).absolutePath());
        QFile f(m_path);
        if (f.open(QIODevice::WriteOnly))
            f.close();
        QFile::setPermissions(m_path, kOwnerOnly);
    }
#endif
    if (m_settings->status() != QSettings::NoError) {
        // An error met while reading the file sticks to the object even
        // after the disk recovers. The changes themselves live in QSettings'
        // per-file cache, which a new object shares.
        m_settings = std::make_unique<QSettings>(m_path, m_settingsFormat);
        m_settings->installEventFilter(noAutoSync());
    }
    m_settings->sync();
    switch (m_settings->status()) {
    case QSettings::NoError:
        m_error.clear();
#ifndef Q_OS_WIN
        if (QFile::permissions(m_path) & kOthers)
            QFile::setPermissions(m_path, kOwnerOnly);
#endif
        return true;
    case QSettings::AccessError:
        m_error = QStringLiteral("設定ファイルに書き込めません: ") + m_path;
        return false;
    case QSettings::FormatError:
        m_error = QStringLiteral("設定ファイルの形式が正しくありません: ") + m_path;
        return false;
    }
    return false;
}
