#pragma once
// The two kinds of strings of this code base: raw mail bytes and UTF-16 text.

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

namespace keldor {

using Bytes = std::string;         // raw 8-bit bytes as they came from a file, never assumed UTF-8
using ByteView = std::string_view; // a read-only view of such bytes
using Text = std::u16string;       // UTF-16 text for people and file names
using TextView = std::u16string_view;

inline unsigned byteAt(ByteView s, std::size_t i) {
    return static_cast<unsigned char>(s[i]); // char is signed on our compilers
}

inline char toByte(unsigned value) {
    return static_cast<char>(static_cast<unsigned char>(value));
}

} // namespace keldor
