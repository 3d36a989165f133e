#pragma once

#include <QByteArrayView>
#include <QString>
#include <QStringView>

#include <optional>

// The character sets header text arrives in, other than ISO-2022-JP: the
// charset of an RFC 2047 encoded word or of an RFC 2231 parameter, and raw
// 8-bit header bytes.
namespace Charsets {

// Whether bytes are well-formed UTF-8 (RFC 3629: no overlong form, no
// surrogate, nothing above U+10FFFF).
bool isUtf8(QByteArrayView bytes);

// Raw 8-bit header bytes: UTF-8 when they are well-formed UTF-8, else CP932.
QString headerText(QByteArrayView bytes);

// The charset name of an encoded word or parameter as a converter name: an
// RFC 2231 language suffix ("UTF-8*ja") is dropped. Empty when the name
// holds anything but letters, digits and "-_.:+()", or is too long to be
// one, so that no stray text reaches the converter.
QString charsetName(QStringView label);

// Whether the charset is ISO-2022-JP itself (the program's own JIS path).
bool isIso2022Jp(QStringView charset);

// Whether header text in the charset can be read: ISO-2022-JP, or a charset
// decode() knows.
bool isKnown(QStringView charset);

// Bytes in the named charset as text, or nothing when no converter knows the
// charset (or it is ISO-2022-JP, which has its own path). The CP932 family
// (Shift_JIS, Windows-31J, …) is read as the socket's CP932 is; every other
// charset goes to the platform's converter. A byte sequence the charset does
// not define gives U+FFFD.
std::optional<QString> decode(QStringView charset, QByteArrayView bytes);

} // namespace Charsets
