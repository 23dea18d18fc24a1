#include "charset/japanese_text.h"

#include "charset/sjis_lead_byte.h"
#include "platform/cp932.h"

namespace keldor::charset {

namespace {

constexpr unsigned kEsc = 0x1B;
constexpr unsigned kShiftOut = 0x0E;
constexpr unsigned kShiftIn = 0x0F;

// The first character code page 932 makes of one or two bytes. A lead byte
// with a bad trail, or an unassigned pair, gives U+30FB.
char16_t firstCp932Char(ByteView code) {
    const Text text = platform::cp932ToText(code);
    return text.empty() ? platform::kCp932Invalid : text.front();
}

// One JIS X 0208 pair through its Shift_JIS code to a character.
char16_t jisPairChar(int j1, int j2) {
    const std::optional<Bytes> sjis = jisPairToSjis(j1, j2);
    return sjis ? firstCp932Char(*sjis) : platform::kCp932Invalid;
}

enum class JisMode { Ascii, Kanji, Kana };

// The mode an escape sequence's two bytes after ESC select, if it is one we know.
std::optional<JisMode> escapeMode(unsigned b1, unsigned b2) {
    if (b1 == 0x28 && (b2 == 0x42 || b2 == 0x4A)) {
        return JisMode::Ascii;
    }
    if (b1 == 0x28 && b2 == 0x49) {
        return JisMode::Kana;
    }
    if (b1 == 0x24 && (b2 == 0x40 || b2 == 0x42)) {
        return JisMode::Kanji;
    }
    return std::nullopt;
}

} // namespace

std::optional<Bytes> jisPairToSjis(int j1, int j2) {
    // Integer division truncates toward zero, also for bytes below 0x21.
    const int lead = (j1 - 0x21) / 2 + (j1 <= 0x5E ? 0x81 : 0xC1);
    int trail = 0;
    if (j1 % 2 != 0) {
        trail = j2 + (j2 <= 0x5F ? 0x1F : 0x20);
    } else {
        trail = j2 + 0x7E;
    }
    if (lead < 0 || lead > 0xFF || trail < 0 || trail > 0xFF) {
        return std::nullopt;
    }
    Bytes code;
    code += toByte(static_cast<unsigned>(lead));
    code += toByte(static_cast<unsigned>(trail));
    return code;
}

std::optional<Text> jisToText(ByteView bytes) {
    Text out;
    out.reserve(bytes.size());
    JisMode mode = JisMode::Ascii;
    std::size_t i = 0;
    while (i < bytes.size()) {
        const unsigned b = byteAt(bytes, i);
        if (b == kShiftOut) {
            mode = JisMode::Kana;
            ++i;
            continue;
        }
        if (b == kShiftIn) {
            mode = JisMode::Ascii;
            ++i;
            continue;
        }
        // An escape among the last two bytes cannot start a sequence; it is
        // read as an ordinary byte below.
        if (b == kEsc && i + 2 < bytes.size()) {
            if (const auto selected = escapeMode(byteAt(bytes, i + 1), byteAt(bytes, i + 2))) {
                mode = *selected;
                i += 3;
            } else {
                ++i; // unknown designation: only the escape byte goes
            }
            continue;
        }
        if (mode == JisMode::Kanji) {
            if (i + 1 < bytes.size()) {
                out += jisPairChar(static_cast<int>(b), static_cast<int>(byteAt(bytes, i + 1)));
                i += 2;
            } else {
                out += platform::kCp932Invalid;
                ++i;
            }
            continue;
        }
        if (mode == JisMode::Kana) {
            out += firstCp932Char(Bytes(1, toByte(b | 0x80)));
            ++i;
            continue;
        }
        if (isSjisLeadByte(b)) {
            if (i + 1 >= bytes.size()) {
                return std::nullopt;
            }
            out += firstCp932Char(bytes.substr(i, 2));
            i += 2;
            continue;
        }
        out += static_cast<char16_t>(b);
        ++i;
    }
    return out;
}

std::optional<Text> jisCharsToText(TextView chars) {
    Bytes bytes;
    bytes.reserve(chars.size());
    for (const char16_t c : chars) {
        bytes += toByte(c & 0xFFu);
    }
    return jisToText(bytes);
}

Text sjisToText(ByteView bytes) {
    return platform::cp932ToText(bytes);
}

Text eucToText(ByteView bytes) {
    Text out;
    out.reserve(bytes.size());
    std::size_t i = 0;
    while (i < bytes.size()) {
        const unsigned b = byteAt(bytes, i);
        if (b <= 0x80) {
            out += static_cast<char16_t>(b);
            ++i;
        } else if (i + 1 < bytes.size()) {
            out += jisPairChar(static_cast<int>(b) - 0x80,
                               static_cast<int>(byteAt(bytes, i + 1)) - 0x80);
            i += 2;
        } else {
            out += platform::kCp932Invalid;
            ++i;
        }
    }
    return out;
}

std::optional<Text> utf8ToText(ByteView bytes) {
    Text out;
    out.reserve(bytes.size());
    std::size_t i = 0;
    while (i < bytes.size()) {
        const unsigned b = byteAt(bytes, i);
        if (b < 0x80) {
            out += static_cast<char16_t>(b);
            ++i;
            continue;
        }
        std::size_t length = 3;
        if ((b & 0xE0) == 0xC0) {
            length = 2;
        } else if (b >= 0xF0 && b <= 0xF7) {
            length = 4;
        }
        if (bytes.size() - i < length) {
            return std::nullopt;
        }
        const auto cont = [&](std::size_t k) { return byteAt(bytes, i + k) & 0x3Fu; };
        if (length == 2) {
            out += static_cast<char16_t>(((b & 0x1Fu) << 6) | cont(1));
        } else if (length == 3) {
            out += static_cast<char16_t>(((b & 0x0Fu) << 12) | (cont(1) << 6) | cont(2));
        } else {
            const char32_t c = ((b & 0x07u) << 18) | (cont(1) << 12) | (cont(2) << 6) | cont(3);
            if (c > 0x10FFFF) {
                out += u'\uFFFD';
            } else if (c >= 0x10000) {
                out += static_cast<char16_t>(0xD800 + ((c - 0x10000) >> 10));
                out += static_cast<char16_t>(0xDC00 + ((c - 0x10000) & 0x3FF));
            } else {
                out += static_cast<char16_t>(c);
            }
        }
        i += length;
    }
    return out;
}

} // namespace keldor::charset
