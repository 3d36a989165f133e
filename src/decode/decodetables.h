#pragma once

#include <array>
#include <cstdint>

// Character-to-6-bit tables of the decoders, indexed by a character's
// single-byte code; -1 marks a character outside the alphabet.
struct DecodeTables {
    std::array<std::int8_t, 256> uu;
    std::array<std::int8_t, 256> base64;

    static const DecodeTables &instance();

    // uuencode: back-quote then "!".."_" are 0..63, and space is 0 as well.
    static std::array<std::int8_t, 256> buildUu();
    // base64: "A".."Z","a".."z","0".."9","+","/" are 0..63, and "=" is 0.
    static std::array<std::int8_t, 256> buildBase64();
};
