#include "output/naming.h"

#include "decode/iso2022.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QStringView>

namespace {

constexpr qsizetype kChangeLimit = 75; // characters kept by FileNameChange
constexpr char16_t kQuote = u'"';

bool isControl(char16_t c)
{
    return c < 0x20 || c == 0x7F;
}

// Whether the file system's name encoding writes s back as s (on Linux
// UTF-8, which cannot hold a lone surrogate).
bool fileSystemHolds(QStringView s)
{
    const QString text = s.toString();
    return QFile::decodeName(QFile::encodeName(text)) == text;
}

// The start of the last `count` code points of s.
qsizetype startOfLastCodePoints(const QString &s, qsizetype count)
{
    qsizetype start = s.size();
    for (qsizetype n = 0; n < count && start > 0; ++n) {
        --start;
        if (s[start].isLowSurrogate() && start > 0 && s[start - 1].isHighSurrogate())
            --start;
    }
    return start;
}

} // namespace

QString unknownFileName()
{
    return QStringLiteral("不明.tmp");
}

QString FileNameCheck(const QString &text)
{
    // Each "/" or "\" starts the procedure again on the text after it, and
    // the text after the last separator is the name. Done as a loop, with
    // the same result as starting over on each remainder:
    // - Iso_2022 runs once. Its result holds no control character (JisToSJis
    //   drops them), so a remainder has no escape to convert; and it holds
    //   no "?" (else the name is already 不明.tmp), so no encoded word
    //   remains to decode: on a remainder Iso_2022 would change nothing.
    // - Each round strips one quote at each end and trims blanks, as each
    //   new start would; only the window [begin, end) moves, so hostile
    //   input with many separators costs linear time.
    const QString name = Iso_2022(text);
    if (name.contains(u'?'))
        return unknownFileName();
    qsizetype begin = 0;
    qsizetype end = name.size();
    qsizetype slash = -1;     // next "/" at or after begin, when known
    qsizetype backslash = -1; // next "\" at or after begin, when known
    bool noSlash = false;
    bool noBackslash = false;
    for (;;) {
        if (begin < end && name[begin] == kQuote)
            ++begin;
        if (begin < end && name[end - 1] == kQuote)
            --end;
        while (begin < end && name[begin] == u' ')
            ++begin;
        while (begin < end && name[end - 1] == u' ')
            --end;
        // A separator is neither a quote nor a blank, so one found before
        // the window's end stays inside it.
        if (!noSlash && slash < begin) {
            slash = name.indexOf(u'/', begin);
            noSlash = slash < 0 || slash >= end;
        }
        if (!noSlash) {
            begin = slash + 1;
            continue;
        }
        if (!noBackslash && backslash < begin) {
            backslash = name.indexOf(u'\\', begin);
            noBackslash = backslash < 0 || backslash >= end;
        }
        if (!noBackslash) {
            begin = backslash + 1;
            continue;
        }
        return name.mid(begin, end - begin);
    }
}

bool DirNameCheck(const QString &name)
{
    if (name.isEmpty() || name.startsWith(u'.'))
        return false;
    for (const QChar c : QStringView(u"\\/:,;*?\"<>|")) {
        if (name.contains(c))
            return false;
    }
    return true;
}

QString FileNameChange(const QString &name)
{
    QString s = name;
    // One character replaces one, so replacing every occurrence at once is
    // the same as replacing first occurrences until none is left.
    for (QChar &c : s) {
        switch (c.unicode()) {
        case u'/':
        case u':':
        case u',':
        case u';':
        case u'*':
        case u'?':
        case u'"':
        case u'<':
        case u'>':
        case u'|':
            c = QChar(c.unicode() + 0xFEE0); // the full-width form
            break;
        case u'\\':
            c = QChar(0xFFE5); // "￥"
            break;
        default:
            break;
        }
    }
    return s.mid(startOfLastCodePoints(s, kChangeLimit));
}

bool SaveDirCheck(const QString &saveDir)
{
    if (saveDir.isEmpty())
        return true;
    const QFileInfo info(saveDir);
    if (!info.exists() || !info.isDir())
        return true;
    // A folder we cannot read, write or enter is of no use for saving.
    if (!info.isReadable() || !info.isWritable() || !info.isExecutable())
        return true;
    // A hidden folder is one whose own name starts with "." (judged on the
    // cleaned absolute path, so "x/." and "x/" are judged as x).
    const QString last = QFileInfo(QDir::cleanPath(info.absoluteFilePath())).fileName();
    return last.startsWith(u'.');
}

QString keepLastUtf8Bytes(const QString &name, qsizetype maxBytes)
{
    qsizetype bytes = 0;
    qsizetype start = name.size();
    while (start > 0) {
        qsizetype at = start - 1;
        qsizetype len;
        const char16_t c = name[at].unicode();
        if (QChar::isLowSurrogate(c) && at > 0 && name[at - 1].isHighSurrogate()) {
            --at;
            len = 4;
        } else if (c < 0x80) {
            len = 1;
        } else if (c < 0x800) {
            len = 2;
        } else {
            len = 3; // the rest of the BMP, and a lone surrogate as U+FFFD
        }
        if (bytes + len > maxBytes)
            break;
        bytes += len;
        start = at;
    }
    return name.mid(start);
}

QString safeFileName(const QString &name)
{
    if (name.isEmpty() || name == u"." || name == u"..")
        return unknownFileName();
    for (const QChar c : name) {
        if (isControl(c.unicode()) || c == u'/' || c == u'\\')
            return unknownFileName();
    }
    // Text the file system cannot hold is a bad name too.
    if (!fileSystemHolds(name))
        return unknownFileName();
    // Cut from the front, a tail of 255 bytes is never "." or "..".
    return keepLastUtf8Bytes(name, kMaxNameBytes);
}

QString safeDirLevel(const QString &name)
{
    QString s = name;
    for (QChar &c : s) {
        if (c == u'/')
            c = QChar(0xFF0F);
        else if (c == u'\\')
            c = QChar(0xFFE5);
        else if (isControl(c.unicode()))
            c = QChar(u'_');
    }
    if (!fileSystemHolds(s)) {
        // Each character the file system cannot hold becomes "_".
        QString held;
        for (qsizetype i = 0; i < s.size(); ++i) {
            const qsizetype len =
                s[i].isHighSurrogate() && i + 1 < s.size() && s[i + 1].isLowSurrogate() ? 2 : 1;
            const QStringView c = QStringView(s).mid(i, len);
            if (fileSystemHolds(c))
                held += c;
            else
                held += QLatin1Char('_');
            i += len - 1;
        }
        s = held;
    }
    // Cutting to length may bring a "." to the front, and "．" is longer
    // than ".": repeat until the name both fits and starts with no ".".
    for (;;) {
        s = keepLastUtf8Bytes(s, kMaxNameBytes);
        if (!s.startsWith(u'.'))
            break;
        for (qsizetype i = 0; i < s.size() && s[i] == u'.'; ++i)
            s[i] = QChar(0xFF0E); // "．"
    }
    if (s.isEmpty())
        s = QStringLiteral("_");
    return s;
}
