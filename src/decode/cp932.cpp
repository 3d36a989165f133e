#include "decode/cp932.h"

#include "decode/charsets.h"

#include <QList>
#include <QStringDecoder>
#include <QtGlobal>

#include <array>
#include <memory>

namespace Cp932 {

namespace {

constexpr char16_t kReplacement = 0xFFFD;
constexpr int kLeadCount = 31 + 29; // 0x81..0x9F and 0xE0..0xFC

bool isLead(int b)
{
    return (b >= 0x81 && b <= 0x9F) || (b >= 0xE0 && b <= 0xFC);
}
bool isTrail(int b)
{
    return (b >= 0x40 && b <= 0x7E) || (b >= 0x80 && b <= 0xFC);
}
int leadIndex(int b)
{
    return b <= 0x9F ? b - 0x81 : b - 0xE0 + 31;
}
bool isHalfWidthKana(int b)
{
    return b >= 0xA1 && b <= 0xDF;
}

struct Tables {
    bool ok = false;
    // Character of each lead/trail pair, 0 where CP932 defines none.
    std::array<char16_t, kLeadCount * 256> pair{};
    // Pair code of each BMP character, 0 where CP932 has no pair for it.
    std::array<quint16, 0x10000> code{};
};

// Rows 0xED and 0xEE repeat the IBM extensions of rows 0xFA..0xFC in NEC's
// order; Windows writes such a character with its lowest code outside those
// two rows, as does the converter (checked over every duplicate).
bool necSelectedRow(int code)
{
    return code >= 0xED00 && code < 0xEF00;
}

std::unique_ptr<Tables> buildTables()
{
    auto t = std::make_unique<Tables>();
    // One converter call per lead byte: every pair of the row has a valid
    // trail byte, so each comes back as exactly one character (U+FFFD for
    // an unassigned pair). Should a row not, it is decoded pair by pair.
    for (int lead = 0x81; lead <= 0xFC; ++lead) {
        if (!isLead(lead))
            continue;
        QByteArray row;
        QList<int> trails;
        for (int trail = 0x40; trail <= 0xFC; ++trail) {
            if (!isTrail(trail))
                continue;
            row.append(static_cast<char>(lead));
            row.append(static_cast<char>(trail));
            trails.append(trail);
        }
        QStringDecoder dec("windows-31j");
        if (!dec.isValid())
            return t;
        QString s = dec(row);
        const bool whole = s.size() == trails.size();
        for (qsizetype i = 0; i < trails.size(); ++i) {
            char16_t u;
            if (whole) {
                u = s[i].unicode();
            } else {
                QStringDecoder one("windows-31j");
                const char b[2] = {static_cast<char>(lead), static_cast<char>(trails[i])};
                const QString c = one(QByteArrayView(b, 2));
                u = (one.hasError() || c.size() != 1) ? kReplacement : c[0].unicode();
            }
            // The converter marks an undefined pair with U+FFFD, an invalid
            // one with U+001A; CP932 never maps a pair to a control code.
            if (u == kReplacement || u < 0x20 || u == 0x7F || QChar::isSurrogate(u))
                continue;
            const int code = lead * 256 + trails[i];
            t->pair[leadIndex(lead) * 256 + trails[i]] = u;
            const quint16 have = t->code[u];
            if (have == 0 || (necSelectedRow(have) && !necSelectedRow(code)))
                t->code[u] = static_cast<quint16>(code);
        }
    }
    t->ok = true;
    return t;
}

const Tables &tables()
{
    static const std::unique_ptr<Tables> t = [] {
        auto built = buildTables();
        if (!built->ok)
            qWarning("CP932: the platform has no windows-31j converter; Japanese text is lost");
        return built;
    }();
    return *t;
}

// Characters JIS X 0208 decoders produce that Microsoft's table maps to other
// code points: written as the CP932 character that stands for the same JIS
// code.
int customaryStandIn(char32_t c)
{
    switch (c) {
    case 0x301C:
        return 0x8160; // WAVE DASH, CP932's FULLWIDTH TILDE
    case 0x2016:
        return 0x8161; // DOUBLE VERTICAL LINE, CP932's PARALLEL TO
    case 0x2212:
        return 0x817C; // MINUS SIGN, CP932's FULLWIDTH HYPHEN-MINUS
    case 0x00A2:
        return 0x8191; // CENT SIGN
    case 0x00A3:
        return 0x8192; // POUND SIGN
    case 0x00AC:
        return 0x81CA; // NOT SIGN
    case 0x2014:
        return 0x815C; // EM DASH, CP932's HORIZONTAL BAR
    default:
        return -1;
    }
}

bool isAscii(QByteArrayView bytes)
{
    for (const char c : bytes) {
        if (static_cast<unsigned char>(c) >= 0x80)
            return false;
    }
    return true;
}

QChar pairChar(int lead, int trail)
{
    const char16_t u = tables().pair[leadIndex(lead) * 256 + trail];
    return QChar(u ? u : kReplacement);
}

// Decodes bytes into out; *lead carries a lead byte between calls.
void decodeInto(QByteArrayView bytes, int *lead, QString &out)
{
    out.reserve(out.size() + bytes.size());
    for (const char ch : bytes) {
        const int b = static_cast<unsigned char>(ch);
        if (*lead >= 0) {
            const int l = *lead;
            *lead = -1;
            if (isTrail(b)) {
                out.append(pairChar(l, b));
                continue;
            }
            // A lead byte without its trail byte; the byte itself still counts.
            out.append(QChar(kReplacement));
        }
        if (b < 0x80)
            out.append(QChar(b));
        else if (isLead(b))
            *lead = b;
        else if (isHalfWidthKana(b))
            out.append(QChar(0xFF61 + (b - 0xA1)));
        else
            out.append(QChar(kReplacement));
    }
}

} // namespace

bool available()
{
    return tables().ok;
}

int code(char32_t c)
{
    if (c < 0x80)
        return static_cast<int>(c);
    if (c >= 0xFF61 && c <= 0xFF9F)
        return static_cast<int>(c - 0xFF61 + 0xA1);
    if (c > 0xFFFF)
        return -1;
    const quint16 pair = tables().code[c];
    return pair ? pair : -1;
}

QByteArray encode(QStringView text, bool *lossy, QByteArrayView missing)
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
    for (qsizetype i = 0; i < text.size(); ++i) {
        char32_t c = text[i].unicode();
        if (QChar::isHighSurrogate(c) && i + 1 < text.size() && text[i + 1].isLowSurrogate()) {
            c = QChar::surrogateToUcs4(text[i], text[i + 1]);
            ++i;
        }
        int k = QChar::isSurrogate(c) ? -1 : code(c);
        if (k < 0) {
            lost = true;
            k = customaryStandIn(c);
        }
        if (k < 0) {
            out.append(missing);
        } else if (k < 0x100) {
            out.append(static_cast<char>(k));
        } else {
            out.append(static_cast<char>(k >> 8));
            out.append(static_cast<char>(k & 0xFF));
        }
    }
    if (lossy)
        *lossy = lost;
    return out;
}

