#include "repair/base64_word_repair.h"

#include "charset/base64_encoding.h"
#include "platform/text.h"
#include "repair/japanese_text_repair.h"

#include <algorithm>
#include <array>
#include <cstdint>
#include <vector>

namespace keldor::repair {
namespace {

using TextRepairer = StepEnd (*)(Bytes&, const RepairOptions&);

// The decoded bytes of a text, and which of them depend on a lost character.
struct TrackedBytes {
    Bytes bytes;
    std::vector<bool> lost;
};

// Decodes `text`. A decoded byte is lost exactly when one of the characters
// that give it bits was lost; it then comes out as 0x00. "=" and stray bytes
// give no bits. A last group of two or three characters (text written
// without padding) still gives the one or two bytes it fully covers.
TrackedBytes decodeTrackingLoss(ByteView text) {
    const std::size_t n = text.size();
    std::size_t length = n * 3 / 4;
    if (n >= 1 && text[n - 1] == '=') {
        const std::size_t padding = (n >= 2 && text[n - 2] == '=') ? 2 : 1;
        length = length > padding ? length - padding : 0;
    }
    TrackedBytes decoded{Bytes(length, '\0'), std::vector<bool>(length, false)};
    std::size_t out = 0;
    std::uint32_t accumulator = 0;
    std::array<bool, 4> lost{}; // by place in the group, 0 for the first character

    const auto emit = [&](std::size_t count) {
        const bool byteLost[3] = {lost[0] || lost[1], lost[1] || lost[2], lost[2] || lost[3]};
        for (std::size_t k = 0; k < count && out < length; ++k, ++out) {
            const unsigned value = (accumulator >> (16 - 8 * k)) & 0xFF;
            decoded.bytes[out] = byteLost[k] ? '\0' : toByte(value);
            decoded.lost[out] = byteLost[k];
        }
    };

    for (std::size_t i = 0; i < n; ++i) {
        const unsigned c = byteAt(text, i);
        const int value = platform::base64DigitValue(c);
        if (value >= 0) {
            accumulator += static_cast<std::uint32_t>(value);
        } else if (c == 0) {
            lost[i % 4] = true;
        }
        if (i % 4 == 3) {
            emit(3);
            accumulator = 0;
            lost = {};
        } else {
            accumulator <<= 6;
        }
    }
    if (const std::size_t rest = n % 4; rest >= 2) {
        accumulator <<= 6 * (3 - rest);
        emit(rest - 1);
    }
    return decoded;
}

// Lets the text repairer fill the lost bytes only. A decoded byte that is
// 0x00 without being lost (from "AAAA", or from stray bytes, which give no
// bits) would look lost to it, so it is hidden behind a blank meanwhile.
void repairLostBytes(TrackedBytes& decoded, TextRepairer repairText, const RepairOptions& options) {
    Bytes& bytes = decoded.bytes;
    std::vector<bool> hidden(bytes.size(), false);
    for (std::size_t i = 0; i < bytes.size(); ++i) {
        if (bytes[i] == '\0' && !decoded.lost[i]) {
            bytes[i] = ' ';
            hidden[i] = true;
        }
    }
    (void)repairText(bytes, options);
    for (std::size_t i = 0; i < bytes.size(); ++i) {
        if (hidden[i] && bytes[i] == ' ') {
            bytes[i] = '\0';
        }
    }
}

StepEnd repairBase64Word(Bytes& line, std::size_t start, std::size_t end, TextRepairer repairText,
                         const RepairOptions& options) {
    if (end > line.size()) {
        return StepEnd::PastLineEnd;
    }
    if (start >= end) {
        return StepEnd::Completed;
    }
    const std::size_t n = end - start;
    const Bytes original = line.substr(start, n);
    const TrackedBytes before = decodeTrackingLoss(original);
    TrackedBytes after = before;
    if (std::find(before.lost.begin(), before.lost.end(), true) != before.lost.end()) {
        repairLostBytes(after, repairText, options);
    }
    const Bytes& decoded = after.bytes;

    Bytes text = charset::encodeBase64(decoded);
    text.resize(std::min(text.size(), n));
    if (text.size() < n) { // characters the bytes do not reach keep their place
        text += ByteView(original).substr(text.size());
    }
    // Decoded bytes still lost at the very end of the last group are taken
    // as lost padding: the characters that would carry only them become "=".
    // Counted within the last group, so that text that already ends in "="
    // gets its second "=" rather than a NUL byte.
    if (const std::size_t length = decoded.size(); length >= 1) {
        const std::size_t groupStart = (length - 1) / 3 * 3;
        std::size_t kept = length - groupStart;
        while (kept > 1 && decoded[groupStart + kept - 1] == '\0' &&
               after.lost[groupStart + kept - 1]) {
            --kept;
        }
        const std::size_t charStart = groupStart / 3 * 4;
        for (std::size_t k = kept + 1; k < 4 && charStart + k < n; ++k) {
            text[charStart + k] = '=';
        }
    }
    // Only a group of four characters that lost one of them, or whose bytes
    // the text repair changed, is written: every other group keeps its
    // characters, canonical or not, so nothing changes far from a loss.
    const auto touched = [&](std::size_t group) {
        for (std::size_t k = group * 4; k < group * 4 + 4 && k < n; ++k) {
            if (original[k] == '\0') {
                return true;
            }
        }
        for (std::size_t b = group * 3; b < group * 3 + 3 && b < decoded.size(); ++b) {
            if (decoded[b] != before.bytes[b]) {
                return true;
            }
        }
        return false;
    };
    // Padding stays where it is. So does any other byte that is neither a
    // base64 character nor lost: such a byte means the range ran into
    // something else (the next word's "?iso-2022-jp?B?" after a lost "?= ="),
    // whose bytes survived and must not be overwritten.
    for (std::size_t group = 0; group * 4 < n; ++group) {
        if (!touched(group)) {
            continue;
        }
        for (std::size_t k = group * 4; k < group * 4 + 4 && k < n; ++k) {
            const unsigned c = byteAt(original, k);
            if (c == 0 || platform::base64DigitValue(c) >= 0) {
                line[start + k] = text[k];
            }
        }
    }
    return StepEnd::Completed;
}

} // namespace

StepEnd repairBase64Jis(Bytes& line, std::size_t start, std::size_t end,
                        const RepairOptions& options) {
    return repairBase64Word(line, start, end, repairJisLine, options);
}

StepEnd repairBase64Sjis(Bytes& line, std::size_t start, std::size_t end,
                         const RepairOptions& options) {
    return repairBase64Word(line, start, end, repairSjisLine, options);
}

StepEnd repairBase64Euc(Bytes& line, std::size_t start, std::size_t end,
                        const RepairOptions& options) {
    return repairBase64Word(line, start, end, repairEucLine, options);
}

} // namespace keldor::repair
