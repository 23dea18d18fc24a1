#pragma once
// ASCII letter case folding, the one place it is done: names that Windows
// compares without regard to case (registry key and value names, drive
// letters, mailbox and device file names), and header names, parameters and
// dates in mail, which compare the same way. Only A-Z fold; every other byte
// or code unit stays as it is, so positions in a folded copy are positions
// in the original. The names and header text that matter here are ASCII or
// Japanese, which has no case.

#include "platform/bytes.h"

#include <cstdint>

namespace keldor::platform {

// Narrow arithmetic and one compare, so that loops over these vectorize.
constexpr std::uint8_t foldedByte(std::uint8_t byte) {
    return static_cast<std::uint8_t>(byte - 'A') < 26
               ? static_cast<std::uint8_t>(byte + ('a' - 'A'))
               : byte;
}

constexpr char16_t foldedUnit(char16_t c) {
    return static_cast<char16_t>(c - u'A') < 26 ? static_cast<char16_t>(c + (u'a' - u'A')) : c;
}

inline Text foldCase(TextView text) {
    Text folded(text.size(), u'\0');
    for (std::size_t i = 0; i < text.size(); ++i) {
        folded[i] = foldedUnit(text[i]);
    }
    return folded;
}

// The same folding for one byte of mail: A-Z to a-z, every other byte as it is.
inline unsigned foldByte(unsigned c) {
    return c <= 0xFF ? foldedByte(static_cast<std::uint8_t>(c)) : c;
}

inline bool isUpperByte(unsigned c) {
    return c >= 'A' && c <= 'Z';
}

inline bool isLowerByte(unsigned c) {
    return c >= 'a' && c <= 'z';
}

inline bool isLetterByte(unsigned c) {
    return isUpperByte(c) || isLowerByte(c);
}

// Whether two byte strings are equal once folded.
inline bool equalsFolded(ByteView a, ByteView b) {
    if (a.size() != b.size()) {
        return false;
    }
    for (std::size_t i = 0; i < a.size(); ++i) {
        if (foldByte(byteAt(a, i)) != foldByte(byteAt(b, i))) {
            return false;
        }
    }
    return true;
}

// Whether `text` begins with `prefix`, letter case aside.
inline bool startsWithFolded(ByteView text, ByteView prefix) {
    return text.size() >= prefix.size() && equalsFolded(text.substr(0, prefix.size()), prefix);
}

// Where `needle` first stands in `text` from `from` on, letter case aside;
// npos when nowhere.
inline std::size_t findFolded(ByteView text, ByteView needle, std::size_t from = 0) {
    for (std::size_t i = from; i + needle.size() <= text.size(); ++i) {
        if (equalsFolded(text.substr(i, needle.size()), needle)) {
            return i;
        }
    }
    return ByteView::npos;
}

} // namespace keldor::platform
