#include "decode/yencdecoder.h"

#include "decode/decodedbytesink.h"

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

namespace {

// Decoded bytes are handed over in pieces of this size: a usual line
// (128 to 256 characters) is one write.
constexpr qsizetype ChunkBytes = 4096;

} // namespace

qsizetype YencDecoder::decode(const char *in, qsizetype size, char *out)
{
    const auto *s = reinterpret_cast<const unsigned char *>(in);
    auto *o = reinterpret_cast<unsigned char *>(out);
    qsizetype i = 0;
#if defined(__SSE2__)
    // Sixteen bytes at a time while none of them is "=", CR, LF or NUL;
    // the block is stored decoded in any case and the output moves on only
    // past the plain bytes before the first special one.
    const __m128i eq = _mm_set1_epi8('=');
    const __m128i cr = _mm_set1_epi8('\r');
    const __m128i lf = _mm_set1_epi8('\n');
    const __m128i zero = _mm_setzero_si128();
    const __m128i offset = _mm_set1_epi8(42);
    while (i + 16 <= size) {
        const __m128i v = _mm_loadu_si128(reinterpret_cast<const __m128i *>(s + i));
        const __m128i special =
            _mm_or_si128(_mm_or_si128(_mm_cmpeq_epi8(v, eq), _mm_cmpeq_epi8(v, cr)),
                         _mm_or_si128(_mm_cmpeq_epi8(v, lf), _mm_cmpeq_epi8(v, zero)));
        _mm_storeu_si128(reinterpret_cast<__m128i *>(o), _mm_sub_epi8(v, offset));
        const int mask = _mm_movemask_epi8(special);
        if (mask == 0) {
            o += 16;
            i += 16;
            continue;
        }
        const int plain = __builtin_ctz(static_cast<unsigned>(mask));
        o += plain;
        i += plain;
        if (s[i] == '=') {
            if (i + 1 < size)
                *o++ = static_cast<unsigned char>(s[i + 1] - 64 - 42);
            i += 2;
        } else {
            i += 1;
        }
    }
#endif
    while (i < size) {
        const unsigned char c = s[i];
        if (c == '=') {
            if (i + 1 < size)
                *o++ = static_cast<unsigned char>(s[i + 1] - 64 - 42);
            i += 2;
        } else {
            if (c != '\r' && c != '\n' && c != 0)
                *o++ = static_cast<unsigned char>(c - 42);
            i += 1;
        }
    }
    return o - reinterpret_cast<unsigned char *>(out);
}

void YencDecoder::decodeLine(QByteArrayView line, DecodedByteSink &sink)
{
    if (line.isEmpty() || !sink.accepting())
        return;
    char out[ChunkBytes + 16];
    const char *p = line.data();
    qsizetype left = line.size();
    while (left > 0) {
        qsizetype take = left < ChunkBytes ? left : ChunkBytes;
        // An escape is not split between two pieces.
        if (take < left && p[take - 1] == '=') {
            // Count the run of "=" before the cut: an even run ends in a
            // complete escape pair, an odd one in an escape character.
            qsizetype run = 0;
            while (run < take && p[take - 1 - run] == '=')
                ++run;
            if (run % 2 == 1)
                --take;
        }
        const qsizetype n = decode(p, take, out);
        if (n > 0) {
            sink.write(out, n);
            if (!sink.accepting())
                return;
        }
        p += take;
        left -= take;
    }
}
