#include "decode/iso2022.h"

#include "decode/charsets.h"
#include "decode/cp932.h"
#include "decode/encodedword.h"

#include <QStringView>

namespace {

constexpr char32_t kEsc = 0x1B;
constexpr char32_t kEtx = 0x03;

// Position of marker (upper-case ASCII) in text, letters compared without
// regard to ASCII case; -1 when absent. Only ASCII letters fold, so a
// position in text is a position in the marker's match.
qsizetype indexOfMarker(QStringView text, QStringView marker)
{
    const qsizetype n = text.size();
    const qsizetype m = marker.size();
    for (qsizetype i = 0; i + m <= n; ++i) {
        qsizetype j = 0;
        for (; j < m; ++j) {
            char16_t c = text[i + j].unicode();
            if (c >= 'a' && c <= 'z')
                c = c - 'a' + 'A';
            if (c != marker[j].unicode())
                break;
        }
        if (j == m)
            return i;
    }
    return -1;
}

// The JIS X 0208 code (hi, lo) to its Shift_JIS code and that code's
// character. Bytes outside 0x21..0x7E go through the same formula.
QChar jisPairChar(int hi, int lo)
{
    int s2;
    if (hi % 2 == 0)
        s2 = lo + 0x7E;
    else if (lo <= 0x5F)
        s2 = lo + 0x1F;
    else
        s2 = lo + 0x20;
    // floor((hi - 0x21) / 2): hi may be below 0x21.
    const int d = hi - 0x21;
    int s1 = (d >= 0 ? d / 2 : -((-d + 1) / 2)) + 0x81;
    if (s1 > 0x9F)
        s1 += 0x40;
    // s1 is at least 0x70, so the code is always above 0x1F and a pair
    // always yields a character. hi and lo are at most 0xFFFF: no overflow.
    const QChar c = Cp932::fromCode(s1 * 256 + s2);
    return c.unicode() == 0xFFFD ? QChar(jisReplacementChar()) : c;
}

// An RFC 2047 encoded word "=?charset?form?text?=": [begin, end) in the
// header text.
struct Word {
    qsizetype begin = -1;
    qsizetype end = -1;
    QStringView charset;
    QChar form;
    QStringView text;
};

// The word to decode in a text without ISO-2022-JP words, by the rule those
// follow: the first Q word whose charset a converter knows, else the first
// such B word. Words in unknown charsets are passed over.
Word otherWord(QStringView text)
{
    Word q;
    Word b;
    const qsizetype n = text.size();
    qsizetype i = 0;
    while (q.begin < 0) {
        i = text.indexOf(u"=?", i);
        if (i < 0)
            break;
        const qsizetype mark = text.indexOf(u'?', i + 2);
        if (mark < 0)
            break;
        const QChar form = mark + 2 < n ? text[mark + 1] : QChar();
        const bool formOk = form == u'B' || form == u'b' || form == u'Q' || form == u'q';
        if (!formOk || text[mark + 2] != u'?') {
            i += 1;
            continue;
        }
        const qsizetype end = text.indexOf(u"?=", mark + 3);
        if (end < 0)
            break;
        Word w;
        w.begin = i;
        w.end = end + 2;
        w.charset = text.mid(i + 2, mark - i - 2);
        w.form = form;
        w.text = text.mid(mark + 3, end - mark - 3);
        i = w.end;
        if (!Charsets::isKnown(w.charset))
            continue;
        if (form == u'Q' || form == u'q')
            q = w;
        else if (b.begin < 0)
            b = w;
    }
    return q.begin >= 0 ? q : b;
}

int codeInPair(char32_t c)
{
    const int code = Cp932::code(c);
    return code < 0 ? 0xFFFF : code;
}

} // namespace

QString JisToSJis(const QString &text)
{
    QString out;
    out.reserve(text.size());
    bool twoByte = false;
    int sinceEscape = 2; // saturates at 3: only "2 or less" matters
    bool secondByte = false;
    int hi = 0;
    const qsizetype n = text.size();
    for (qsizetype i = 0; i < n; ++i) {
        char32_t c = text[i].unicode();
        // One character per code point, so that a surrogate pair is never
        // split by the two characters dropped after an escape.
        if (QChar::isHighSurrogate(c) && i + 1 < n && text[i + 1].isLowSurrogate()) {
            c = QChar::surrogateToUcs4(text[i], text[i + 1]);
            ++i;
        }
        if (c == kEsc || c == kEtx) {
            // The kind of escape sequence is not examined: each one flips
            // the mode.
            sinceEscape = 0;
            if (!twoByte) {
                twoByte = true;
                secondByte = false;
            } else {
                twoByte = false;
            }
            continue;
        }
        if (sinceEscape < 3)
            ++sinceEscape;
        if (sinceEscape <= 2 || c == 0)
            continue;
        if (twoByte) {
            if (!secondByte) {
                hi = codeInPair(c);
                secondByte = true;
            } else {
                secondByte = false;
                out.append(jisPairChar(hi, codeInPair(c)));
            }
        } else if (c >= 0x20) {
            if (QChar::requiresSurrogates(c)) {
                out.append(QChar(QChar::highSurrogate(c)));
                out.append(QChar(QChar::lowSurrogate(c)));
            } else {
                out.append(QChar(static_cast<char16_t>(c)));
            }
        }
    }
    return out;
}

QString Iso_2022(const QString &text)
{
    static constexpr QStringView kQ = u"=?ISO-2022-JP?Q?";
    static constexpr QStringView kB = u"=?ISO-2022-JP?B?";
    static constexpr QStringView kEnd = u"?=";

    // Only one word is decoded: the first Q word when there is one, else
    // the first B word.
    bool q = true;
    qsizetype p = indexOfMarker(text, kQ);
    if (p < 0) {
        q = false;
        p = indexOfMarker(text, kB);
    }
    if (p < 0) {
        // No ISO-2022-JP word: one word of another charset, chosen the same
        // way, is decoded and joins the text before JisToSJis.
        const Word w = otherWord(text);
        if (w.begin < 0)
            return JisToSJis(text);
        QString result = text.left(w.begin);
        result += decodeWord(w.charset, w.form, w.text).value_or(QString());
        result += QStringView(text).mid(w.end);
        return JisToSJis(result);
    }
    const QStringView rest = QStringView(text).mid(p + kQ.size());
    const qsizetype e = rest.indexOf(kEnd);
    if (e < 0)
        return JisToSJis(text);
    const QStringView word = rest.left(e);
    QString result = text.left(p);
    result += q ? QEnCode(word) : B64EnCode(word);
    result += rest.mid(e + kEnd.size());
    return JisToSJis(result);
}
