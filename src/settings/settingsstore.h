#pragma once

#include <QDateTime>
#include <QElapsedTimer>
#include <QSettings>
#include <QString>
#include <QVariant>

#include <memory>
#include <vector>

// The per-user settings store of application KAPLO: text values addressed by
// section and key, with three operations (read with a default, write, delete
// a section). On Linux it is an INI file; every write is on disk (atomic
// replace) when the call returns, and a failed write is reported.
//
// A file that exists but cannot be read as settings (unreadable, a folder,
// not UTF-8 text, not INI) is never written: every write is refused with
// unreadableMessage(), so nothing the program does can replace what it
// could not read. A missing file is a first start and reads as empty.
class SettingsStore final {
public:
    // The file named by KAPLO_SETTINGS, else $XDG_CONFIG_HOME/KAPLO/KAPLO.ini.
    static QString defaultPath();

    explicit SettingsStore(const QString &path = defaultPath());
    ~SettingsStore();
    SettingsStore(const SettingsStore &) = delete;
    SettingsStore &operator=(const SettingsStore &) = delete;

    // The stored text, or def when the section or key does not exist. A stored
    // empty text reads back empty.
    QString read(const QString &section, const QString &key, const QString &def) const;
    bool contains(const QString &section, const QString &key) const;
    // false when the value did not reach the disk; errorString() says why.
    bool write(const QString &section, const QString &key, const QString &value);
    // A write that may wait for the next one: it reaches the disk with the
    // next write or flush(), or at once when the disk was last written more
    // than maxDelayMs ago. For values written at a high rate (the number of
    // every article a run fetches); a crash loses at most maxDelayMs of them.
    bool writeSoon(const QString &section, const QString &key, const QString &value,
                   int maxDelayMs = 1000);
    // Puts what writeSoon() left waiting on the disk.
    bool flush();
    // Another program changed the file since this store last read it (a write
    // of this store's that merged the change in does not count as reading).
    bool changedOnDisk() const;
    // Reads the file again after what writeSoon() left waiting is on the disk.
    // false when the file can no longer be read as settings (every write is
    // then refused) or the waiting values could not be written.
    bool reload();
    // Deleting a section that does not exist is not an error.
    bool deleteSection(const QString &section);

    // Writes between beginBatch() and commitBatch() reach the disk together,
    // in one replace, at commitBatch(). Batches nest; the outermost commits.
    void beginBatch();
    bool commitBatch();

    // Empty when the file is missing or reads as settings; else
    // "設定ファイルを読めません: PATH (reason)".
    QString unreadableMessage() const { return m_unreadable; }
    bool readable() const { return m_unreadable.isEmpty(); }
    // Why an existing file cannot be read as settings; empty when it can be
    // (or does not exist).
    static QString unreadableReason(const QString &path);

    QString path() const { return m_path; }
    // Tests: make every following write fail as a full disk would.
    void failWritesForTesting(bool fail) { m_failWrites = fail; }
    QString errorString() const { return m_error; }

private:
    bool sync();
    bool writeOut();
    void remember(const QString &keyPath);
    void revert();
    void undoChanges();
    bool refuseUnreadable();
    void noteFileState();
    bool fileStateChanged() const;

    QString m_path;
    std::unique_ptr<QSettings> m_settings;
    QSettings::Format m_settingsFormat = QSettings::IniFormat;
    int m_batchDepth = 0;
    bool m_failWrites = false;
    bool m_waiting = false; // writeSoon() left changes that are not on disk
    QElapsedTimer m_lastWrite;
    // What the changes not yet on disk replaced: after a failed write the
    // store goes back to what the disk holds, so a later write cannot carry
    // a refused change along with it.
    struct Undo {
        QString keyPath;
        QVariant old; // invalid: the key did not exist
    };
    std::vector<Undo> m_undo;
    QString m_error;
    QString m_unreadable;
    // The file as this store last read or wrote it: a change by someone else
    // is checked again before the next write.
    qint64 m_fileSize = -1;
    QDateTime m_fileTime;
    // Someone else's change was seen (and merged by a write of ours) since
    // the last reload(): changedOnDisk() stays true until one.
    bool m_outsideChange = false;
};

// Commits on scope exit unless commit() was called; tells whether it landed.
class SettingsBatch final {
public:
    explicit SettingsBatch(SettingsStore &store) : m_store(store) { m_store.beginBatch(); }
    ~SettingsBatch()
    {
        if (!m_done)
            m_store.commitBatch();
    }
    SettingsBatch(const SettingsBatch &) = delete;
    SettingsBatch &operator=(const SettingsBatch &) = delete;
    bool commit()
    {
        m_done = true;
        return m_store.commitBatch();
    }

private:
    SettingsStore &m_store;
    bool m_done = false;
};
