#pragma once
// Base64 as the repairs write it back over the text they repaired.

#include "platform/bytes.h"

#include <cstdint>
#include <string_view>

namespace keldor::charset {

inline constexpr std::string_view kBase64Alphabet =
    "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";

// The character of the low six bits of `bits`.
constexpr char base64Character(std::uint32_t bits) {
    return kBase64Alphabet[bits & 0x3F];
}

// Four characters for every three bytes, and four for a last group of one
// or two bytes too (the bits it lacks count as zero), never "=": the caller
// keeps whatever its text had past the bytes.
inline Bytes encodeBase64(ByteView bytes) {
    Bytes text;
    text.reserve((bytes.size() + 2) / 3 * 4);
    for (std::size_t i = 0; i < bytes.size(); i += 3) {
        std::uint32_t group = byteAt(bytes, i) << 16;
        if (i + 1 < bytes.size()) {
            group |= byteAt(bytes, i + 1) << 8;
        }
        if (i + 2 < bytes.size()) {
            group |= byteAt(bytes, i + 2);
        }
        for (int shift = 18; shift >= 0; shift -= 6) {
            text += base64Character(group >> shift);
        }
    }
    return text;
}

} // namespace keldor::charset
