#include "output/yencparts.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>

#include <algorithm>

#include <zlib.h>

namespace {

// A record bigger than this is not one we wrote.
constexpr qint64 MaxRecordBytes = 16 * 1024 * 1024;

bool validRange(qint64 begin, qint64 end, qint64 size)
{
    return begin >= 1 && begin <= end && end <= size;
}

} // namespace

QString YencParts::recordName()
{
    return QStringLiteral("YENCPART.DAT");
}

bool YencParts::load(const QString &saveDir)
{
    m_saveDir = saveDir;
    m_entries.clear();
    m_loaded = true;
    m_dirty = false;
    QFile f(saveDir + QLatin1Char('/') + recordName());
    if (!f.exists())
        return true;
    if (!f.open(QIODevice::ReadOnly) || f.size() > MaxRecordBytes)
        return false;
    const QJsonDocument doc = QJsonDocument::fromJson(f.read(MaxRecordBytes));
    if (!doc.isObject())
        return false;
    bool clean = true;
    for (const QJsonValue &v : doc.object().value(QLatin1String("files")).toArray()) {
        const QJsonObject o = v.toObject();
        Entry e;
        e.key.name = o.value(QLatin1String("name")).toString();
        e.key.size = static_cast<qint64>(o.value(QLatin1String("size")).toDouble(-1));
        e.key.total = static_cast<qint64>(o.value(QLatin1String("total")).toDouble(0));
        e.key.poster = o.value(QLatin1String("poster")).toString();
        e.key.group = o.value(QLatin1String("group")).toString();
        e.path = o.value(QLatin1String("path")).toString();
        e.updated = o.value(QLatin1String("updated")).toString();
        e.done = o.value(QLatin1String("done")).toBool();
        const QString crc = o.value(QLatin1String("crc32")).toString();
        bool ok = false;
        e.crc = crc.toUInt(&ok, 16);
        e.hasCrc = ok && !crc.isEmpty();
        bool good = e.key.size > 0 && !e.key.name.isEmpty() && !e.path.isEmpty();
        qint64 last = 0;
        for (const QJsonValue &r : o.value(QLatin1String("have")).toArray()) {
            const QJsonArray pair = r.toArray();
            const Range range{static_cast<qint64>(pair.at(0).toDouble(-1)),
                              static_cast<qint64>(pair.at(1).toDouble(-1))};
            // Sorted and apart, as save() writes them.
            if (pair.size() != 2 || !validRange(range.begin, range.end, e.key.size) ||
                (last > 0 && range.begin <= last + 1)) {
                good = false;
                break;
            }
            last = range.end;
            e.have << range;
        }
        if (good && e.have.size() <= MaxRanges && m_entries.size() < MaxEntries)
            m_entries << e;
        else
            clean = false;
    }
    return clean;
}

void YencParts::unload()
{
    m_entries.clear();
    m_loaded = false;
    m_dirty = false;
}

bool YencParts::save()
{
    if (!m_loaded)
        return true;
    const QString path = m_saveDir + QLatin1Char('/') + recordName();
    if (m_entries.isEmpty()) {
        m_dirty = false;
        return !QFile::exists(path) || QFile::remove(path);
    }
    QJsonArray files;
    for (const Entry &e : m_entries) {
        QJsonArray have;
        for (const Range &r : e.have)
            have << QJsonArray{double(r.begin), double(r.end)};
        QJsonObject o{{"name", e.key.name},           {"size", double(e.key.size)},
                      {"total", double(e.key.total)}, {"poster", e.key.poster},
                      {"group", e.key.group},         {"path", e.path},
                      {"updated", e.updated},         {"have", have}};
        if (e.hasCrc)
            o.insert(QLatin1String("crc32"), QString::number(e.crc, 16));
        if (e.done)
            o.insert(QLatin1String("done"), true);
        files << o;
    }
    const QByteArray bytes = QJsonDocument(QJsonObject{{"files", files}}).toJson();
    // Written beside the record and renamed over it: a reader sees the old
    // record or the new one, never half of one.
    const QString temp = path + QStringLiteral(".new");
    QFile f(temp);
    if (!f.open(QIODevice::WriteOnly | QIODevice::Truncate) || f.write(bytes) != bytes.size()) {
        f.remove();
        return false;
    }
    f.close();
    QFile::remove(path);
    if (!QFile::rename(temp, path))
        return false;
    m_dirty = false;
    return true;
}

