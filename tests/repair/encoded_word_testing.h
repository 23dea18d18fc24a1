#pragma once
// Small encoders and a decoder of base64 and quoted-printable for the repair
// tests, written apart from the repair code (base64 by hand, character sets
// through the tests' own converter), so that a test can lay out a body and
// check what a repaired header line decodes to.

#include "platform/bytes.h"

#include "tests/support/charset_conversion.h"

#include <algorithm>
#include <cctype>
#include <optional>
#include <string>
#include <string_view>

namespace keldor::repair::testing {

constexpr std::string_view kBase64Digits =
    "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";

inline std::string base64Encode(std::string_view bytes) {
    std::string out;
    for (std::size_t i = 0; i < bytes.size(); i += 3) {
        const std::size_t take = std::min<std::size_t>(3, bytes.size() - i);
        unsigned long group = 0;
        for (std::size_t k = 0; k < 3; ++k) {
            group = group << 8 | (k < take ? static_cast<unsigned char>(bytes[i + k]) : 0u);
        }
        for (std::size_t k = 0; k < 4; ++k) {
            out += k <= take ? kBase64Digits[(group >> (18 - 6 * k)) & 0x3F] : '=';
        }
    }
    return out;
}

// nullopt for a character outside the alphabet or misplaced padding.
inline std::optional<std::string> base64Decode(std::string_view text) {
    std::string out;
    unsigned long bits = 0;
    int count = 0;
    std::size_t i = 0;
    for (; i < text.size() && text[i] != '='; ++i) {
        const std::size_t v = kBase64Digits.find(text[i]);
        if (v == std::string_view::npos) {
            return std::nullopt;
        }
        bits = (bits << 6 | v) & 0xFFFFFF;
        if (++count % 4 == 0) {
            out += static_cast<char>(bits >> 16 & 0xFF);
            out += static_cast<char>(bits >> 8 & 0xFF);
            out += static_cast<char>(bits & 0xFF);
        }
    }
    const std::size_t padding = text.size() - i;
    if ((count + padding) % 4 != 0 || padding > 2 || text.find_first_not_of('=', i) != text.npos) {
        return std::nullopt;
    }
    if (count % 4 == 2) {
        out += static_cast<char>(bits >> 4 & 0xFF);
    } else if (count % 4 == 3) {
        out += static_cast<char>(bits >> 10 & 0xFF);
        out += static_cast<char>(bits >> 2 & 0xFF);
    }
    return out;
}

// nullopt when the bytes do not convert.
inline std::optional<std::string> convert(std::string_view in, const char* from, const char* to) {
    return keldor::testing::convertCharset(in, from, to);
}

inline const char* iconvName(std::string_view charset) {
    if (charset == "iso-2022-jp") {
        return "ISO-2022-JP";
    }
    if (charset == "shift_jis") {
        return "CP932";
    }
    return "EUC-JP";
}

// "=?charset?B?...?=" for UTF-8 text.
inline std::string encodedWord(std::string_view charset, std::string_view utf8) {
    const std::optional<std::string> bytes = convert(utf8, "UTF-8", iconvName(charset));
    return "=?" + std::string(charset) + "?B?" + base64Encode(bytes.value_or("")) + "?=";
}

struct DecodedWord {
    std::string charset; // lower case
    std::string bytes;
};

// The first base64 encoded word in `line`, with any lost byte left in the
// line read as a space (as the pipeline writes it back).
inline std::optional<DecodedWord> decodeFirstWordBytes(std::string line) {
    for (char& c : line) {
        c = c == '\0' ? ' ' : c;
    }
    const std::size_t d = line.find("=?");
    if (d == line.npos) {
        return std::nullopt;
    }
    const std::size_t q1 = line.find('?', d + 2);
    if (q1 == line.npos || q1 + 2 >= line.size() || line[q1 + 2] != '?') {
        return std::nullopt;
    }
    if (line[q1 + 1] != 'B' && line[q1 + 1] != 'b') {
        return std::nullopt;
    }
    const std::size_t e = line.find("?=", q1 + 3);
    if (e == line.npos) {
        return std::nullopt;
    }
    std::string charset = line.substr(d + 2, q1 - d - 2);
    for (char& c : charset) {
        c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    }
    const std::optional<std::string> bytes = base64Decode(line.substr(q1 + 3, e - q1 - 3));
    if (!bytes) {
        return std::nullopt;
    }
    return DecodedWord{charset, *bytes};
}

// The same word as UTF-8 text.
inline std::optional<std::string> decodeFirstWord(const std::string& line) {
    const std::optional<DecodedWord> word = decodeFirstWordBytes(line);
    if (!word) {
        return std::nullopt;
    }
    return convert(word->bytes, iconvName(word->charset), "UTF-8");
}

// True when `repaired` is `original` with one stretch of it (at most
// `maxLost` characters, possibly none) given as replacement characters only.
inline bool lostOnlyAsReplacements(const std::u32string& original, const std::u32string& repaired,
                                   std::size_t maxLost) {
    std::size_t prefix = 0;
    while (prefix < original.size() && prefix < repaired.size() &&
           original[prefix] == repaired[prefix]) {
        ++prefix;
    }
    std::size_t suffix = 0;
    while (suffix < original.size() - prefix && suffix < repaired.size() - prefix &&
           original[original.size() - 1 - suffix] == repaired[repaired.size() - 1 - suffix]) {
        ++suffix;
    }
    for (std::size_t i = prefix; i < repaired.size() - suffix; ++i) {
        if (repaired[i] != U'*' && repaired[i] != U'■') {
            return false;
        }
    }
    return original.size() - prefix - suffix <= maxLost;
}

inline std::u32string utf32(std::string_view utf8) {
    const std::optional<std::string> wide = convert(utf8, "UTF-8", "UTF-32LE");
    std::u32string out;
    for (std::size_t i = 0; wide && i + 4 <= wide->size(); i += 4) {
        out += static_cast<char32_t>(static_cast<unsigned char>((*wide)[i]) |
                                     static_cast<unsigned char>((*wide)[i + 1]) << 8 |
                                     static_cast<unsigned char>((*wide)[i + 2]) << 16 |
                                     static_cast<unsigned char>((*wide)[i + 3]) << 24);
    }
    return out;
}

// Base64 with `lineEnd` after every `width` characters and at the end.
inline std::string base64Lines(std::string_view data, std::size_t width = 76,
                               std::string_view lineEnd = "\r\n") {
    const std::string chars = base64Encode(data);
    std::string text;
    for (std::size_t i = 0; i < chars.size(); i += width) {
        text += chars.substr(i, width);
        text += lineEnd;
    }
    return text;
}

// Quoted-printable as mail programs write it: escapes for "=", control and
// 8-bit bytes (and blanks, space and tab, where `escapeBlanks`), soft line
// breaks before 76 characters, CR LF lines.
inline std::string quotedPrintable(std::string_view text, bool escapeBlanks) {
    constexpr char kHex[] = "0123456789ABCDEF";
    std::string out;
    std::size_t column = 0;
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (text.substr(i, 2) == "\r\n") {
            out += "\r\n";
            column = 0;
            ++i;
            continue;
        }
        const auto b = static_cast<unsigned char>(text[i]);
        std::string piece(1, text[i]);
        const bool blank = b == ' ' || b == '\t';
        if (b == '=' || b >= 0x7F || (b < 0x20 && !blank) || (blank && escapeBlanks)) {
            piece = {'=', kHex[b >> 4], kHex[b & 0xF]};
        }
        if (column + piece.size() > 75) {
            out += "=\r\n";
            column = 0;
        }
        out += piece;
        column += piece.size();
    }
    return out;
}

} // namespace keldor::repair::testing
