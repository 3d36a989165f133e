#include "options/dirlist.h"

#include <QDir>
#include <QFileInfo>

#include <algorithm>

QList<DirList::Entry> DirList::entries(const QString &dir)
{
    const QFileInfo info(dir);
    if (dir.isEmpty() || !info.isDir())
        return {};
    const QString path = QDir::cleanPath(info.absoluteFilePath());

    // Walk up to the root, then reverse.
    QList<Entry> chain;
    QDir d(path);
    for (;;) {
        const QString p = QDir::cleanPath(d.absolutePath());
        const QString name = d.isRoot() ? QDir::toNativeSeparators(p) : d.dirName();
        chain.prepend({p, name, 0, true});
        if (d.isRoot() || !d.cdUp())
            break;
    }
    for (qsizetype i = 0; i < chain.size(); ++i)
        chain[i].depth = static_cast<int>(i);

    const int childDepth = static_cast<int>(chain.size());
    QStringList names = QDir(path).entryList(QDir::Dirs | QDir::NoDotAndDotDot, QDir::NoSort);
    // By name regardless of case, whatever the locale.
    std::sort(names.begin(), names.end(), [](const QString &a, const QString &b) {
        const int c = a.compare(b, Qt::CaseInsensitive);
        return c != 0 ? c < 0 : a < b;
    });
    const QDir here(path);
    for (const QString &name : names)
        chain.append({QDir::cleanPath(here.absoluteFilePath(name)), name, childDepth, false});
    return chain;
}

qsizetype DirList::currentIndex(const QList<Entry> &entries)
{
    qsizetype last = -1;
    for (qsizetype i = 0; i < entries.size(); ++i) {
        if (entries[i].open)
            last = i;
    }
    return last;
}
