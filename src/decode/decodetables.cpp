#include "decode/decodetables.h"

#include <cstddef>

using std::size_t;

namespace {

template <size_t N> std::array<std::int8_t, 256> build(const char (&alphabet)[N])
{
    static_assert(N == 65, "an alphabet of 64 characters");
    std::array<std::int8_t, 256> t;
    t.fill(-1);
    for (size_t p = 0; p < 64; ++p)
        t[static_cast<unsigned char>(alphabet[p])] = static_cast<std::int8_t>(p);
    return t;
}

} // namespace

std::array<std::int8_t, 256> DecodeTables::buildUu()
{
    auto t = build("`!\"#$%&'()*+,-./0123456789:;<=>?@ABCDEFGHIJKLMNOPQRSTUVWXYZ[\\]^_");
    t[' '] = 0;
    return t;
}

std::array<std::int8_t, 256> DecodeTables::buildBase64()
{
    auto t = build("ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/");
    t['='] = 0;
    return t;
}

const DecodeTables &DecodeTables::instance()
{
    static const DecodeTables tables{buildUu(), buildBase64()};
    return tables;
}