QString decode(QByteArrayView bytes)
{
    if (isAscii(bytes))
        return QString::fromLatin1(bytes.data(), bytes.size());
    QString out;
    int lead = -1;
    decodeInto(bytes, &lead, out);
    if (lead >= 0)
        out.append(QChar(kReplacement));
    return out;
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
        return QChar(kReplacement);
    if (code < 0x100) {
        if (code < 0x80)
            return QChar(code);
        if (isHalfWidthKana(code))
            return QChar(0xFF61 + (code - 0xA1));
        return QChar(kReplacement);
    }
    const int lead = code >> 8;
    const int trail = code & 0xFF;
    if (!isLead(lead) || !isTrail(trail))
        return QChar(kReplacement);
    return pairChar(lead, trail);
}

StreamDecoder::StreamDecoder() = default;

void StreamDecoder::setUtf8Lines(bool on)
{
    reset();
    m_utf8Lines = on;
}

QString StreamDecoder::decode(QByteArrayView bytes)
{
    if (m_utf8Lines) {
        QString out;
        appendLines(bytes, out);
        return out;
    }
    if (m_lead < 0 && isAscii(bytes))
        return QString::fromLatin1(bytes.data(), bytes.size());
    QString out;
    decodeInto(bytes, &m_lead, out);
    return out;
}

void StreamDecoder::appendTo(QByteArrayView bytes, QString &out)
{
    if (m_utf8Lines)
        appendLines(bytes, out);
    else if (m_lead < 0 && isAscii(bytes))
        out.append(QLatin1StringView(bytes.data(), bytes.size()));
    else
        decodeInto(bytes, &m_lead, out);
}

void StreamDecoder::releaseHeld(QString &out)
{
    if (Charsets::isUtf8(m_held))
        out.append(QString::fromUtf8(m_held));
    else
        decodeInto(m_held, &m_lead, out);
    m_held.clear();
}

void StreamDecoder::appendLines(QByteArrayView bytes, QString &out)
{
    // Up to its first non-ASCII byte a line reads the same either way, and
    // no CP932 lead byte is pending there.
    if (m_held.isEmpty() && !m_cp932Line && isAscii(bytes)) {
        out.append(QLatin1StringView(bytes.data(), bytes.size()));
        return;
    }
    qsizetype pos = 0;
    const qsizetype n = bytes.size();
    while (pos < n) {
        qsizetype lf = bytes.indexOf('\n', pos);
        if (lf < 0)
            lf = n;
        if (m_cp932Line) {
            decodeInto(bytes.sliced(pos, lf - pos), &m_lead, out);
        } else {
            qsizetype start = pos;
            if (m_held.isEmpty()) {
                while (start < lf && static_cast<unsigned char>(bytes[start]) < 0x80)
                    ++start;
                out.append(QLatin1StringView(bytes.data() + pos, start - pos));
            }
            m_held.append(bytes.sliced(start, lf - start));
            if (m_held.size() > kMaxHeldBytes) {
                decodeInto(m_held, &m_lead, out);
                m_held.clear();
                m_cp932Line = true;
            }
        }
        if (lf == n)
            return;
        // The line ends here.
        if (!m_held.isEmpty())
            releaseHeld(out);
        m_cp932Line = false;
        if (m_lead >= 0) {
            // A lead byte before the LF has no trail byte.
            m_lead = -1;
            out.append(QChar(kReplacement));
        }
        out.append(QLatin1Char('\n'));
        pos = lf + 1;
    }
}

QString StreamDecoder::flush()
{
    QString out;
    if (!m_held.isEmpty())
        releaseHeld(out);
    m_cp932Line = false;
    if (m_lead >= 0) {
        m_lead = -1;
        out.append(QChar(kReplacement));
    }
    return out;
}

void StreamDecoder::reset()
{
    m_lead = -1;
    m_held.clear();
    m_cp932Line = false;
}

} // namespace Cp932
