// Header text as it comes off the wire: the decoders of encoded words and
// JIS, and the names made from it. Every input must give names that stay
// inside the save directory, and the loop in FileNameCheck must give what
// the plain recursion gives.
#include "decode/cp932.h"
#include "decode/encodedword.h"
#include "decode/iso2022.h"
#include "output/naming.h"

#include <QString>

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>

namespace {

void check(bool ok, const char *what)
{
    if (!ok) {
        std::fprintf(stderr, "check failed: %s\n", what);
        std::abort();
    }
}

QString recursiveFileNameCheck(const QString &text)
{
    QString name = Iso_2022(text);
    if (name.contains(u'?'))
        name = unknownFileName();
    if (name.startsWith(u'"'))
        name.remove(0, 1);
    if (name.endsWith(u'"'))
        name.chop(1);
    while (name.startsWith(u' '))
        name.remove(0, 1);
    while (name.endsWith(u' '))
        name.chop(1);
    qsizetype p = name.indexOf(u'/');
    if (p >= 0)
        name = recursiveFileNameCheck(name.mid(p + 1));
    p = name.indexOf(u'\\');
    if (p >= 0)
        name = recursiveFileNameCheck(name.mid(p + 1));
    return name;
}

bool isLevel(const QString &s)
{
    if (s.isEmpty() || s == u"." || s == u"..")
        return false;
    for (const QChar c : s) {
        if (c == u'/' || c == u'\\' || c.unicode() < 0x20 || c.unicode() == 0x7F)
            return false;
    }
    return s.toUtf8().size() <= kMaxNameBytes;
}

qsizetype codePoints(const QString &s)
{
    qsizetype n = 0;
    for (qsizetype i = 0; i < s.size(); ++i) {
        if (s[i].isHighSurrogate() && i + 1 < s.size() && s[i + 1].isLowSurrogate())
            ++i;
        ++n;
    }
    return n;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size)
{
    if (size > 8192)
        return 0;
    const QByteArrayView bytes(reinterpret_cast<const char *>(data), qsizetype(size));
    const QString text = Cp932::decode(bytes);

    // The stream decoder, split anywhere, reads what the one-shot one does.
    Cp932::StreamDecoder stream;
    const qsizetype cut = size ? data[0] % (size + 1) : 0;
    QString streamed = stream.decode(bytes.first(cut));
    streamed += stream.decode(bytes.sliced(cut));
    streamed += stream.flush();
    check(streamed == text, "stream decoder");

    const QString iso = Iso_2022(text);
    check(iso.size() <= text.size(), "decoding never lengthens");
    for (const QChar c : iso)
        check(c.unicode() >= 0x20, "no control character after decoding");
    (void)Cp932::encode(iso);
    (void)B64EnCode(text);
    (void)QEnCode(text);

    const QString name = FileNameCheck(text);
    check(!name.contains(u'/') && !name.contains(u'\\'), "no separator in a file name");
    if (size <= 1024)
        check(name == recursiveFileNameCheck(text), "loop equals recursion");

    const QString changed = FileNameChange(name);
    check(codePoints(changed) <= 75, "75 characters");
    for (const QChar c : changed)
        check(!QStringView(u"/:,;*?\"<>|\\").contains(c), "no forbidden character");
    check(isLevel(safeFileName(changed)), "safe file name");
    check(isLevel(safeFileName(iso)), "safe file name of any text");
    check(isLevel(safeDirLevel(FileNameChange(iso))), "safe directory level");
    check(isLevel(safeDirLevel(text)), "safe directory level of any text");
    check(!safeDirLevel(text).startsWith(u'.'), "no hidden level");
    check(DirNameCheck(changed) == (!changed.isEmpty() && !changed.startsWith(u'.')),
          "a changed name passes the directory check unless empty or dotted");
    return 0;
}
