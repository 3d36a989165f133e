#pragma once

#include <QList>
#include <QString>

// The rows of a directory list box opened at one directory: the directory's
// ancestors from the root down, the directory itself, then its
// subdirectories one level deeper, sorted by name regardless of case. Depth 0 is the root.
struct DirList {
    struct Entry {
        QString path; // absolute, cleaned
        QString name; // what the row shows: the last path element, or the root itself
        int depth = 0;
        bool open = false; // an ancestor or the directory itself
    };

    // Empty when dir is not an existing directory. Hidden directories are
    // left out; links to directories are listed.
    static QList<Entry> entries(const QString &dir);
    // The row of the directory itself (the last open row); -1 for none.
    static qsizetype currentIndex(const QList<Entry> &entries);
};
