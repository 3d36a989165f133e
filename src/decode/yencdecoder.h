#pragma once

#include <QByteArrayView>

class DecodedByteSink;

// One body line of a yEnc block (the data lines between "=ybegin"/"=ypart"
// and "=yend"). Every byte is the data byte plus 42; "=" escapes the next
// byte, which carries a further 64. CR, LF and NUL are never data and are
// dropped. An "=" at the very end of the line escapes nothing and is
// dropped too. No state is kept between lines.
namespace YencDecoder {
// Decodes `size` bytes at `in` into `out`, which has room for size + 32
// bytes (the vector loops store whole blocks). Returns the number of
// bytes decoded (at most size).
qsizetype decode(const char *in, qsizetype size, char *out);
// The loops decode() chooses from by the processor it runs on.
enum class Loop { Bytes, Ssse3, Avx2 };
// decode() with the given loop; -1 when this processor cannot run it.
qsizetype decodeWith(Loop loop, const char *in, qsizetype size, char *out);
// Decodes the line and hands its bytes to the sink, in pieces of a few
// kilobytes.
void decodeLine(QByteArrayView line, DecodedByteSink &sink);
} // namespace YencDecoder
