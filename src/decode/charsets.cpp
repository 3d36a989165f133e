#include "decode/charsets.h"

#include "decode/cp932.h"

#include <QStringDecoder>

namespace Charsets {

namespace {

constexpr qsizetype kMaxNameLength = 40;

bool isNameChar(char16_t c)
{
    return (c >= u'a' && c <= u'z') || (c >= u'A' && c <= u'Z') || (c >= u'0' && c <= u'9') ||
           c == u'-' || c == u'_' || c == u'.' || c == u':' || c == u'+' || c == u'(' || c == u')';
}

// Names of CP932 as senders write them (IANA and common aliases), compared
// without regard to case.
bool isCp932(QStringView charset)
{
    static constexpr QStringView names[] = {
        u"shift_jis",   u"shift-jis",    u"sjis",  u"x-sjis", u"ms_kanji",    u"csshiftjis",
        u"windows-31j", u"cswindows31j", u"cp932", u"ms932",  u"windows-932",
    };
    for (const QStringView n : names) {
        if (charset.compare(n, Qt::CaseInsensitive) == 0)
            return true;
    }
    return false;
}

} // namespace

bool isUtf8(QByteArrayView bytes)
{
    const qsizetype n = bytes.size();
    qsizetype i = 0;
    while (i < n) {
        const auto b = static_cast<unsigned char>(bytes[i]);
        if (b < 0x80) {
            ++i;
            continue;
        }
        int len;
        unsigned char lo = 0x80, hi = 0xBF; // range of the second byte
        if (b >= 0xC2 && b <= 0xDF) {
            len = 2;
        } else if (b >= 0xE0 && b <= 0xEF) {
            len = 3;
            if (b == 0xE0)
                lo = 0xA0; // no overlong form
            else if (b == 0xED)
                hi = 0x9F; // no surrogate
        } else if (b >= 0xF0 && b <= 0xF4) {
            len = 4;
            if (b == 0xF0)
                lo = 0x90;
            else if (b == 0xF4)
                hi = 0x8F; // nothing above U+10FFFF
        } else {
            return false;
        }
        if (n - i < len)
            return false;
        const auto second = static_cast<unsigned char>(bytes[i + 1]);
        if (second < lo || second > hi)
            return false;
        for (int k = 2; k < len; ++k) {
            const auto c = static_cast<unsigned char>(bytes[i + k]);
            if (c < 0x80 || c > 0xBF)
                return false;
        }
        i += len;
    }
    return true;
}

QString headerText(QByteArrayView bytes)
{
    return isUtf8(bytes) ? QString::fromUtf8(bytes) : Cp932::decode(bytes);
}

QString charsetName(QStringView label)
{
    // RFC 2231 section 5: charset "*" language.
    const qsizetype star = label.indexOf(u'*');
    const QStringView name = star >= 0 ? label.left(star) : label;
    if (name.isEmpty() || name.size() > kMaxNameLength)
        return {};
    for (const QChar c : name) {
        if (!isNameChar(c.unicode()))
            return {};
    }
    return name.toString();
}

bool isIso2022Jp(QStringView charset)
{
    return charset.compare(u"ISO-2022-JP", Qt::CaseInsensitive) == 0;
}

bool isKnown(QStringView charset)
{
    return isIso2022Jp(charsetName(charset)) || decode(charset, {}).has_value();
}

std::optional<QString> decode(QStringView charset, QByteArrayView bytes)
{
    const QString name = charsetName(charset);
    if (name.isEmpty() || isIso2022Jp(name))
        return std::nullopt;
    if (isCp932(name))
        return Cp932::decode(bytes);
    // Qt's own names for the platform's locale encoding say nothing about
    // the text a sender wrote.
    if (name.compare(u"System", Qt::CaseInsensitive) == 0 ||
        name.compare(u"Locale", Qt::CaseInsensitive) == 0)
        return std::nullopt;
    QStringDecoder decoder(name.toLatin1().constData(), QStringConverter::Flag::Stateless);
    if (!decoder.isValid())
        return std::nullopt;
    QString text = decoder(bytes);
    if (decoder.hasError()) {
        // The platform's converters mark an undefined byte with U+001A.
        text.replace(QChar(0x1A), QChar(0xFFFD));
    }
    return text;
}

} // namespace Charsets
