// Header text as it comes off the wire: the decoders of encoded words (in
// ISO-2022-JP and any other charset) and JIS, UTF-8 header lines, RFC 2231
// name parameters, and the names made from them. Every input must give names
// that stay inside the save directory, and the loop in FileNameCheck must
// give what the plain recursion gives.
#include "decode/charsets.h"
#include "decode/cp932.h"
#include "decode/encodedword.h"
#include "decode/iso2022.h"
#include "engine/nameparameters.h"
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

    // The same bytes as the engine reads them: each line UTF-8 when it is
    // well-formed UTF-8, else CP932, wherever the reads split.
    Cp932::StreamDecoder lines;
    lines.setUtf8Lines(true);
    QString read = lines.decode(bytes.first(cut));
    read += lines.decode(bytes.sliced(cut));
    read += lines.flush();
    QString perLine;
    for (qsizetype from = 0;;) {
        const qsizetype lf = bytes.indexOf('\n', from);
        perLine += Charsets::headerText(bytes.sliced(from, (lf < 0 ? bytes.size() : lf) - from));
        if (lf < 0)
            break;
        perLine += u'\n';
        from = lf + 1;
    }
    check(read == perLine, "UTF-8 lines");

    // RFC 2231 names gathered from the lines give safe names too.
    NameParameters params;
    for (const QString &line : read.split(u'\n'))
        params.scanLine(line);
    if (const std::optional<QString> n = params.fileName()) {
        const QString pname = FileNameCheck(*n);
        check(!pname.contains(u'/') && !pname.contains(u'\\'), "no separator in an RFC 2231 name");
        check(isLevel(safeFileName(FileNameChange(pname))), "safe RFC 2231 name");
    }

    // Decoded words in other charsets may hold more UTF-16 units than their
    // bytes, never more than twice the text.
    const QString iso = Iso_2022(text);
    check(iso.size() <= 2 * text.size(), "decoding stays bounded");
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
    const QString utf8Iso = Iso_2022(read);
    check(isLevel(safeFileName(FileNameChange(FileNameCheck(read)))), "safe name of UTF-8 text");
    check(isLevel(safeDirLevel(FileNameChange(utf8Iso))), "safe level of UTF-8 text");
    check(!safeDirLevel(text).startsWith(u'.'), "no hidden level");
    check(DirNameCheck(changed) == (!changed.isEmpty() && !changed.startsWith(u'.')),
          "a changed name passes the directory check unless empty or dotted");
    return 0;
}
