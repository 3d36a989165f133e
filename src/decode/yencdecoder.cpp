#include "decode/yencdecoder.h"

#include "decode/decodedbytesink.h"

#include <array>
#include <cstdint>
#include <cstring>

#if (defined(__x86_64__) || defined(__i386__)) && defined(__GNUC__)
#define KAPLO_YENC_X86 1
#include <immintrin.h>
#endif

namespace {

// Decoded bytes are handed over in pieces of this size: a usual line
// (128 to 256 characters) is one write.
constexpr qsizetype ChunkBytes = 4096;

// The bytes from `i` to `end` one at a time. `escaped` says that the byte
// before `i` was an escape character; it is updated for the byte before
// `end`.
inline unsigned char *decodeBytes(const unsigned char *s, qsizetype i, qsizetype end,
                                  unsigned char *o, bool &escaped)
{
    for (; i < end; ++i) {
        const unsigned char c = s[i];
        if (escaped) {
            *o++ = static_cast<unsigned char>(c - 64 - 42);
            escaped = false;
        } else if (c == '=') {
            escaped = true;
        } else if (c != '\r' && c != '\n' && c != 0) {
            *o++ = static_cast<unsigned char>(c - 42);
        }
    }
    return o;
}

#if defined(KAPLO_YENC_X86)

// For every set of kept bytes among eight (bit k set: byte k is kept), the
// shuffle that moves them to the front, for the low eight bytes of a vector
// lane and for the high eight, and how many there are.
struct Compaction {
    std::array<std::uint64_t, 256> low{};
    std::array<std::uint64_t, 256> high{};
    std::array<std::uint8_t, 256> count{};
};

constexpr Compaction makeCompaction()
{
    Compaction t;
    for (unsigned keep = 0; keep < 256; ++keep) {
        std::uint64_t indices = 0;
        unsigned n = 0;
        for (unsigned k = 0; k < 8; ++k) {
            if (keep & (1u << k))
                indices |= std::uint64_t(k) << (8 * n++);
        }
        t.low[keep] = indices;
        t.high[keep] = indices + 0x0808080808080808ULL;
        t.count[keep] = static_cast<std::uint8_t>(n);
    }
    return t;
}

constexpr Compaction kCompaction = makeCompaction();

// The blocks are decoded with vectors while no "=" follows an escape
// character (never so in what encoders write: an escaped byte is the
// critical byte plus 64, "@", "J", "M" or "}"); a block where one does is
// decoded one byte at a time. In a vector block, a byte is an
// escape character when it is "=", escaped when the byte before it is one
// (or, for the first byte, the block before ended in one); escape
// characters and unescaped CR, LF and NUL are dropped, the rest moved
// together by a shuffle.

// The shuffle that moves the kept bytes of sixteen together, and storing
// the result: eight and eight, the second eight where the first end.
// Writes up to 16 bytes from `o`.
__attribute__((target("ssse3"))) inline __m128i keptShuffle(unsigned keep)
{
    return _mm_unpacklo_epi64(
        _mm_loadl_epi64(reinterpret_cast<const __m128i *>(&kCompaction.low[keep & 0xFF])),
        _mm_loadl_epi64(reinterpret_cast<const __m128i *>(&kCompaction.high[keep >> 8])));
}

__attribute__((target("ssse3"))) inline unsigned char *storePacked(__m128i packed, unsigned keep,
                                                                   unsigned char *o)
{
    _mm_storel_epi64(reinterpret_cast<__m128i *>(o), packed);
    o += kCompaction.count[keep & 0xFF];
    _mm_storeh_pi(reinterpret_cast<__m64 *>(o), _mm_castsi128_ps(packed));
    return o + kCompaction.count[keep >> 8];
}

// decodeBlockAvx2() for 16 bytes.
__attribute__((target("ssse3"))) inline unsigned char *
decodeBlockSsse3(const unsigned char *block, unsigned n, unsigned char *o, bool &escaped)
{
    const __m128i v = _mm_loadu_si128(reinterpret_cast<const __m128i *>(block));
    const __m128i isEq = _mm_cmpeq_epi8(v, _mm_set1_epi8('='));
    const __m128i isEnd = _mm_or_si128(_mm_or_si128(_mm_cmpeq_epi8(v, _mm_set1_epi8('\r')),
                                                    _mm_cmpeq_epi8(v, _mm_set1_epi8('\n'))),
                                       _mm_cmpeq_epi8(v, _mm_setzero_si128()));
    const auto eqMask = static_cast<unsigned>(_mm_movemask_epi8(isEq));
    const auto endMask = static_cast<unsigned>(_mm_movemask_epi8(isEnd));
    const unsigned escapedMask = ((eqMask << 1) | unsigned(escaped)) & 0xFFFF;
    if (eqMask & escapedMask) [[unlikely]]
        return decodeBytes(block, 0, n, o, escaped);
    const __m128i after =
        _mm_or_si128(_mm_slli_si128(isEq, 1), _mm_cvtsi32_si128(escaped ? 0xFF : 0));
    const __m128i decoded =
        _mm_sub_epi8(_mm_sub_epi8(v, _mm_set1_epi8(42)), _mm_and_si128(after, _mm_set1_epi8(64)));
    unsigned keep = ~(eqMask | (endMask & ~escapedMask)) & ((1u << n) - 1);
    escaped = (eqMask >> 15) != 0;
    return storePacked(_mm_shuffle_epi8(decoded, keptShuffle(keep)), keep, o);
}

__attribute__((target("ssse3"))) qsizetype decodeSsse3(const unsigned char *s, qsizetype size,
                                                       unsigned char *out)
{
    unsigned char *o = out;
    qsizetype i = 0;
    bool escaped = false;
    for (; i + 16 <= size; i += 16)
        o = decodeBlockSsse3(s + i, 16, o, escaped);
    if (i < size) {
        unsigned char last[16] = {};
        const auto n = static_cast<unsigned>(size - i);
        std::memcpy(last, s + i, n);
        o = decodeBlockSsse3(last, n, o, escaped);
    }
    return o - out;
}

// 0xFF at byte 32 and nowhere else: the 32 bytes from kEdge + 32 - k have
// 0xFF at byte k.
alignas(64) constexpr std::array<unsigned char, 64> kEdge = [] {
    std::array<unsigned char, 64> e{};
    e[32] = 0xFF;
    return e;
}();

// Decodes bytes `skip` to `end` of the 32 at `block` (the others are no
// data, or were decoded before) to `o`; returns the end of the decoded
// bytes. Writes up to 32 bytes from `o`.
template <bool Partial>
__attribute__((target("avx2"))) inline unsigned char *
decodeBlockAvx2(const unsigned char *block, unsigned skip, unsigned end, unsigned char *o,
                bool &escaped)
{
    const __m256i v = _mm256_loadu_si256(reinterpret_cast<const __m256i *>(block));
    const __m256i isEq = _mm256_cmpeq_epi8(v, _mm256_set1_epi8('='));
    const __m256i isEnd =
        _mm256_or_si256(_mm256_or_si256(_mm256_cmpeq_epi8(v, _mm256_set1_epi8('\r')),
                                        _mm256_cmpeq_epi8(v, _mm256_set1_epi8('\n'))),
                        _mm256_cmpeq_epi8(v, _mm256_setzero_si256()));
    const std::uint32_t valid = (end < 32 ? (std::uint32_t(1) << end) - 1 : ~std::uint32_t(0)) &
                                (~std::uint32_t(0) << skip);
    const auto eqMask = static_cast<std::uint32_t>(_mm256_movemask_epi8(isEq)) & valid;
    const auto endMask = static_cast<std::uint32_t>(_mm256_movemask_epi8(isEnd));
    const std::uint32_t escapedMask = (eqMask << 1) | (std::uint32_t(escaped) << skip);
    if (eqMask & escapedMask) [[unlikely]]
        return decodeBytes(block, skip, end, o, escaped);
    // isEq moved up one byte across the two lanes: the bytes after an
    // escape character. Byte `skip` is escaped as the bytes before say.
    __m256i after = _mm256_alignr_epi8(isEq, _mm256_permute2x128_si256(isEq, isEq, 0x08), 15);
    if (!Partial || skip == 0) {
        after = _mm256_or_si256(after, _mm256_setr_epi64x(escaped ? 0xFF : 0, 0, 0, 0));
    } else {
        const __m256i edge =
            _mm256_loadu_si256(reinterpret_cast<const __m256i *>(kEdge.data() + 32 - skip));
        after = _mm256_andnot_si256(edge, after);
        if (escaped)
            after = _mm256_or_si256(after, edge);
    }
    const __m256i decoded = _mm256_sub_epi8(_mm256_sub_epi8(v, _mm256_set1_epi8(42)),
                                            _mm256_and_si256(after, _mm256_set1_epi8(64)));
    // Not the bytes outside, nor the byte after a final "=".
    const std::uint32_t keep = ~(eqMask | (endMask & ~escapedMask)) & valid;
    const __m256i packed = _mm256_shuffle_epi8(
        decoded, _mm256_setr_m128i(keptShuffle(keep & 0xFFFF), keptShuffle(keep >> 16)));
    o = storePacked(_mm256_castsi256_si128(packed), keep & 0xFFFF, o);
    o = storePacked(_mm256_extracti128_si256(packed, 1), keep >> 16, o);
    escaped = (eqMask >> 31) != 0;
    return o;
}

__attribute__((target("avx2"))) qsizetype decodeAvx2(const unsigned char *s, qsizetype size,
                                                     unsigned char *out)
{
    unsigned char *o = out;
    qsizetype i = 0;
    bool escaped = false;
    for (; i + 32 <= size; i += 32)
        o = decodeBlockAvx2<false>(s + i, 0, 32, o, escaped);
    if (i == size)
        return o - out;
    const auto n = static_cast<unsigned>(size - i);
    if (size >= 32) {
        // The last 32 bytes of the line, of which the first were decoded.
        o = decodeBlockAvx2<true>(s + size - 32, 32 - n, 32, o, escaped);
    } else {
        // The whole line padded with NUL, which is no data.
        alignas(32) unsigned char last[32] = {};
        std::memcpy(last, s, n);
        o = decodeBlockAvx2<true>(last, 0, n, o, escaped);
    }
    return o - out;
}

#endif

qsizetype decodePortable(const unsigned char *s, qsizetype size, unsigned char *out)
{
    bool escaped = false;
    return decodeBytes(s, 0, size, out, escaped) - out;
}

using DecodeFunction = qsizetype (*)(const unsigned char *, qsizetype, unsigned char *);

// The fastest loop this processor runs, chosen once.
DecodeFunction chooseDecode()
{
#if defined(KAPLO_YENC_X86)
    __builtin_cpu_init();
    if (__builtin_cpu_supports("avx2"))
        return decodeAvx2;
    if (__builtin_cpu_supports("ssse3"))
        return decodeSsse3;
#endif
    return decodePortable;
}

} // namespace

