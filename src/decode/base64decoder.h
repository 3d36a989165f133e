#pragma once

#include "decode/decodetables.h"

#include <QByteArrayView>
#include <QStringView>

#include <type_traits>

class DecodedByteSink;

// One body line of a base64 MIME part. Its length must be a multiple of 4;
// only the line's last group is tested for padding ("==" one byte, "=" two),
// elsewhere "=" reads as zero bits. A line of the wrong length is rejected
// with nothing written; a group with a character outside the alphabet is
// rejected after the bytes of the groups before it. An empty line does
// nothing. The line may come as text or as the bytes received.
namespace Base64Decoder {
void decodeLine(QStringView line, DecodedByteSink &sink);
void decodeLine(QByteArrayView line, DecodedByteSink &sink);

// The group decoder bodies and encoded words share. One group of four
// characters (bytes or UTF-16 units; anything from 0x80 on is outside the
// alphabet, "=" reads as zero bits) into its three bytes at out; false, with
// nothing written, when a character is outside the alphabet. t is
// DecodeTables::instance().base64, fetched once per line or word.
template <typename Char>
inline bool decodeGroup(const std::array<std::int8_t, 256> &t, const Char *g, char *out)
{
    const auto value = [&t](Char c) {
        const auto u = static_cast<std::make_unsigned_t<Char>>(c);
        return u < 0x80 ? int(t[u]) : -1;
    };
    const int a = value(g[0]);
    const int b = value(g[1]);
    const int c = value(g[2]);
    const int d = value(g[3]);
    if ((a | b | c | d) < 0)
        return false;
    out[0] = static_cast<char>((a << 2) | (b >> 4));
    out[1] = static_cast<char>(((b & 0x0F) << 4) | (c >> 2));
    out[2] = static_cast<char>(((c & 0x03) << 6) | d);
    return true;
}

// How many bytes the last group of a text of len characters (len a nonzero
// multiple of 4) gives: "==" at its end one, "=" two, else three.
template <typename Char> inline int lastGroupBytes(const Char *s, qsizetype len)
{
    return s[len - 1] != Char('=') ? 3 : (s[len - 2] == Char('=') ? 1 : 2);
}
} // namespace Base64Decoder
