#include "decode/base64decoder.h"

#include "decode/decodedbytesink.h"

namespace {

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
    const int lastTake = Base64Decoder::lastGroupBytes(s, len);

    char out[ChunkBytes];
    qsizetype used = 0;
    bool bad = false;
    for (qsizetype pos = 0; pos < len; pos += 4) {
        if (!Base64Decoder::decodeGroup(t, s + pos, out + used)) {
            bad = true;
            break;
        }
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
