#include "decode/cp932.h"

#include <QStringEncoder>

namespace Cp932 {

namespace {

const char *const kName = "windows-31j";

bool isAscii(QByteArrayView bytes)
{
    for (const char c : bytes) {
        if (static_cast<unsigned char>(c) >= 0x80)
            return false;
    }
    return true;
}

} // namespace

QByteArray encode(QStringView text, bool *lossy)
{
    bool ascii = true;
    for (const QChar c : text) {
        if (c.unicode() >= 0x80) {
            ascii = false;
            break;
        }
    }
    if (ascii) {
        if (lossy)
            *lossy = false;
        return text.toLatin1();
    }
    QByteArray out;
    out.reserve(text.size() * 2);
    bool lost = false;
    QStringEncoder enc(kName);
    // Character by character, so that one CP932 lacks becomes "?" without
    // disturbing the rest (the converter writes FC FC for such a character).
    for (qsizetype i = 0; i < text.size(); ++i) {
        qsizetype len = 1;
        if (text[i].isHighSurrogate() && i + 1 < text.size() && text[i + 1].isLowSurrogate())
            len = 2;
        const QStringView one = text.mid(i, len);
        QStringEncoder e(kName);
        QByteArray b = e(one);
        if (e.hasError() || b.isEmpty()) {
            out.append('?');
            lost = true;
        } else {
            out.append(b);
        }
        i += len - 1;
    }
    if (lossy)
        *lossy = lost;
    return out;
}

QString decode(QByteArrayView bytes)
{
    if (isAscii(bytes))
        return QString::fromLatin1(bytes.data(), bytes.size());
    QStringDecoder dec(kName);
    return dec(bytes);
}

int singleByteCode(QChar c)
{
    const char16_t u = c.unicode();
    if (u < 0x80)
        return u;
    // Half-width katakana U+FF61..U+FF9F are 0xA1..0xDF.
    if (u >= 0xFF61 && u <= 0xFF9F)
        return u - 0xFF61 + 0xA1;
    return -1;
}

QChar fromCode(int code)
{
    if (code < 0 || code > 0xFFFF)
        return QChar(0xFFFD);
    QByteArray b;
    if (code < 0x100) {
        b.append(static_cast<char>(code));
    } else {
        b.append(static_cast<char>(code >> 8));
        b.append(static_cast<char>(code & 0xFF));
    }
    QStringDecoder dec(kName);
    const QString s = dec(b);
    if (dec.hasError() || s.size() != 1 || s[0] == QChar(0x1A) || s[0] == QChar(0xFFFD))
        return QChar(0xFFFD);
    return s[0];
}

StreamDecoder::StreamDecoder() : m_decoder(kName) {}

QString StreamDecoder::decode(QByteArrayView bytes)
{
    if (!m_pending && isAscii(bytes))
        return QString::fromLatin1(bytes.data(), bytes.size());
    QString s = m_decoder(bytes);
    // Whether the read ended inside a double-byte character: walk the bytes
    // (a lead byte left over from the previous read takes this read's first).
    qsizetype i = m_pending ? 1 : 0;
    m_pending = false;
    while (i < bytes.size()) {
        const auto b = static_cast<unsigned char>(bytes[i]);
        const bool lead = (b >= 0x81 && b <= 0x9F) || (b >= 0xE0 && b <= 0xFC);
        if (lead) {
            if (i + 1 >= bytes.size()) {
                m_pending = true;
                break;
            }
            i += 2;
        } else {
            ++i;
        }
    }
    return s;
}

void StreamDecoder::reset()
{
    m_decoder.resetState();
    m_pending = false;
}

} // namespace Cp932
