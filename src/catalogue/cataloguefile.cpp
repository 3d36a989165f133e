#include "catalogue/cataloguefile.h"

#include "decode/cp932.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSaveFile>

namespace CatalogueFile {

namespace {

bool isLineEnd(QChar c)
{
    return c == QLatin1Char('\n') || c == QLatin1Char('\r');
}

bool isSeparator(QChar c)
{
    return c == QLatin1Char(',') || isLineEnd(c);
}

QString readError(const QString &path, const QString &why)
{
    return QStringLiteral("ﾌｧｲﾙを読み込めません: ") + path + QStringLiteral(" (") + why +
           QLatin1Char(')');
}

QString writeError(const QString &path, const QString &why)
{
    return QStringLiteral("ﾌｧｲﾙに書き込めません: ") + path + QStringLiteral(" (") + why +
           QLatin1Char(')');
}

} // namespace

QString fileName()
{
    return QStringLiteral("newsgroups.dat");
}

QString path(const QString &saveDir)
{
    return saveDir + QLatin1Char('/') + fileName();
}

QStringList parse(QStringView text)
{
    QStringList fields;
    const qsizetype n = text.size();
    qsizetype pos = 0;
    while (pos < n) {
        while (pos < n && text[pos] == QLatin1Char(' '))
            ++pos;
        if (pos < n && text[pos] == QLatin1Char('"')) {
            const qsizetype open = pos + 1;
            qsizetype close = text.indexOf(QLatin1Char('"'), open);
            if (close < 0)
                close = n;
            fields << text.mid(open, close - open).toString();
            pos = close + 1;
            while (pos < n && !isSeparator(text[pos]))
                ++pos;
        } else {
            const qsizetype start = pos;
            while (pos < n && !isSeparator(text[pos]))
                ++pos;
            fields << text.mid(start, pos - start).toString();
        }
        if (pos >= n)
            break;
        if (text[pos] == QLatin1Char(',')) {
            ++pos;
            // A comma always opens another field, even at the very end.
            if (pos >= n)
                fields << QString();
            continue;
        }
        // A line end: CR LF counts once.
        if (text[pos] == QLatin1Char('\r') && pos + 1 < n && text[pos + 1] == QLatin1Char('\n'))
            ++pos;
        ++pos;
    }
    return fields;
}

QByteArray encode(const std::vector<QString> &names)
{
    QByteArray out;
    qsizetype size = 0;
    for (const QString &name : names)
        size += name.size() + 2;
    out.reserve(size);
    for (const QString &name : names) {
        out += Cp932::encode(name);
        out += "\r\n";
    }
    return out;
}

LoadResult load(const QString &path)
{
    LoadResult r;
    const QFileInfo info(path);
    if (!info.exists()) {
        if (info.absoluteDir().exists()) {
            r.status = LoadResult::Missing;
        } else {
            r.status = LoadResult::Failed;
            r.error = readError(path, QStringLiteral("ﾃﾞｨﾚｸﾄﾘがありません"));
        }
        return r;
    }
    QFile f(path);
    if (info.isDir() || !f.open(QIODevice::ReadOnly)) {
        r.status = LoadResult::Failed;
        r.error = readError(path, info.isDir() ? QStringLiteral("ﾃﾞｨﾚｸﾄﾘです") : f.errorString());
        return r;
    }
    const QByteArray bytes = f.readAll();
    if (f.error() != QFileDevice::NoError) {
        r.status = LoadResult::Failed;
        r.error = readError(path, f.errorString());
        return r;
    }
    r.status = LoadResult::Loaded;
    r.names = parse(Cp932::decode(bytes));
    return r;
}

bool save(const QString &path, const std::vector<QString> &names, QString *error)
{
    QSaveFile f(path);
    // Never write the old file in place: a full disk would cut it short.
    f.setDirectWriteFallback(false);
    if (!f.open(QIODevice::WriteOnly)) {
        if (error)
            *error = writeError(path, f.errorString());
        return false;
    }
    const QByteArray bytes = encode(names);
    // commit() does not tell a failed flush of the last buffered bytes: a
    // full disk would leave the catalogue cut short and reported saved.
    if (f.write(bytes) != bytes.size() || !f.flush() || !f.commit()) {
        if (error)
            *error = writeError(path, f.errorString());
        return false;
    }
    return true;
}

} // namespace CatalogueFile
