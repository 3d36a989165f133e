#include "decode/uudecoder.h"

#include "decode/decodedbytesink.h"
#include "decode/decodetables.h"

namespace {

// A character's value, -1 outside the alphabet. Every character the table
// knows is ASCII; anything from U+0080 on has no single-byte code in the
// table's alphabet.
inline int value(const std::array<std::int8_t, 256> &t, char16_t c)
{
    return c < 0x80 ? t[c] : -1;
}

// Every byte from 0x80 on is -1 in the table.
inline int value(const std::array<std::int8_t, 256> &t, char c)
{
    return t[static_cast<unsigned char>(c)];
}

template <typename Char> void decode(const Char *s, qsizetype size, DecodedByteSink &sink)
{
    if (size == 0 || !sink.accepting())
        return;
    const auto &t = DecodeTables::instance().uu;
    const int n = value(t, s[0]);
    // n >= -1, so n + 2 >= 1 and integer division is the floor.
    const qsizetype expected = 4 * ((n + 2) / 3) + 1;
    if (size != expected) {
        sink.reject();
        return;
    }
    // At most 63 bytes: one write per line. Each group writes its three
    // bytes; the count cuts off what the last group holds beyond it.
    char out[66];
    int count = 0;
    bool bad = false;
    const Char *p = s + 1;
    for (; count < n; count += 3, p += 4) {
        const int a = value(t, p[0]);
        const int b = value(t, p[1]);
        const int c = value(t, p[2]);
        const int d = value(t, p[3]);
        if ((a | b | c | d) < 0) {
            bad = true;
            break;
        }
        out[count] = static_cast<char>((a << 2) | (b >> 4));
        out[count + 1] = static_cast<char>(((b & 0x0F) << 4) | (c >> 2));
        out[count + 2] = static_cast<char>(((c & 0x03) << 6) | d);
    }
    const int written = bad ? count : n;
    if (written > 0)
        sink.write(out, written);
    // The file may have been closed by the write (it could not be opened):
    // then there is nothing left to reject.
    if (bad && sink.accepting())
        sink.reject();
}

} // namespace

void UuDecoder::decodeLine(QStringView line, DecodedByteSink &sink)
{
    decode(line.utf16(), line.size(), sink);
}

void UuDecoder::decodeLine(QByteArrayView line, DecodedByteSink &sink)
{
    decode(line.data(), line.size(), sink);
}