YencParts::Entry *YencParts::find(const Key &key)
{
    for (Entry &e : m_entries) {
        if (e.key == key)
            return &e;
    }
    return nullptr;
}

YencParts::Entry &YencParts::add(const Key &key, const QString &path, const QString &today)
{
    if (Entry *old = find(key))
        remove(old);
    if (m_entries.size() >= MaxEntries) {
        // "YYMMDD" sorts by date within a century.
        const auto oldest =
            std::min_element(m_entries.begin(), m_entries.end(),
                             [](const Entry &a, const Entry &b) { return a.updated < b.updated; });
        m_entries.erase(oldest);
    }
    Entry e;
    e.key = key;
    e.path = path;
    e.updated = today;
    m_entries << e;
    m_dirty = true;
    return m_entries.last();
}

void YencParts::remove(const Entry *entry)
{
    for (qsizetype i = 0; i < m_entries.size(); ++i) {
        if (&m_entries[i] == entry) {
            m_entries.removeAt(i);
            m_dirty = true;
            return;
        }
    }
}

bool YencParts::overlaps(const Entry &e, qint64 begin, qint64 end)
{
    for (const Range &r : e.have) {
        if (r.begin <= end && begin <= r.end)
            return true;
    }
    return false;
}

bool YencParts::addRange(Entry &e, qint64 begin, qint64 end, const QString &today)
{
    if (!validRange(begin, end, e.key.size))
        return true;
    QList<Range> merged;
    Range add{begin, end};
    bool placed = false;
    for (const Range &r : e.have) {
        if (r.end + 1 < add.begin) {
            merged << r;
        } else if (add.end + 1 < r.begin) {
            if (!placed) {
                merged << add;
                placed = true;
            }
            merged << r;
        } else {
            add.begin = std::min(add.begin, r.begin);
            add.end = std::max(add.end, r.end);
        }
    }
    if (!placed)
        merged << add;
    std::sort(merged.begin(), merged.end(),
              [](const Range &a, const Range &b) { return a.begin < b.begin; });
    e.have = merged;
    e.updated = today;
    m_dirty = true;
    return e.have.size() <= MaxRanges;
}

qint64 YencParts::held(const Entry &e)
{
    qint64 n = 0;
    for (const Range &r : e.have)
        n += r.end - r.begin + 1;
    return n;
}

bool YencParts::complete(const Entry &e)
{
    return e.have.size() == 1 && e.have.first().begin == 1 && e.have.first().end == e.key.size;
}

bool YencParts::insideSaveDir(const QString &path, const QString &saveDir)
{
    const QFileInfo file(path);
    const QString dir = QFileInfo(saveDir).canonicalFilePath();
    const QString real = file.canonicalFilePath();
    return !dir.isEmpty() && !real.isEmpty() && !file.isSymLink() && file.isFile() &&
           real.startsWith(dir + QLatin1Char('/'));
}

bool YencParts::fileCrc(const QString &path, qint64 size, quint32 *crc)
{
    QFile f(path);
    if (!f.open(QIODevice::ReadOnly))
        return false;
    uLong c = ::crc32(0L, Z_NULL, 0);
    QByteArray buf(1 << 20, Qt::Uninitialized);
    qint64 left = size;
    while (left > 0) {
        const qint64 n = f.read(buf.data(), std::min<qint64>(left, buf.size()));
        if (n <= 0)
            return false;
        c = ::crc32(c, reinterpret_cast<const Bytef *>(buf.constData()), static_cast<uInt>(n));
        left -= n;
    }
    *crc = static_cast<quint32>(c);
    return true;
}
