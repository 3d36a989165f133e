#pragma once

#include <QList>
#include <QString>

// The yEnc files whose parts come in several articles, not complete yet or
// completed lately: which file each is, where it was saved and which byte ranges it
// holds. Kept in the save directory (recordName()), so that a part fetched
// in a later run finds the file its earlier parts went into. The record is
// rewritten whole, through a temporary file and a rename, so it is either
// the old or the new one; a record that cannot be read counts as empty (its
// files start again).
class YencParts final {
public:
    // One byte range, 1-based, both ends included.
    struct Range {
        qint64 begin = 0;
        qint64 end = 0;
    };
    // What makes parts one file: the same name, size and part count, the
    // same poster and group.
    struct Key {
        QString name;
        qint64 size = 0;
        qint64 total = 0;
        QString poster;
        QString group;
        bool operator==(const Key &) const = default;
    };
    struct Entry {
        Key key;
        QString path;      // the output file, inside the save directory
        QList<Range> have; // sorted, disjoint, not adjacent
        bool hasCrc = false;
        quint32 crc = 0; // the whole file's CRC32 when a part gave it
        QString updated; // "YYMMDD" of the last part
        // Complete: kept a while longer so that a part fetched again (a
        // repost, the last article of a group fetched again by the next
        // run) is known and not saved as a new file.
        bool done = false;
    };

    // At most this many files are followed; the longest untouched goes first.
    static constexpr qsizetype MaxEntries = 1000;
    // A file whose parts leave more gaps than this starts again.
    static constexpr qsizetype MaxRanges = 4096;

    static QString recordName(); // "YENCPART.DAT"

    // Reads the record of saveDir. False when there was one that could not
    // be read (it is then taken as empty).
    bool load(const QString &saveDir);
    bool loaded() const { return m_loaded; }
    void unload();
    // Writes the record (removes it when no file is left). False on failure.
    bool save();
    bool dirty() const { return m_dirty; }

    Entry *find(const Key &key);
    Entry &add(const Key &key, const QString &path, const QString &today);
    void remove(const Entry *entry);
    const QList<Entry> &entries() const { return m_entries; }

    // Whether [begin, end] meets a range the entry holds.
    static bool overlaps(const Entry &e, qint64 begin, qint64 end);
    // Adds [begin, end]; false when the entry has too many gaps to follow.
    bool addRange(Entry &e, qint64 begin, qint64 end, const QString &today);
    // Bytes held.
    static qint64 held(const Entry &e);
    // Whether the ranges cover 1..size.
    static bool complete(const Entry &e);

    // Whether path names an existing regular file inside saveDir (after
    // resolving links), so that a record edited by hand cannot send writes
    // elsewhere.
    static bool insideSaveDir(const QString &path, const QString &saveDir);
    // The CRC32 of a file's first `size` bytes; false when it cannot be read
    // or is shorter.
    static bool fileCrc(const QString &path, qint64 size, quint32 *crc);

private:
    QString m_saveDir;
    QList<Entry> m_entries;
    bool m_loaded = false;
    bool m_dirty = false;
};
