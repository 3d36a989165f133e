#pragma once

#include <QByteArray>
#include <QString>
#include <QStringView>

#include <optional>

// RFC 2047 encoded words carrying ISO-2022-JP. Each returns one character
// per decoded byte (the character whose code is the byte value).
//
// ISO-2022-JP is 7-bit. When a word nevertheless decodes to bytes of 0x80 or
// above (most often Shift_JIS text labelled ISO-2022-JP), the decoded bytes
// are read as CP932 instead, so such a word reads as its sender meant it; a
// byte that forms no CP932 character becomes U+FFFD.

// The text of a "B" word; empty when its length is not a multiple of 4 or a
// character is outside the base64 alphabet.
QString B64EnCode(QStringView text);
// The text of a "Q" word: "=" and two hex digits give a byte; everything
// else, "_" included, is copied.
QString QEnCode(QStringView text);

// The bytes of a "B" word under B64EnCode's rules; nothing when it is not
// valid.
std::optional<QByteArray> b64WordBytes(QStringView text);

// The value of a hex digit (either case); -1 for any other character.
int hexDigit(QChar c);

// The text of an encoded word in another charset (RFC 2047), form "B" or "Q"
// in either case; nothing when no converter knows the charset (see
// Charsets::decode) or the form is neither. A B word follows B64EnCode's
// rules and decodes to nothing when not valid; a Q word follows QEnCode's,
// except that "_" stands for a blank as RFC 2047 section 4.2 has it.
// ISO-2022-JP named with a language ("ISO-2022-JP*ja") decodes as
// B64EnCode / QEnCode do.
std::optional<QString> decodeWord(QStringView charset, QChar form, QStringView text);