qsizetype YencDecoder::decode(const char *in, qsizetype size, char *out)
{
    static const DecodeFunction decodeFunction = chooseDecode();
    return decodeFunction(reinterpret_cast<const unsigned char *>(in), size,
                          reinterpret_cast<unsigned char *>(out));
}

qsizetype YencDecoder::decodeWith(Loop loop, const char *in, qsizetype size, char *out)
{
    const auto *s = reinterpret_cast<const unsigned char *>(in);
    auto *o = reinterpret_cast<unsigned char *>(out);
    switch (loop) {
    case Loop::Bytes:
        return decodePortable(s, size, o);
#if defined(KAPLO_YENC_X86)
    case Loop::Ssse3:
        __builtin_cpu_init();
        return __builtin_cpu_supports("ssse3") ? decodeSsse3(s, size, o) : -1;
    case Loop::Avx2:
        __builtin_cpu_init();
        return __builtin_cpu_supports("avx2") ? decodeAvx2(s, size, o) : -1;
#endif
    default:
        return -1;
    }
}

void YencDecoder::decodeLine(QByteArrayView line, DecodedByteSink &sink)
{
    if (line.isEmpty() || !sink.accepting())
        return;
    // A usual line goes straight into the sink's memory.
    if (line.size() <= ChunkBytes) {
        if (char *room = sink.lend(line.size() + 32)) {
            sink.written(decode(line.data(), line.size(), room));
            return;
        }
    }
    char out[ChunkBytes + 32];
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
        p += take;
        left -= take;
        if (n > 0) {
            sink.write(out, n);
            if (left > 0 && !sink.accepting())
                return;
        }
    }
}
