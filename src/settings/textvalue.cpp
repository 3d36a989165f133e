#include "settings/textvalue.h"

#include <QRegularExpression>

#include <cmath>
#include <limits>

namespace TextValue {

namespace {

bool isDigit(QChar c)
{
    return c >= u'0' && c <= u'9';
}

// The leading blanks, sign and whole digits of a number: where the sign (or
// first digit) starts, where the digits start, and where they end.
struct Lead {
    qsizetype start, digits, end;
};

Lead scanLead(QStringView text)
{
    qsizetype i = 0;
    const qsizetype n = text.size();
    while (i < n && (text[i] == u' ' || text[i] == u'\t'))
        ++i;
    Lead lead{i, i, i};
    if (i < n && (text[i] == u'+' || text[i] == u'-'))
        lead.digits = ++i;
    while (i < n && isDigit(text[i]))
        ++i;
    lead.end = i;
    return lead;
}

} // namespace

double leadingNumber(QStringView text)
{
    const Lead lead = scanLead(text);
    const qsizetype n = text.size();
    const qsizetype start = lead.start;
    qsizetype i = lead.end;
    bool anyDigit = i > lead.digits;
    if (i < n && text[i] == u'.') {
        const qsizetype frac = ++i;
        while (i < n && isDigit(text[i]))
            ++i;
        anyDigit = anyDigit || i > frac;
    }
    if (!anyDigit)
        return 0;
    bool ok = false;
    const double v = text.mid(start, i - start).toString().toDouble(&ok);
    return ok && std::isfinite(v) ? v : 0;
}

qint64 leadingInteger(QStringView text, bool *fraction)
{
    const Lead lead = scanLead(text);
    const qsizetype n = text.size();
    const qsizetype start = lead.start, digits = lead.digits, intEnd = lead.end;
    const qsizetype i = intEnd;
    bool parts = false;
    if (i < n && text[i] == u'.') {
        for (qsizetype j = i + 1; j < n && isDigit(text[j]); ++j) {
            if (text[j] != u'0')
                parts = true;
        }
    }
    if (fraction)
        *fraction = parts;
    if (!parts) {
        if (intEnd == digits)
            return 0;
        bool ok = false;
        const qint64 v = text.mid(start, intEnd - start).toLongLong(&ok);
        if (ok)
            return v;
        return text[start] == u'-' ? std::numeric_limits<qint64>::min()
                                   : std::numeric_limits<qint64>::max();
    }
    const double v = std::nearbyint(leadingNumber(text));
    if (v >= 9.2e18)
        return std::numeric_limits<qint64>::max();
    if (v <= -9.2e18)
        return std::numeric_limits<qint64>::min();
    return static_cast<qint64>(v);
}

std::optional<qint64> digitsNumber(QStringView text)
{
    if (text.isEmpty())
        return std::nullopt;
    for (const QChar c : text) {
        if (c < u'0' || c > u'9')
            return std::nullopt;
    }
    bool ok = false;
    const qint64 v = text.toLongLong(&ok);
    return ok ? std::optional<qint64>(v) : std::nullopt;
}

int portNumber(QStringView text)
{
    const qint64 v = leadingInteger(text);
    if (v < -1)
        return -1;
    if (v > 65536)
        return 65536;
    return static_cast<int>(v);
}

bool isNumeric(QStringView text)
{
    static const QRegularExpression re(QStringLiteral("^\\s*[+-]?(\\d+\\.?\\d*|\\.\\d+)\\s*$"));
    return re.match(text).hasMatch();
}

std::optional<QTime> parseTime(QStringView text)
{
    static const QRegularExpression re(
        QStringLiteral("^\\s*(\\d{1,2}):(\\d{1,2})(?::(\\d{1,2}))?\\s*$"));
    const auto m = re.match(text);
    if (!m.hasMatch())
        return std::nullopt;
    const int h = m.captured(1).toInt();
    const int mi = m.captured(2).toInt();
    const int s = m.captured(3).isEmpty() ? 0 : m.captured(3).toInt();
    if (h > 23 || mi > 59 || s > 59)
        return std::nullopt;
    return QTime(h, mi, s);
}

namespace {

int monthNumber(QStringView name)
{
    static const char *const months[] = {"jan", "feb", "mar", "apr", "may", "jun",
                                         "jul", "aug", "sep", "oct", "nov", "dec"};
    if (name.size() < 3)
        return 0;
    const QString lower = name.left(3).toString().toLower();
    for (int i = 0; i < 12; ++i) {
        if (lower == QLatin1String(months[i]))
            return i + 1;
    }
    return 0;
}

int fullYear(int y, qsizetype digits)
{
    if (digits <= 2)
        return y < 30 ? 2000 + y : 1900 + y; // two-digit years: 1930-2029
    return y;
}

} // namespace

std::optional<QDateTime> parseDate(QStringView text)
{
    static const QRegularExpression named(
        QStringLiteral("^\\s*(?:[A-Za-z]+,?\\s+)?(\\d{1,2})[\\s-]+([A-Za-z]{3,9})[\\s-]+(\\d{2,4})("
                       "?:\\s+(\\S+))?\\s*$"));
    static const QRegularExpression numeric(
        QStringLiteral("^\\s*(\\d{2,4})[/-](\\d{1,2})[/-](\\d{1,2})(?:\\s+(\\S+))?\\s*$"));
    int y = 0, mo = 0, d = 0;
    QString timeText;
    if (const auto m = named.match(text); m.hasMatch()) {
        d = m.captured(1).toInt();
        mo = monthNumber(m.captured(2));
        y = fullYear(m.captured(3).toInt(), m.captured(3).size());
        timeText = m.captured(4);
    } else if (const auto n = numeric.match(text); n.hasMatch()) {
        y = fullYear(n.captured(1).toInt(), n.captured(1).size());
        mo = n.captured(2).toInt();
        d = n.captured(3).toInt();
        timeText = n.captured(4);
    } else {
        return std::nullopt;
    }
    const QDate date(y, mo, d);
    if (!date.isValid())
        return std::nullopt;
    QTime time(0, 0);
    if (!timeText.isEmpty()) {
        const auto t = parseTime(timeText);
        if (!t)
            return std::nullopt;
        time = *t;
    }
    // The date and time as written, held without a time zone: a local time
    // would look the zone up (a stat of /etc/localtime) on every call, once
    // per saved file.
    return QDateTime(date, time, Qt::UTC);
}

bool isDateOrTime(QStringView text)
{
    return parseTime(text).has_value() || parseDate(text).has_value();
}

QString groupedNumber(qint64 value)
{
    QString digits = QString::number(value < 0 ? -value : value);
    for (qsizetype i = digits.size() - 3; i > 0; i -= 3)
        digits.insert(i, QLatin1Char(','));
    return value < 0 ? QLatin1Char('-') + digits : digits;
}

} // namespace TextValue
