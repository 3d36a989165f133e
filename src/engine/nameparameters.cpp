#include "engine/nameparameters.h"

#include "decode/charsets.h"
#include "decode/cp932.h"
#include "decode/encodedword.h"

#include <QByteArray>

namespace {

bool isBlank(QChar c)
{
    return c == u' ' || c == u'\t';
}

bool isAsciiDigit(QChar c)
{
    return c >= u'0' && c <= u'9';
}

// Bytes of a parameter in its charset as text; nothing when no converter
// knows the charset. Without a charset, 8-bit bytes are read as raw header
// bytes are.
std::optional<QString> bytesInCharset(const QString &charset, const QByteArray &bytes)
{
    if (bytes.isEmpty())
        return QString();
    if (charset.isEmpty())
        return Charsets::headerText(bytes);
    if (Charsets::isIso2022Jp(Charsets::charsetName(charset))) {
        // One character per byte (7-bit JIS), converted as every header's
        // JIS is (FileNameCheck); 8-bit bytes read as CP932, as in a word.
        return Cp932::decode(bytes);
    }
    return Charsets::decode(charset, bytes);
}

// Appends the %XX-encoded text of an extended value to bytes; a character
// that is no byte value (already decoded text) goes to text after the bytes
// before it.
bool appendExtended(QStringView value, const QString &charset, QByteArray &bytes, QString &text)
{
    for (qsizetype i = 0; i < value.size(); ++i) {
        const QChar c = value[i];
        if (c == u'%' && i + 2 < value.size() && hexDigit(value[i + 1]) >= 0 &&
            hexDigit(value[i + 2]) >= 0) {
            bytes.append(static_cast<char>(hexDigit(value[i + 1]) * 16 + hexDigit(value[i + 2])));
            i += 2;
        } else if (c.unicode() < 0x80) {
            bytes.append(static_cast<char>(c.unicode()));
        } else {
            const std::optional<QString> t = bytesInCharset(charset, bytes);
            if (!t)
                return false;
            text += *t;
            bytes.clear();
            text += c;
        }
    }
    return true;
}

} // namespace

void NameParameters::scanLine(QStringView line)
{
    static constexpr QStringView kName = u"name*";
    const qsizetype n = line.size();
    qsizetype i = 0;
    for (;;) {
        const qsizetype p = line.indexOf(kName, i, Qt::CaseInsensitive);
        if (p < 0)
            return;
        i = p + kName.size();
        const bool file = p >= 4 && line.mid(p - 4, 4).compare(u"file", Qt::CaseInsensitive) == 0;
        const qsizetype start = file ? p - 4 : p;
        if (start > 0 && !isBlank(line[start - 1]) && line[start - 1] != u';')
            continue;
        // name*=  name*N=  name*N*=
        qsizetype j = i;
        int section = -1;
        bool extended = true;
        if (j < n && isAsciiDigit(line[j])) {
            section = 0;
            while (j < n && isAsciiDigit(line[j]) && section <= kMaxSection)
                section = section * 10 + (line[j++].unicode() - u'0');
            if (section > kMaxSection)
                continue;
            extended = j < n && line[j] == u'*';
            if (extended)
                ++j;
        }
        while (j < n && isBlank(line[j]))
            ++j;
        if (j >= n || line[j] != u'=')
            continue;
        ++j;
        while (j < n && isBlank(line[j]))
            ++j;
        QString value;
        if (j < n && line[j] == u'"') {
            // A quoted string; "\" quotes the next character. Without its
            // closing quote it runs to the end of the line.
            for (++j; j < n && line[j] != u'"'; ++j) {
                if (line[j] == u'\\' && j + 1 < n)
                    ++j;
                value += line[j];
            }
            if (j < n)
                ++j;
        } else {
            const qsizetype b = j;
            while (j < n && line[j] != u';' && !isBlank(line[j]))
                ++j;
            value = line.mid(b, j - b).toString();
        }
        i = j;
        Sections &sections = file ? m_filename : m_name;
        if (m_overlong || sections.contains(section))
            continue;
        m_chars += value.size() + 1;
        if (m_chars > kMaxChars) {
            m_overlong = true;
            m_filename.clear();
            m_name.clear();
            continue;
        }
        sections.insert(section, Section{value, extended});
    }
}

std::optional<QString> NameParameters::assemble(const Sections &sections)
{
    QList<Section> parts;
    if (sections.contains(-1)) {
        parts << sections.value(-1);
    } else {
        // Sections count from 0 with no gap (RFC 2231 section 3).
        for (int k = 0; sections.contains(k); ++k)
            parts << sections.value(k);
    }
    if (parts.isEmpty())
        return std::nullopt;
    QString charset;
    QByteArray bytes;
    QString text;
    for (qsizetype k = 0; k < parts.size(); ++k) {
        QStringView value = parts[k].value;
        if (!parts[k].extended) {
            const std::optional<QString> t = bytesInCharset(charset, bytes);
            if (!t)
                return std::nullopt;
            text += *t;
            text += value;
            bytes.clear();
            continue;
        }
        if (k == 0) {
            // charset'language'text; without both quotes all of it is text.
            const qsizetype q1 = value.indexOf(u'\'');
            const qsizetype q2 = q1 >= 0 ? value.indexOf(u'\'', q1 + 1) : -1;
            if (q2 >= 0) {
                charset = value.left(q1).toString();
                value = value.mid(q2 + 1);
                if (!charset.isEmpty() && !Charsets::isKnown(charset))
                    return std::nullopt;
            }
        }
        if (!appendExtended(value, charset, bytes, text))
            return std::nullopt;
    }
    const std::optional<QString> t = bytesInCharset(charset, bytes);
    if (!t)
        return std::nullopt;
    return text + *t;
}

std::optional<QString> NameParameters::fileName() const
{
    if (m_overlong)
        return std::nullopt;
    if (std::optional<QString> f = assemble(m_filename))
        return f;
    return assemble(m_name);
}

void NameParameters::clear()
{
    m_filename.clear();
    m_name.clear();
    m_chars = 0;
    m_overlong = false;
}
