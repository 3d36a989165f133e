#pragma once

#include <QDateTime>
#include <QString>
#include <QStringView>

#include <optional>

// Reading numbers, times and dates out of the texts that settings, text boxes
// and headers hold. Settings are stored as typed, so every reader goes
// through these.
namespace TextValue {

// The leading decimal number of a text: blanks before it are skipped, then an
// optional sign, digits and an optional fraction. A text without one gives 0
// ("119abc" -> 119, "abc" -> 0, "1.5" -> 1.5).
double leadingNumber(QStringView text);

// leadingNumber rounded to the nearest integer, clamped to the 64-bit range.
// A number without a fraction (or with only zeros after the point) is read
// exactly, whatever its size, so 64-bit article numbers keep every digit;
// *fraction (if given) tells whether it had another fraction.
qint64 leadingInteger(QStringView text, bool *fraction = nullptr);

// A whole number written as ASCII digits only (no sign, no blank), from 0 to
// 2^63-1, as article numbers are (RFC 3977 section 6.1.4). nullopt for any
// other text, the empty text included.
std::optional<qint64> digitsNumber(QStringView text);

// The TCP port of SERVERPORT: the leading number, rounded; out-of-range
// values are clamped to 0..65535's neighbours so that the socket reports them.
int portNumber(QStringView text);

// Whether a text box holds a number: an optional sign, digits with an
// optional decimal point, blanks allowed only around it. Empty or blanks-only
// text is not numeric.
bool isNumeric(QStringView text);

// A time of day typed as "H:MM" or "H:MM:SS" (hours 0-23), or a date; what a
// user types for a time or a date. nullopt when it is neither.
std::optional<QTime> parseTime(QStringView text);
bool isDateOrTime(QStringView text);

// A date with an optional time, as headers and the program write it:
// "6 Dec 1997 12:34:56", "06 Dec 97", "1997/12/06 12:34", "97/12/06",
// "1997-12-06". nullopt when it is not a date.
std::optional<QDateTime> parseDate(QStringView text);

// "#,##0": a whole number with commas between groups of three digits.
QString groupedNumber(qint64 value);

} // namespace TextValue
