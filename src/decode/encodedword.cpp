#include "decode/encodedword.h"

#include "decode/base64decoder.h"
#include "decode/charsets.h"
#include "decode/cp932.h"

namespace {

// Decoded bytes as text: one character per byte while they are 7-bit.
QString bytesToText(const QByteArray &bytes)
{
    for (const char c : bytes) {
        if (static_cast<unsigned char>(c) >= 0x80)
            return Cp932::decode(bytes);
    }
    return QString::fromLatin1(bytes);
}

} // namespace

int hexDigit(QChar c)
{
    const char16_t u = c.unicode();
    if (u >= '0' && u <= '9')
        return u - '0';
    if (u >= 'A' && u <= 'F')
        return u - 'A' + 10;
    if (u >= 'a' && u <= 'f')
        return u - 'a' + 10;
    return -1;
}

std::optional<QByteArray> b64WordBytes(QStringView text)
{
    const qsizetype len = text.size();
    if (len % 4 != 0)
        return std::nullopt;
    const char16_t *s = text.utf16();
    const auto &t = DecodeTables::instance().base64;
    // Only the last group is tested for padding; a "=" elsewhere is zero bits.
    QByteArray bytes(len / 4 * 3, Qt::Uninitialized);
    for (qsizetype p = 0; p < len; p += 4) {
        if (!Base64Decoder::decodeGroup(t, s + p, bytes.data() + p / 4 * 3))
            return std::nullopt;
    }
    if (len > 0)
        bytes.chop(3 - Base64Decoder::lastGroupBytes(s, len));
    return bytes;
}

QString B64EnCode(QStringView text)
{
    const std::optional<QByteArray> bytes = b64WordBytes(text);
    return bytes ? bytesToText(*bytes) : QString();
}

namespace {

// The Q form: "=" and two hex digits give a byte, every other character that
// is a byte value is that byte, and a character that is not (text already
// decoded) is copied. Runs of bytes become text through toText.
template <typename ToText>
QString qWordText(QStringView text, bool underscoreIsBlank, ToText toText)
{
    QByteArray bytes;
    bytes.reserve(text.size());
    bool escape = false;
    int digits = 0;
    QChar first;
    QString out;
    auto flushBytes = [&] {
        out += toText(bytes);
        bytes.clear();
    };
    for (const QChar c : text) {
        if (c == u'=') {
            // An escape that was still incomplete is dropped.
            escape = true;
            digits = 0;
        } else if (escape) {
            if (digits == 0) {
                first = c;
                digits = 1;
            } else {
                escape = false;
                // The value of the leading run of hex digits, 0 without one.
                const int h = hexDigit(first);
                const int l = hexDigit(c);
                int v = 0;
                if (h >= 0)
                    v = l >= 0 ? h * 16 + l : h;
                bytes.append(static_cast<char>(v));
            }
        } else if (c == u'_' && underscoreIsBlank) {
            bytes.append(' ');
        } else if (c.unicode() < 0x80) {
            bytes.append(static_cast<char>(c.unicode()));
        } else {
            // A character that is no byte value (already decoded text) is
            // copied unchanged.
            flushBytes();
            out += c;
        }
    }
    flushBytes();
    return out;
}

} // namespace

QString QEnCode(QStringView text)
{
    return qWordText(text, false, bytesToText);
}

std::optional<QString> decodeWord(QStringView charset, QChar form, QStringView text)
{
    const bool b = form == u'B' || form == u'b';
    if (!b && form != u'Q' && form != u'q')
        return std::nullopt;
    // ISO-2022-JP with a language ("ISO-2022-JP*ja") takes the JIS path.
    if (Charsets::isIso2022Jp(Charsets::charsetName(charset)))
        return b ? B64EnCode(text) : QEnCode(text);
    // Whether a converter knows the charset is settled before the text.
    if (!Charsets::decode(charset, {}))
        return std::nullopt;
    const auto toText = [charset](const QByteArray &bytes) {
        return bytes.isEmpty() ? QString() : *Charsets::decode(charset, bytes);
    };
    if (b) {
        const std::optional<QByteArray> bytes = b64WordBytes(text);
        return bytes ? toText(*bytes) : QString();
    }
    return qWordText(text, true, toText);
}
