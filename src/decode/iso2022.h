#pragma once

#include <QString>

// Header text to display text: the first ISO-2022-JP encoded word (Q before
// B) is decoded, then the whole text goes through JisToSJis. The markers are
// found without regard to ASCII letter case.
//
// A text without any ISO-2022-JP word has one word of another charset
// decoded by the same rule: the first Q word whose charset the platform's
// converters know, else the first such B word (see decodeWord). A word in an
// unknown charset, and every word after the one decoded, stays as it is.
QString Iso_2022(const QString &text);
// JIS two-byte sequences (between escapes) to the characters their Shift_JIS
// codes stand for; control characters and escape sequences are dropped.
//
// The text has already been decoded from CP932, so a "byte" here is a
// character's CP932 code. In single-byte mode any character other than a
// control character passes unchanged (Japanese text already present, half-
// width katakana). In two-byte mode each character's CP932 code (a double-
// byte character: its two-byte code; a character CP932 lacks: 0xFFFF) enters
// the JIS-to-Shift_JIS formula; a computed code CP932 does not define gives
// jisReplacementChar().
QString JisToSJis(const QString &text);
// "〓" (U+3013 GETA MARK): the customary mark for an undecodable Japanese
// character, and one CP932 can write, so it survives the logs.
constexpr char16_t jisReplacementChar()
{
    return 0x3013;
}
