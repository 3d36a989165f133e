#include "decode/base64decoder.h"

#include "decode/decodedbytesink.h"
#include "decode/decodetables.h"

namespace {

inline int value(const std::array<std::int8_t, 256> &t, char16_t c)
{
    return c < 0x80 ? t[c] : -1;
}

// Every byte from 0x80 on is -1 in the table.
inline int value(const std::array<std::int8_t, 256> &t, char c)
{
    return t[static_cast<unsigned char>(c)];
}

// Decoded bytes are collected here and written in pieces of this size, so a
// normal line (76 characters, 57 bytes) is one write.
constexpr qsizetype ChunkBytes = 3 * 1024;

template <typename Char> void decode(const Char *s, qsizetype len, DecodedByteSink &sink)
{
    if (len == 0 || !sink.accepting())
        return;
    if (len % 4 != 0) {
        sink.reject();
        return;
    }
    const auto &t = DecodeTables::instance().base64;
    // Only the line's last group is tested for padding.
    const int lastTake = s[len - 1] != Char('=') ? 3 : (s[len - 2] == Char('=') ? 1 : 2);

    char out[ChunkBytes];
    qsizetype used = 0;
    bool bad = false;
    for (qsizetype pos = 0; pos < len; pos += 4) {
        const int a = value(t, s[pos]);
        const int b = value(t, s[pos + 1]);
        const int c = value(t, s[pos + 2]);
        const int d = value(t, s[pos + 3]);
        if ((a | b | c | d) < 0) {
            bad = true;
            break;
        }
        out[used] = static_cast<char>((a << 2) | (b >> 4));
        out[used + 1] = static_cast<char>(((b & 0x0F) << 4) | (c >> 2));
        out[used + 2] = static_cast<char>(((c & 0x03) << 6) | d);
        used += pos + 4 < len ? 3 : lastTake;
        if (used == ChunkBytes) {
            sink.write(out, used);
            used = 0;
            if (!sink.accepting())
                return;
        }
    }
    if (used > 0)
        sink.write(out, used);
    if (bad && sink.accepting())
        sink.reject();
}

} // namespace

void Base64Decoder::decodeLine(QStringView line, DecodedByteSink &sink)
{
    decode(line.utf16(), line.size(), sink);
}

void Base64Decoder::decodeLine(QByteArrayView line, DecodedByteSink &sink)
{
    decode(line.data(), line.size(), sink);
}
