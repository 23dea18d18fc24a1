#pragma once
// Damaged lines for the repair tests, written readably: '%' stands for a
// lost byte, and a text splits into the lines the line reader hands over.

#include "platform/bytes.h"

#include <string>
#include <vector>

namespace keldor::testing {

// A byte string from a literal that may hold 0x00 bytes.
template <std::size_t N> Bytes raw(const char (&text)[N]) {
    return Bytes(text, N - 1);
}

// `text` with every '%' made a lost (0x00) byte.
inline Bytes lost(std::string text) {
    for (char& c : text) {
        if (c == '%') {
            c = '\0';
        }
    }
    return text;
}

// The lines the line reader gives: up to and including each CR LF, and what
// follows the last one.
inline std::vector<Bytes> readLines(ByteView text) {
    std::vector<Bytes> lines;
    for (std::size_t start = 0; start < text.size();) {
        const std::size_t end = text.find("\r\n", start);
        const std::size_t next = end == ByteView::npos ? text.size() : end + 2;
        lines.emplace_back(text.substr(start, next - start));
        start = next;
    }
    return lines;
}

} // namespace keldor::testing
