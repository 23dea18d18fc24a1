#include "repair/encoded_word_repair.h"

#include "platform/case_fold.h"
#include "repair/base64_word_repair.h"
#include "repair/line_edit.h"

#include <array>
#include <string_view>

namespace keldor::repair {
namespace {

constexpr std::size_t npos = Bytes::npos;

// The three Japanese character sets an encoded word is repaired for. The
// prefix runs from the character-set name to the "?" before the text; its
// encoding letter, two before the text, is "B" in both forms.
struct WordCharset {
    std::string_view lowerPrefix;
    std::string_view upperPrefix;
    StepEnd (*repairBase64)(Bytes&, std::size_t, std::size_t, const RepairOptions&);
};

constexpr std::array<WordCharset, 3> kCharsets = {{
    {"iso-2022-jp?B?", "ISO-2022-JP?B?", repairBase64Jis},
    {"shift_jis?B?", "SHIFT_JIS?B?", repairBase64Sjis},
    {"euc-jp?B?", "EUC-JP?B?", repairBase64Euc},
}};

// Index of the first character of the encoded text of the word whose "=" is at d.
std::size_t textStartOf(const WordCharset& charset, std::size_t d) {
    return d + 2 + charset.lowerPrefix.size();
}

bool isLower(unsigned b) {
    return b >= 'a' && b <= 'z';
}
unsigned asciiLower(unsigned b) {
    return platform::foldedByte(static_cast<std::uint8_t>(b));
}

// The line with ASCII letters lower-cased, byte for byte, for the searches
// that ignore case.
Bytes lowerCased(ByteView line) {
    Bytes lower(line);
    for (char& c : lower) {
        c = toByte(asciiLower(static_cast<unsigned char>(c)));
    }
    return lower;
}

std::size_t findFrom(ByteView haystack, std::string_view needle, std::size_t from) {
    return from > haystack.size() ? npos : haystack.find(needle, from);
}

// The lost run took the "=?" and the start of the character-set name: find
// the surviving tail of the name after the run and write the word's first
// five bytes back in front of it, in the case of that tail.
StepEnd rebuildWordStart(Bytes& line, ByteView lower, std::size_t z) {
    struct Tail {
        std::string_view text;
        std::size_t caseAt; // index from the "=" of the letter whose case decides
        char caseLetter;
        std::string_view lowerHead;
        std::string_view upperHead;
    };
    static constexpr std::array<Tail, 3> kTails = {{
        {"-2022-jp?", 11, 'j', "iso", "ISO"},
        {"ft_jis?", 5, 'f', "shi", "SHI"},
        {"-jp?", 6, 'j', "euc", "EUC"},
    }};
    LineEdit edit(line);
    for (const Tail& tail : kTails) {
        const std::size_t hit = findFrom(lower, tail.text, z);
        if (hit == npos || hit < 5) {
            continue;
        }
        const std::size_t p = hit - 5;
        // Only a place that actually lost bytes is rebuilt: the same tail
        // further on belongs to an intact word or to plain text.
        bool holdsLost = false;
        for (std::size_t i = p; i < hit; ++i) {
            holdsLost = holdsLost || edit.isLost(i);
        }
        if (!holdsLost) {
            continue;
        }
        const std::string_view head =
            byteAt(line, p + tail.caseAt) == static_cast<unsigned char>(tail.caseLetter)
                ? tail.lowerHead
                : tail.upperHead;
        (void)edit.put(p, {'=', '?'});
        for (std::size_t i = 0; i < head.size(); ++i) {
            line[p + 2 + i] = head[i];
        }
        return StepEnd::Completed;
    }
    return StepEnd::Completed;
}

// The first letters of the character-set name were lost (the byte at d+2 is
// lost): restore them from the first surviving byte among d+3 … d+6.
StepEnd restoreLostNameStart(Bytes& line, std::size_t d) {
    LineEdit edit(line);
    std::size_t at = d + 3;
    unsigned b = 0;
    for (; at <= d + 6; ++at) {
        const std::optional<unsigned> read = edit.at(at);
        if (!read) {
            return StepEnd::PastLineEnd;
        }
        if (*read != 0) {
            b = *read;
            break;
        }
    }
    if (b == 0) {
        return StepEnd::Completed;
    }
    const auto write = [&](std::string_view text) {
        for (std::size_t i = 0; i < text.size(); ++i) {
            line[d + 2 + i] = text[i];
        }
        return StepEnd::Completed;
    };
    const auto inCaseOf = [&](unsigned letter, std::string_view lowerText,
                              std::string_view upperText) {
        return write(isLower(letter) ? lowerText : upperText);
    };
    // "-" and "2" have no case: the "j" of "-jp" decides, which stands at
    // d+11 in iso-2022-jp.
    const auto writeIso = [&](std::string_view lowerText, std::string_view upperText) {
        const std::optional<unsigned> j = edit.at(d + 11);
        if (!j) {
            return StepEnd::PastLineEnd;
        }
        return write(*j == 'j' ? lowerText : upperText);
    };
    const unsigned folded = asciiLower(b);
    switch (at - d) {
    case 3:
        if (folded == 's') {
            return inCaseOf(b, "i", "I");
        }
        if (folded == 'h') {
            return inCaseOf(b, "s", "S");
        }
        if (folded == 'u') {
            return inCaseOf(b, "e", "E");
        }
        break;
    case 4:
        if (folded == 'o') {
            return inCaseOf(b, "is", "IS");
        }
        if (folded == 'i') {
            return inCaseOf(b, "sh", "SH");
        }
        if (folded == 'c') {
            return inCaseOf(b, "eu", "EU");
        }
        break;
    case 5:
        if (b == '-') {
            const std::optional<unsigned> next = edit.at(d + 6);
            if (!next) {
                return StepEnd::PastLineEnd;
            }
            if (asciiLower(*next) == 'j') {
                return inCaseOf(*next, "euc", "EUC");
            }
            return writeIso("iso", "ISO");
        }
        if (folded == 'f') {
            return inCaseOf(b, "shi", "SHI");
        }
        break;
    default:
        if (b == '2') {
            return writeIso("iso-", "ISO-");
        }
        if (folded == 't') {
            return inCaseOf(b, "shif", "SHIF");
        }
        if (folded == 'j') {
            return inCaseOf(b, "euc-", "EUC-");
        }
        break;
    }
    return StepEnd::Completed; // no known name has that byte there
}

// The word d … e ("=?" to "?=") is complete and its first lost byte lies in it.
StepEnd repairInsideWord(Bytes& line, std::size_t d, std::size_t e, const RepairOptions& options) {
    LineEdit edit(line);
    const std::optional<unsigned> first = edit.at(d + 2);
    if (!first) {
        return StepEnd::PastLineEnd;
    }
    if (*first == 0) {
        return restoreLostNameStart(line, d);
    }
    const WordCharset* charset = nullptr;
    switch (*first) {
    case 'i':
    case 'I':
        charset = &kCharsets[0];
        break;
    case 's':
    case 'S':
        charset = &kCharsets[1];
        break;
    case 'e':
    case 'E':
        charset = &kCharsets[2];
        break;
    default:
        return StepEnd::Completed; // not one of the Japanese character sets
    }
    const std::string_view prefix = isLower(*first) ? charset->lowerPrefix : charset->upperPrefix;
    const std::size_t textStart = textStartOf(*charset, d);
    if (e + 1 < textStart) {
        return StepEnd::Completed; // the word closes inside where this prefix would stand
    }
    const std::size_t letterAt = textStart - 2;
    const std::optional<unsigned> letter = edit.at(letterAt);
    if (!letter) {
        return StepEnd::PastLineEnd;
    }
    for (std::size_t i = 1; i < prefix.size(); ++i) {
        if (edit.isLost(d + 2 + i)) {
            line[d + 2 + i] = prefix[i];
        }
    }
    if (!edit.has(textStart - 1)) {
        return StepEnd::PastLineEnd;
    }

    if (*letter == 0) {
        // Base64 text comes in whole groups of four and has "=" only as
        // padding in its last two places; anything else is quoted-printable.
        const auto textLength = static_cast<long long>(e) - static_cast<long long>(textStart);
        bool quoted = textLength < 0 || textLength % 4 != 0;
        if (!quoted) {
            const std::size_t equals = line.find('=', textStart - 1);
            quoted = equals != npos && equals + 2 < e;
        }
        if (quoted) {
            line[letterAt] = 'Q';
        }
    }
    const unsigned encoding = byteAt(line, letterAt);
    if (encoding == 'B' || encoding == 'b') {
        return charset->repairBase64(line, textStart, e, options);
    }
    return StepEnd::Completed;
}

// The lost run took the word's closing "?=" or part of it (no "?=" closes the
// word before the next one begins, or none at all): put it back at the first
// lost byte z, keeping base64 text whole and a cut quoted-printable escape
// decodable.
StepEnd rebuildWordEnd(Bytes& line, ByteView lower, std::size_t d, std::size_t z,
                       const RepairOptions& options) {
    // The word's own prefix, right after its "=?".
    const WordCharset* charset = nullptr;
    bool base64 = false;
    for (const WordCharset& candidate : kCharsets) {
        for (const char letter : {'b', 'q'}) {
            Bytes prefix(candidate.lowerPrefix);
            prefix[prefix.size() - 2] = letter;
            if (charset == nullptr && lower.substr(d + 2, prefix.size()) == prefix) {
                charset = &candidate;
                base64 = letter == 'b';
            }
        }
    }

    LineEdit edit(line);
    if (byteAt(line, z - 1) == '?') { // only the "=" was lost
        line[z] = '=';
        if (charset != nullptr && base64) {
            return charset->repairBase64(line, textStartOf(*charset, d), z - 1, options);
        }
        return StepEnd::Completed;
    }
    if (charset == nullptr) {
        return StepEnd::Completed;
    }
    if (base64) {
        // Close the text on a whole group of four characters, counted from
        // the text's own start so that every prefix length gives whole groups.
        const std::size_t textStart = textStartOf(*charset, d);
        if (z < textStart) {
            return StepEnd::Completed; // cannot happen: the prefix matched has no lost byte
        }
        const std::size_t close = textStart + (z - textStart + 3) / 4 * 4;
        if (!edit.put(close, {'?', '='})) {
            return StepEnd::PastLineEnd;
        }
        return charset->repairBase64(line, textStart, close, options);
    }
    // Quoted-printable: an escape the run cut in half becomes the half-width
    // replacement character.
    const unsigned hexHigh = options.halfWidthHex[0];
    const unsigned hexLow = options.halfWidthHex[1];
    if (z >= 2 && byteAt(line, z - 2) == '=') {
        return stepEnd(edit.put(z - 1, {hexHigh, hexLow, '?', '='}));
    }
    if (byteAt(line, z - 1) == '=') {
        return stepEnd(edit.put(z, {hexHigh, hexLow, '?', '='}));
    }
    return stepEnd(edit.put(z, {'?', '='}));
}

} // namespace

StepEnd repairEncodedWord(Bytes& line, const RepairOptions& options) {
    const std::size_t z = line.find('\0');
    if (z == npos) {
        return StepEnd::Completed;
    }
    const Bytes lower = lowerCased(line);
    std::size_t d = line.find("=?");
    std::size_t e = line.find("?=");
    while (true) {
        if (d == npos && e == npos) {
            return StepEnd::Completed;
        }
        if (d == npos) {
            return z < e ? rebuildWordStart(line, lower, z) : StepEnd::Completed;
        }
        if (e == npos) {
            return z >= d ? rebuildWordEnd(line, lower, d, z, options) : StepEnd::Completed;
        }
        if (d + 1 != e && z < d && d < e) {
            return StepEnd::Completed; // the lost byte lies before a complete word
        }
        if (d + 1 == e) { // "=?=": the two share their "?"
            if (z < e) {
                return rebuildWordStart(line, lower, z);
            }
        } else if (z < e && e < d) { // a "?=" before any "=?"
            return rebuildWordStart(line, lower, z);
        } else if (z < e && d < e) {
            std::size_t d2 = line.find("=?", d + 2);
            // When a word without its "?=" is followed by the word that holds
            // the lost byte, that later word is the one to repair.
            while (d2 != npos && d2 + 1 < e && d2 <= z) {
                d = d2;
                d2 = line.find("=?", d + 2);
            }
            if (d2 == npos || d2 + 1 == e || d2 > e) {
                return repairInsideWord(line, d, e, options);
            }
            return rebuildWordEnd(line, lower, d, z, options);
        }
        // The lost byte lies at or after this "?=": look at the next word.
        d = line.find("=?", e + 2);
        e = line.find("?=", e + 2);
    }
}

} // namespace keldor::repair
