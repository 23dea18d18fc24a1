#include "repair/twin_parts.h"

#include "charset/base64_encoding.h"
#include "platform/case_fold.h"
#include "platform/files.h"
#include "platform/text.h"
#include "repair/lost_byte.h"

#include <algorithm>
#include <array>
#include <cctype>
#include <optional>
#include <string_view>
#include <unordered_map>
#include <utility>
#include <vector>

namespace keldor::repair {

namespace {

constexpr std::size_t kPartLimit = 256 * 1024;   // of each part's body, read and aligned
constexpr std::size_t kContext = 8;              // agreeing characters needed either side
constexpr std::size_t kLeftContext = 32;         // characters before a run compared at most
constexpr std::size_t kMaxAlignments = 8;        // places the text before a run may match
constexpr std::size_t kSearchBudget = 1500000;   // units decoded for one run before giving up
constexpr std::size_t kMessageBudget = 10000000; // units decoded for all runs of a message
constexpr std::size_t kLongestRun = 16;          // units; a longer lost run is left alone
constexpr std::size_t kMostAlternatives = 8;     // read in one message
constexpr std::size_t kLongestBoundary = 100;
constexpr std::size_t kWindowLimit = 4096; // units read past a run for its right context

// One character of decoded text, the same in every charset: ASCII and
// Latin-1 as themselves, JIS X 0208 by row and cell, half-width katakana by
// their Shift_JIS byte, anything else from an HTML character reference
// apart from all of these.
using Code = char32_t;
constexpr Code kDoubleByte = 0x10000;
constexpr Code kKatakana = 0x20000;
constexpr Code kSupplement = 0x30000;  // JIS X 0212 through EUC-JP's SS3
constexpr Code kReference = 0x1000000; // a character reference above U+00FF
constexpr Code kUnknown = 0x7FFFFFFF;  // text a lost byte took, or read after it
constexpr Code kBad = 0x7FFFFFFE;      // bytes that do not decode
// White space holding a line break. One part may break a line where the
// other has a space or nothing, so it matches either.
constexpr Code kBreak = '\n';

bool isBlankCode(Code c) {
    return c == ' ' || c == kBreak;
}

enum class TextCharset { Latin, Jis, Sjis, Euc };
enum class Transfer { Plain, QuotedPrintable, Base64 };

bool isHexUpper(unsigned b) {
    return (b >= '0' && b <= '9') || (b >= 'A' && b <= 'F');
}

// The value of a byte already known to be a hexadecimal digit.
unsigned hexValue(unsigned b) {
    return static_cast<unsigned>(platform::hexDigitValue(b));
}

bool isSpace(Code c) {
    return c == ' ' || c == '\t' || c == '\r' || c == '\n' || c == '\f';
}

Code sjisPairCode(unsigned s1, unsigned s2) {
    const unsigned base = (s1 - (s1 >= 0xE0 ? 0xC1u : 0x81u)) * 2 + 0x21;
    if (s2 >= 0x9F) {
        return kDoubleByte | ((base + 1) << 8) | (s2 - 0x7E);
    }
    return kDoubleByte | (base << 8) | (s2 - (s2 >= 0x80 ? 0x20u : 0x1Fu));
}

constexpr std::array<std::string_view, 6> kEntityNames = {"nbsp", "lt",   "gt",
                                                          "amp",  "quot", "apos"};
constexpr std::array<Code, 6> kEntityCodes = {' ', '<', '>', '&', '"', '\''};

// The decoding of a part's body to the text both parts are compared on, a
// unit at a time: quoted-printable (when the units are the body's bytes),
// the charset, for HTML the markup (tags dropped, character references
// decoded, BR, P and DIV white space), and last the blanks: white space
// holding a line break reads as kBreak, a lone space between two
// characters as a space, any other run as nothing. A plain copy of it is a
// saved state. Lenient: what does not decode
// gives kBad. Strict: it fails.
struct TextDecoder {
    TextCharset charset = TextCharset::Latin;
    bool html = false;
    bool quotedPrintable = false;
    bool strict = false;
    bool failed = false;

    std::uint8_t qpState = 0; // 1 after "=", 2 after "=" and a digit, 3 after "=" CR
    std::uint8_t qpHigh = 0;
    bool lastWasBlank = false; // the last literal byte was a space or tab

    std::uint8_t jisMode = 0; // 0 ASCII, 1 kanji, 2 half-width katakana
    std::uint8_t escapeRead = 0;
    std::uint8_t escapeFirst = 0;
    std::int16_t lead = -1;   // a pending first byte of a pair
    std::int16_t middle = -1; // EUC-JP after SS3: the second byte

    bool inTag = false;
    bool inQuote = false;
    std::uint8_t nameLength = 0; // of the tag's name read so far; kNameDone once it ended
    std::array<char, 5> tagName{};
    std::uint8_t entityLength = 0; // 1 + the characters after "&" held
    std::array<char, 10> entity{};

    std::uint8_t blanks = 0; // white space read since the last character, up to 2
    bool blanksAreSpace = true;
    bool blanksBreak = false; // that white space holds a line break
    // Escape sequences the part itself uses besides ESC $ B, ESC ( B and
    // ESC ( I, which are the only others a strict reading accepts.
    bool usesRoman = false;    // ESC ( J
    bool usesOldKanji = false; // ESC $ @
    bool started = false;

    // All of the state, as bytes that two states share only when they are
    // the same.
    Bytes stateKey() const {
        Bytes key;
        for (const int v :
             {int(qpState), int(qpHigh), int(lastWasBlank), int(jisMode), int(escapeRead),
              int(escapeFirst), int(lead), int(middle), int(inTag), int(inQuote), int(nameLength),
              int(entityLength), int(blanks), int(blanksAreSpace), int(blanksBreak), int(started),
              int(unknown), int(failed)}) {
            key += static_cast<char>(v & 0xFF); // every one fits in 16 bits
            key += static_cast<char>((v >> 8) & 0xFF);
        }
        key.append(tagName.data(), nameLength == kNameDone ? 0 : nameLength);
        key.append(entity.data(), entityLength > 0 ? entityLength - 1u : 0);
        return key;
    }

    // After lost units the state of each layer is unknown until a unit
    // that only one state can read: nothing is decoded before then.
    static constexpr std::uint8_t kQuotedPrintableUnknown = 1;
    static constexpr std::uint8_t kCharsetUnknown = 2;
    static constexpr std::uint8_t kMarkupUnknown = 4;
    std::uint8_t unknown = 0;

    void lose() {
        unknown = kCharsetUnknown | (quotedPrintable ? kQuotedPrintableUnknown : 0) |
                  (html ? kMarkupUnknown : 0);
        if (charset == TextCharset::Latin) {
            unknown &= static_cast<std::uint8_t>(~kCharsetUnknown);
        }
        qpState = 0;
        lastWasBlank = false;
        escapeRead = 0;
        lead = -1;
        middle = -1;
        inTag = false;
        inQuote = false;
        entityLength = 0;
        blanks = 1;
        blanksAreSpace = false;
        blanksBreak = false;
    }

    // Quoted-printable is known again after a line break, a byte that
    // cannot end an escape, or an "=" (which cannot stand inside one).
    bool quotedPrintableKnownAt(unsigned b) {
        if (b == '\n' || b == '=' || (!isHexUpper(b) && b != '\r')) {
            unknown &= static_cast<std::uint8_t>(~kQuotedPrintableUnknown);
            return b != '\n';
        }
        return false;
    }

    // The charset is known again after a byte that is never the second of
    // a pair (Shift_JIS: below 0x40; EUC-JP: below 0x80), and in
    // ISO-2022-JP at an escape sequence or a line break (lines end in
    // ASCII).
    bool charsetKnownAt(unsigned b) {
        switch (charset) {
        case TextCharset::Sjis:
            if (b < 0x40) {
                unknown &= static_cast<std::uint8_t>(~kCharsetUnknown);
                return true;
            }
            return false;
        case TextCharset::Euc:
            if (b < 0x80) {
                unknown &= static_cast<std::uint8_t>(~kCharsetUnknown);
                return true;
            }
            return false;
        case TextCharset::Jis:
            if (b == 0x1B || b == '\r' || b == '\n') {
                unknown &= static_cast<std::uint8_t>(~kCharsetUnknown);
                jisMode = 0;
                return true;
            }
            return false;
        case TextCharset::Latin:
            break;
        }
        return true;
    }

    static constexpr std::uint8_t kNameDone = 0xFF;

    // What the white space read since the last character gives before the
    // next one: a space or nothing (0).
    Code pendingBlank() const {
        if (blanks == 0 || !started) {
            return 0;
        }
        if (blanksBreak) {
            return kBreak;
        }
        return blanks == 1 && blanksAreSpace ? Code(' ') : 0;
    }

    bool fail() {
        if (strict) {
            failed = true;
            return false;
        }
        return true;
    }

    // The first byte a double-byte character takes in this charset, or -1.
    int leadOf(Code c) const {
        if (c >= kDoubleByte && c < kDoubleByte + 0x10000) {
            const unsigned row = (c >> 8) & 0xFF;
            switch (charset) {
            case TextCharset::Jis:
                return static_cast<int>(row);
            case TextCharset::Euc:
                return static_cast<int>(row | 0x80);
            case TextCharset::Sjis: {
                unsigned s1 = ((row - 0x21) >> 1) + 0x81;
                return static_cast<int>(s1 > 0x9F ? s1 + 0x40 : s1);
            }
            case TextCharset::Latin:
                break;
            }
        }
        if (charset == TextCharset::Euc && c >= kKatakana && c < kKatakana + 0x100) {
            return 0x8E;
        }
        return -1;
    }

    // The units that, from a settled state, give `next` at once or as the
    // first byte of its pair; escapes, markup and blanks aside.
    std::array<int, 1> unitsBeginning(Code next) const {
        if (next < 0x80) {
            return {charset == TextCharset::Jis && jisMode != 0 ? -1 : static_cast<int>(next)};
        }
        if (next < 0x100) {
            return {charset == TextCharset::Latin ? static_cast<int>(next) : -1};
        }
        if (next >= kKatakana && next < kKatakana + 0x100) {
            const int b = static_cast<int>(next & 0xFF);
            switch (charset) {
            case TextCharset::Sjis:
                return {b};
            case TextCharset::Euc:
                return {0x8E};
            case TextCharset::Jis:
                return {jisMode == 2 ? b - 0x80 : -1};
            case TextCharset::Latin:
                break;
            }
            return {-1};
        }
        if (charset == TextCharset::Jis && jisMode != 1) {
            return {-1};
        }
        return {leadOf(next)};
    }

    // The second byte that makes the pending first one `next`, or -1 when
    // it is not known that way.
    int trailFor(Code next) const {
        if (lead < 0 || middle >= 0 || next < kDoubleByte || next >= kKatakana + 0x100) {
            return -1;
        }
        const unsigned low = next & 0xFF;
        if (next >= kKatakana) {
            return charset == TextCharset::Euc && lead == 0x8E ? static_cast<int>(low) : -1;
        }
        if (leadOf(next) != lead) {
            return -1;
        }
        const unsigned row = (next >> 8) & 0xFF;
        switch (charset) {
        case TextCharset::Jis:
            return static_cast<int>(low);
        case TextCharset::Euc:
            return static_cast<int>(low | 0x80);
        case TextCharset::Sjis:
            if ((row & 1) != 0) {
                return static_cast<int>(low + 0x1F + (low + 0x1F >= 0x7F ? 1 : 0));
            }
            return static_cast<int>(low + 0x7E);
        case TextCharset::Latin:
            break;
        }
        return -1;
    }

    // Whether a pending first byte can still lead to `next`, the first
    // character still to come, or to `after` past a lone space.
    bool leadFits(Code next, Code after) const {
        if (lead < 0 || middle >= 0 || (charset == TextCharset::Euc && lead == 0x8F) ||
            (html && (inTag || entityLength > 0))) {
            return true;
        }
        if (next == ' ' || next == kBreak) {
            next = after;
        }
        return leadOf(next) == lead;
    }

    template <typename Out> void unit(unsigned b, Out& out) {
        if ((unknown & kQuotedPrintableUnknown) != 0 && !quotedPrintableKnownAt(b)) {
            return;
        }
        if (!quotedPrintable) {
            byte(b, out);
            return;
        }
        switch (qpState) {
        case 1:
            if (b == '\r') {
                qpState = 3;
            } else if (isHexUpper(b) || (!strict && std::isxdigit(static_cast<int>(b)))) {
                qpHigh = static_cast<std::uint8_t>(hexValue(b));
                qpState = 2;
            } else {
                qpState = 0;
                if (fail()) {
                    text(kBad, out);
                }
            }
            return;
        case 2: {
            qpState = 0;
            if (!isHexUpper(b) && (strict || !std::isxdigit(static_cast<int>(b)))) {
                if (fail()) {
                    text(kBad, out);
                }
                return;
            }
            const unsigned value = qpHigh * 16u + hexValue(b);
            // Writers escape only what they must: "=", eight-bit and
            // control bytes, and blanks.
            if (strict && value > 0x20 && value < 0x7F && value != '=') {
                failed = true;
                return;
            }
            lastWasBlank = false;
            byte(value, out);
            return;
        }
        case 3:
            qpState = 0;
            if (b != '\n' && fail()) {
                text(kBad, out);
            }
            return;
        default:
            break;
        }
        if (b == '=') {
            qpState = 1;
            lastWasBlank = false;
            return;
        }
        // A blank before a line break is always escaped.
        if (b == '\r' && lastWasBlank && strict) {
            failed = true;
            return;
        }
        lastWasBlank = b == ' ' || b == '\t';
        byte(b, out);
    }

    template <typename Out> void byte(unsigned b, Out& out) {
        if ((unknown & kCharsetUnknown) != 0 && !charsetKnownAt(b)) {
            return;
        }
        switch (charset) {
        case TextCharset::Jis:
            jisByte(b, out);
            return;
        case TextCharset::Sjis:
            sjisByte(b, out);
            return;
        case TextCharset::Euc:
            eucByte(b, out);
            return;
        case TextCharset::Latin:
            break;
        }
        if (b < 0x20 && b != '\t' && b != '\r' && b != '\n' && !fail()) {
            return;
        }
        text(b, out);
    }

    template <typename Out> void badByte(Out& out) {
        if (fail()) {
            text(kBad, out);
        }
    }

    template <typename Out> void jisByte(unsigned b, Out& out) {
        if (escapeRead == 1) {
            escapeFirst = static_cast<std::uint8_t>(b);
            escapeRead = 2;
            if (b != '(' && b != '$') {
                escapeRead = 0;
                badByte(out);
            }
            return;
        }
        if (escapeRead == 2) {
            escapeRead = 0;
            if (strict && ((b == 'J' && !usesRoman) || (b == '@' && !usesOldKanji))) {
                failed = true;
            } else if (escapeFirst == '(' && (b == 'B' || b == 'J')) {
                jisMode = 0;
            } else if (escapeFirst == '(' && b == 'I') {
                jisMode = 2;
            } else if (escapeFirst == '$' && (b == 'B' || b == '@')) {
                jisMode = 1;
            } else {
                badByte(out);
            }
            return;
        }
        if (lead >= 0 && (b < 0x21 || b > 0x7E)) {
            lead = -1;
            badByte(out);
            if (failed) {
                return;
            }
        }
        if (b == 0x1B) {
            escapeRead = 1;
            return;
        }
        if (b == '\r' || b == '\n') {
            // A line ends in ASCII.
            if (jisMode != 0 && !fail()) {
                return;
            }
            text(b, out);
            return;
        }
        if (b >= 0x80 || (b < 0x20 && b != '\t')) {
            badByte(out);
            return;
        }
        if (jisMode == 1 && b >= 0x21 && b <= 0x7E) {
            if (lead < 0) {
                lead = static_cast<std::int16_t>(b);
                return;
            }
            const Code c = kDoubleByte | (static_cast<Code>(lead) << 8) | b;
            lead = -1;
            text(c, out);
            return;
        }
        if (jisMode == 2 && b >= 0x21 && b <= 0x5F) {
            text(kKatakana | (b + 0x80), out);
            return;
        }
        if (jisMode != 0 && !fail()) {
            return;
        }
        text(b, out);
    }

    template <typename Out> void sjisByte(unsigned b, Out& out) {
        if (lead >= 0) {
            const unsigned first = static_cast<unsigned>(lead);
            lead = -1;
            if ((b >= 0x40 && b <= 0x7E) || (b >= 0x80 && b <= 0xFC)) {
                text(sjisPairCode(first, b), out);
                return;
            }
            badByte(out);
            if (failed) {
                return;
            }
        }
        if ((b >= 0x81 && b <= 0x9F) || (b >= 0xE0 && b <= 0xFC)) {
            lead = static_cast<std::int16_t>(b);
        } else if (b >= 0xA1 && b <= 0xDF) {
            text(kKatakana | b, out);
        } else if (b >= 0x80 || (b < 0x20 && b != '\t' && b != '\r' && b != '\n')) {
            badByte(out);
        } else {
            text(b, out);
        }
    }

    template <typename Out> void eucByte(unsigned b, Out& out) {
        if (lead >= 0) {
            const unsigned first = static_cast<unsigned>(lead);
            if (b >= 0xA1 && b <= 0xFE) {
                if (first == 0x8F && middle < 0) {
                    middle = static_cast<std::int16_t>(b);
                    return;
                }
                lead = -1;
                if (first == 0x8F) {
                    const Code c =
                        kSupplement | ((static_cast<Code>(middle) & 0x7F) << 8) | (b & 0x7F);
                    middle = -1;
                    text(c, out);
                } else if (first == 0x8E) {
                    if (b <= 0xDF) {
                        text(kKatakana | b, out);
                    } else {
                        badByte(out);
                    }
                } else {
                    text(kDoubleByte | ((first & 0x7F) << 8) | (b & 0x7F), out);
                }
                return;
            }
            lead = -1;
            middle = -1;
            badByte(out);
            if (failed) {
                return;
            }
        }
        if ((b >= 0xA1 && b <= 0xFE) || b == 0x8E || b == 0x8F) {
            lead = static_cast<std::int16_t>(b);
        } else if (b >= 0x80 || (b < 0x20 && b != '\t' && b != '\r' && b != '\n')) {
            badByte(out);
        } else {
            text(b, out);
        }
    }

    // Whether the characters held after "&" can still begin a reference.
    bool entityMayContinue() const {
        const std::string_view held(entity.data(), entityLength - 1u);
        if (!held.empty() && held[0] == '#') {
            const bool hex = held.size() >= 2 && (held[1] == 'x' || held[1] == 'X');
            for (std::size_t i = hex ? 2 : 1; i < held.size(); ++i) {
                const unsigned c = static_cast<unsigned char>(held[i]);
                if (!(hex ? std::isxdigit(static_cast<int>(c)) != 0 : (c >= '0' && c <= '9'))) {
                    return false;
                }
            }
            return held.size() <= 8;
        }
        return std::any_of(kEntityNames.begin(), kEntityNames.end(),
                           [&](std::string_view name) { return name.starts_with(held); });
    }

    // The character of a complete reference, or nullopt.
    std::optional<Code> entityCode() const {
        const std::string_view held(entity.data(), entityLength - 1u);
        for (std::size_t i = 0; i < kEntityNames.size(); ++i) {
            if (held == kEntityNames[i]) {
                return kEntityCodes[i];
            }
        }
        if (held.size() < 2 || held[0] != '#') {
            return std::nullopt;
        }
        const bool hex = held[1] == 'x' || held[1] == 'X';
        if (hex && held.size() < 3) {
            return std::nullopt;
        }
        Code value = 0;
        for (std::size_t i = hex ? 2 : 1; i < held.size(); ++i) {
            value = value * (hex ? 16 : 10) + hexValue(static_cast<unsigned char>(held[i]));
        }
        return value < 0x100 ? value : kReference + std::min<Code>(value, 0x10FFFF);
    }

    template <typename Out> void flushEntity(Out& out) {
        const std::string_view held(entity.data(), entityLength - 1u);
        entityLength = 0;
        blank('&', out);
        for (const char c : held) {
            blank(static_cast<unsigned char>(c), out);
        }
    }

    template <typename Out> void text(Code c, Out& out) {
        if (!html) {
            blank(c, out);
            return;
        }
        if ((unknown & kMarkupUnknown) != 0) {
            // Known again at the end or the start of a tag.
            if (c == '>' || c == '<') {
                unknown &= static_cast<std::uint8_t>(~kMarkupUnknown);
                inTag = c == '<';
                nameLength = kNameDone;
            }
            return;
        }
        if (inTag) {
            tagText(c, out);
            return;
        }
        if (entityLength > 0) {
            if (c == ';') {
                const std::optional<Code> code = entityCode();
                if (code) {
                    entityLength = 0;
                    blank(*code, out);
                } else {
                    flushEntity(out);
                    blank(c, out);
                }
                return;
            }
            if (c < 0x80 && std::isalnum(static_cast<int>(c)) != 0 &&
                entityLength < entity.size()) {
                entity[entityLength - 1u] = static_cast<char>(c);
                ++entityLength;
                if (entityMayContinue()) {
                    return;
                }
                flushEntity(out);
                return;
            }
            flushEntity(out);
        }
        if (c == '<') {
            inTag = true;
            inQuote = false;
            nameLength = 0;
        } else if (c == '&') {
            entityLength = 1;
        } else {
            blank(c, out);
        }
    }

    template <typename Out> void tagText(Code c, Out& out) {
        static constexpr std::array<std::string_view, 5> kBlockNames = {"br", "p", "/p", "div",
                                                                        "/div"};
        if (nameLength != kNameDone) {
            const bool letter = c < 0x80 && (std::isalpha(static_cast<int>(c)) != 0 ||
                                             (c == '/' && nameLength == 0));
            if (letter && nameLength < tagName.size()) {
                tagName[nameLength++] = static_cast<char>(std::tolower(static_cast<int>(c)));
                const std::string_view read(tagName.data(), nameLength);
                // A name no block tag begins with is known to be none.
                if (std::none_of(kBlockNames.begin(), kBlockNames.end(),
                                 [&](std::string_view name) { return name.starts_with(read); })) {
                    nameLength = kNameDone;
                }
                return;
            }
            const std::string_view read(tagName.data(), letter ? 0 : nameLength);
            nameLength = kNameDone;
            if (std::find(kBlockNames.begin(), kBlockNames.end(), read) != kBlockNames.end()) {
                blank('\n', out);
            }
        }
        if (c == '"') {
            inQuote = !inQuote;
        } else if (c == '>' && !inQuote) {
            inTag = false;
        }
    }

    template <typename Out> void blank(Code c, Out& out) {
        if (isSpace(c)) {
            if (blanks < 2) {
                ++blanks;
            }
            blanksAreSpace = blanksAreSpace && c == ' ';
            blanksBreak = blanksBreak || c == '\r' || c == '\n';
            return;
        }
        if (const Code before = pendingBlank(); before != 0 && !out(before)) {
            failed = true;
            return;
        }
        blanks = 0;
        blanksAreSpace = true;
        blanksBreak = false;
        started = true;
        if (!out(c)) {
            failed = true;
        }
    }
};

// A part's body as the units its text decodes from: its bytes, or for
// base64 the bytes the characters give, each with the bits that survive.
struct Units {
    std::vector<std::uint8_t> value;
    std::vector<std::uint8_t> known; // 0xFF: survived; 0: lost
    // Base64 only: the body offset of each character, in order.
    std::vector<std::uint32_t> characterAt;
};

struct Part {
    std::size_t bodyStart = 0;
    std::size_t bodyEnd = 0;
    TextCharset charset = TextCharset::Latin;
    Transfer transfer = Transfer::Plain;
    bool html = false;
    bool eightBit = false;
};

// Whether `text` reads `lower` in any letter case, where a lost byte may
// stand for any byte; at most half of it lost.
bool readsAs(ByteView text, std::string_view lower) {
    if (text.size() != lower.size()) {
        return false;
    }
    std::size_t lost = 0;
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (text[i] == kLost) {
            ++lost;
        } else if (platform::foldByte(byteAt(text, i)) != byteAt(lower, i)) {
            return false;
        }
    }
    return lost * 2 <= text.size();
}

// A header parameter's value: quoted, or up to ";" or white space. The
// name may have lost bytes; the value is as it stands.
ByteView parameterValue(ByteView field, std::string_view name) {
    for (std::size_t at = 0; at + name.size() <= field.size(); ++at) {
        const bool starts = at == 0 || field[at - 1] == ';' || field[at - 1] == kLost ||
                            isSpace(byteAt(field, at - 1));
        if (!starts || !readsAs(field.substr(at, name.size()), name)) {
            continue;
        }
        const std::size_t begin = at + name.size();
        if (begin < field.size() && field[begin] == '"') {
            // A closing quote that was lost leaves the rest of the field.
            const std::size_t end = std::min(field.find('"', begin + 1), field.size());
            return field.substr(begin + 1, end - begin - 1);
        }
        std::size_t end = begin;
        while (end < field.size() && field[end] != ';' && !isSpace(byteAt(field, end))) {
            ++end;
        }
        return field.substr(begin, end - begin);
    }
    return {};
}

// The value of a header field, its folded lines joined by a blank, or
// nullopt. Lost bytes may stand in its name; a line that begins with one
// is taken as folded.
std::optional<Bytes> headerField(ByteView header, std::string_view lowerName) {
    for (std::size_t at = 0; at < header.size();) {
        const std::size_t lineEnd = std::min(header.find("\r\n", at), header.size());
        if (lineEnd - at > lowerName.size() &&
            readsAs(header.substr(at, lowerName.size()), lowerName)) {
            Bytes value(header.substr(at + lowerName.size(), lineEnd - at - lowerName.size()));
            std::size_t next = lineEnd + 2;
            while (next < header.size() &&
                   (header[next] == ' ' || header[next] == '\t' || header[next] == kLost)) {
                const std::size_t end = std::min(header.find("\r\n", next), header.size());
                value += ' ';
                value += header.substr(next, end - next);
                next = end + 2;
            }
            return value;
        }
        at = lineEnd + 2;
    }
    return std::nullopt;
}

// Whether a field's value begins with the word `lower`, read as readsAs
// reads it and ended by ";", white space, a lost byte or the value's end.
bool beginsWithWord(ByteView value, std::string_view lower) {
    const std::size_t begin = std::min(value.find_first_not_of(" \t"), value.size());
    const ByteView word = value.substr(begin, lower.size());
    if (!readsAs(word, lower)) {
        return false;
    }
    const std::size_t after = begin + lower.size();
    return after == value.size() || value[after] == ';' || value[after] == kLost ||
           isSpace(byteAt(value, after));
}

// The one meaning among `names` that the value begins with, or nullopt
// when it begins with none or with two.
template <typename T, std::size_t N>
std::optional<T> oneMeaning(ByteView value,
                            const std::array<std::pair<std::string_view, T>, N>& names) {
    std::optional<T> meaning;
    for (const auto& [name, named] : names) {
        if (beginsWithWord(value, name)) {
            if (meaning && *meaning != named) {
                return std::nullopt;
            }
            meaning = named;
        }
    }
    return meaning;
}

constexpr std::array<std::pair<std::string_view, TextCharset>, 12> kCharsetNames = {{
    {"iso-2022-jp", TextCharset::Jis},
    {"shift_jis", TextCharset::Sjis},
    {"shift-jis", TextCharset::Sjis},
    {"x-sjis", TextCharset::Sjis},
    {"sjis", TextCharset::Sjis},
    {"cp932", TextCharset::Sjis},
    {"windows-31j", TextCharset::Sjis},
    {"euc-jp", TextCharset::Euc},
    {"x-euc-jp", TextCharset::Euc},
    {"us-ascii", TextCharset::Latin},
    {"iso-8859-1", TextCharset::Latin},
    {"latin1", TextCharset::Latin},
}};

// 7bit and 8bit read the same; a name that could be either is 8bit, whose
// bytes include 7bit's.
enum class EncodingName { SevenBit, EightBit, QuotedPrintable, Base64 };
constexpr std::array<std::pair<std::string_view, EncodingName>, 5> kEncodingNames = {{
    {"7bit", EncodingName::SevenBit},
    {"8bit", EncodingName::EightBit},
    {"binary", EncodingName::EightBit},
    {"quoted-printable", EncodingName::QuotedPrintable},
    {"base64", EncodingName::Base64},
}};

// A part of the alternative from its header; nullopt when it names what is
// not compared, or lost bytes leave its type, charset or encoding in doubt.
std::optional<Part> readPart(ByteView message, std::size_t start, std::size_t end) {
    const ByteView region = message.substr(start, end - start);
    const std::size_t blank = region.starts_with("\r\n") ? 0 : region.find("\r\n\r\n");
    if (blank == ByteView::npos) {
        return std::nullopt;
    }
    const ByteView header = region.substr(0, blank);
    const bool damaged = header.find(kLost) != ByteView::npos;
    Part part;
    part.bodyStart = start + blank + (blank == 0 ? 2 : 4);
    part.bodyEnd = std::min(end, part.bodyStart + kPartLimit);
    const std::optional<Bytes> type = headerField(header, "content-type:");
    if (!type) {
        return std::nullopt;
    }
    const bool html = beginsWithWord(*type, "text/html");
    if (html == beginsWithWord(*type, "text/plain")) {
        return std::nullopt;
    }
    part.html = html;
    const ByteView charsetName = parameterValue(*type, "charset=");
    const std::optional<TextCharset> charset = charsetName.empty() && !damaged
                                                   ? TextCharset::Latin
                                                   : oneMeaning(charsetName, kCharsetNames);
    if (!charset) {
        return std::nullopt;
    }
    part.charset = *charset;
    const std::optional<Bytes> encoding = headerField(header, "content-transfer-encoding:");
    if (!encoding) {
        // A damaged line may have named it.
        return damaged ? std::nullopt : std::optional<Part>(part);
    }
    const std::optional<EncodingName> name =
        beginsWithWord(*encoding, "7bit") && beginsWithWord(*encoding, "8bit")
            ? std::optional(EncodingName::EightBit)
            : oneMeaning(*encoding, kEncodingNames);
    if (!name) {
        return std::nullopt;
    }
    part.transfer = *name == EncodingName::QuotedPrintable ? Transfer::QuotedPrintable
                    : *name == EncodingName::Base64        ? Transfer::Base64
                                                           : Transfer::Plain;
    part.eightBit = *name == EncodingName::EightBit;
    return part;
}

struct Alternative {
    Part plain;
    Part html;
};

// The text/plain and text/html parts of the multipart/alternative whose
// Content-Type field stands at `typeAt`, when its boundary and delimiter
// lines survive.
// Whether `text` is `pattern` where a lost byte in either may stand for
// any byte; at most a third of them lost, and none in a short one.
bool matchesWithLost(ByteView text, ByteView pattern) {
    if (text.size() != pattern.size()) {
        return false;
    }
    std::size_t lost = 0;
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (text[i] == kLost || pattern[i] == kLost) {
            if (++lost * 3 > text.size()) {
                return false;
            }
        } else if (text[i] != pattern[i]) {
            return false;
        }
    }
    return lost == 0 || (text.size() >= 12 && lost * 3 <= text.size());
}

// Where the next delimiter line ("--" and the boundary) from `from` begins,
// also where lost bytes took some of it or the line break before it.
std::size_t findDelimiter(ByteView message, ByteView delimiter, std::size_t from) {
    for (std::size_t i = from; i + delimiter.size() <= message.size(); ++i) {
        if ((message[i] != '-' && message[i] != kLost) ||
            (i > 0 && message[i - 1] != '\n' && message[i - 1] != kLost)) {
            continue;
        }
        if (matchesWithLost(message.substr(i, delimiter.size()), delimiter)) {
            return i;
        }
    }
    return ByteView::npos;
}

// The text/plain and text/html parts of the multipart/alternative whose
// Content-Type field stands at `typeAt`, when its boundary survives and its
// delimiter lines can still be told.
std::optional<Alternative> readAlternative(ByteView message, std::size_t typeAt) {
    std::size_t fieldEnd = message.find("\r\n", typeAt);
    while (fieldEnd != ByteView::npos && fieldEnd + 2 < message.size() &&
           (message[fieldEnd + 2] == ' ' || message[fieldEnd + 2] == '\t')) {
        fieldEnd = message.find("\r\n", fieldEnd + 2);
    }
    if (fieldEnd == ByteView::npos) {
        return std::nullopt;
    }
    const ByteView field = message.substr(typeAt, fieldEnd - typeAt);
    Bytes delimiter = "--" + Bytes(parameterValue(field, "boundary="));
    if (delimiter.size() < 3 || delimiter.size() > kLongestBoundary ||
        delimiter.find('"') != Bytes::npos) {
        return std::nullopt;
    }
    if (delimiter.find(kLost) != Bytes::npos) {
        // The boundary lost bytes: the first delimiter line that lost none
        // tells them.
        std::size_t whole = findDelimiter(message, delimiter, fieldEnd);
        while (whole != ByteView::npos &&
               message.substr(whole, delimiter.size()).find(kLost) != ByteView::npos) {
            whole = findDelimiter(message, delimiter, whole + 1);
        }
        if (whole == ByteView::npos) {
            return std::nullopt;
        }
        delimiter = message.substr(whole, delimiter.size());
    }
    const ByteView boundary = ByteView(delimiter).substr(2);
    // A delimiter line that lost more is not found; the part before it
    // would run on into the next part, which the boundary's end shows.
    const ByteView tail =
        boundary.substr(boundary.size() - std::min<std::size_t>(boundary.size(), 16));
    std::vector<Part> parts;
    std::size_t at = findDelimiter(message, delimiter, fieldEnd);
    while (at != ByteView::npos) {
        const std::size_t after = at + delimiter.size();
        const ByteView end = message.substr(after, 2);
        const bool closing = end == "--" || (end.find(kLost) != ByteView::npos &&
                                             message.substr(after + 2, 2) == "\r\n");
        if (closing) {
            std::optional<Alternative> found;
            for (const Part& part : parts) {
                Part& slot = part.html ? (found ? found->html : found.emplace().html)
                                       : (found ? found->plain : found.emplace().plain);
                if (slot.bodyEnd != 0) {
                    return std::nullopt; // two of one kind
                }
                slot = part;
            }
            if (!found || found->plain.bodyEnd == 0 || found->html.bodyEnd == 0) {
                return std::nullopt;
            }
            return found;
        }
        if (end.size() < 2 || (end != "\r\n" && end.find(kLost) == ByteView::npos)) {
            return std::nullopt;
        }
        const std::size_t next = findDelimiter(message, delimiter, after + 2);
        if (next == ByteView::npos || next < after + 4) {
            return std::nullopt;
        }
        // The line break before a delimiter belongs to it.
        const ByteView region = message.substr(after + 2, next - 2 - (after + 2));
        if (region.find(tail) != ByteView::npos) {
            return std::nullopt;
        }
        if (std::optional<Part> part = readPart(message, after + 2, next - 2)) {
            parts.push_back(*part);
        }
        at = next;
    }
    return std::nullopt;
}

// The units of a part as its body now stands; nullopt for a base64 body
// whose lines do not keep one length, where a lost byte could be a
// character or a line break.
std::optional<Units> unitsOf(ByteView body, Transfer transfer) {
    Units units;
    if (transfer != Transfer::Base64) {
        units.value.assign(body.begin(), body.end());
        units.known.resize(body.size());
        for (std::size_t i = 0; i < body.size(); ++i) {
            units.known[i] = body[i] == kLost ? 0 : 0xFF;
        }
        return units;
    }
    // Every line but the last has the length of the first that lost
    // nothing; the checks below hold each byte to that.
    std::size_t width = ByteView::npos;
    for (std::size_t at = 0; at < body.size();) {
        const std::size_t end = body.find("\r\n", at);
        if (end == ByteView::npos) {
            break;
        }
        if (body.substr(at, end - at).find(kLost) == ByteView::npos) {
            width = end - at;
            break;
        }
        at = end + 2;
    }
    if (width == ByteView::npos || width == 0 || width > 998 || body.size() < 2 ||
        body.substr(body.size() - 2) != "\r\n") {
        return std::nullopt;
    }
    const std::size_t stride = width + 2;
    const std::size_t lastStart = (body.size() - 1) / stride * stride;
    std::uint32_t bits = 0;
    std::uint32_t knownBits = 0;
    int held = 0;
    bool ended = false;
    for (std::size_t i = 0; i < body.size(); ++i) {
        const std::size_t column = i - i / stride * stride;
        const std::size_t lineChars = i >= lastStart ? body.size() - 2 - lastStart : width;
        const unsigned b = byteAt(body, i);
        if (column >= lineChars) {
            const unsigned expected = column == lineChars ? '\r' : '\n';
            if (b != expected && b != 0) {
                return std::nullopt;
            }
            continue;
        }
        int digit = -1;
        if (b == '=') {
            ended = true;
            continue;
        }
        if (b != 0) {
            digit = platform::base64DigitValue(b);
            if (digit < 0 || ended) {
                return std::nullopt;
            }
        } else if (ended) {
            return std::nullopt;
        }
        units.characterAt.push_back(static_cast<std::uint32_t>(i));
        bits = (bits << 6) | static_cast<std::uint32_t>(digit < 0 ? 0 : digit);
        knownBits = (knownBits << 6) | (digit < 0 ? 0u : 0x3Fu);
        held += 6;
        if (held >= 8) {
            held -= 8;
            units.value.push_back(static_cast<std::uint8_t>(bits >> held));
            units.known.push_back(static_cast<std::uint8_t>(knownBits >> held));
        }
    }
    // Characters past the last whole byte are left alone.
    units.characterAt.resize(std::min(units.characterAt.size(), (units.value.size() * 8 + 5) / 6));
    return units;
}

TextDecoder decoderFor(const Part& part, ByteView body) {
    TextDecoder decoder;
    decoder.charset = part.charset;
    decoder.html = part.html;
    decoder.quotedPrintable = part.transfer == Transfer::QuotedPrintable;
    const Bytes escape = decoder.quotedPrintable ? "=1B" : "\x1b";
    decoder.usesRoman = body.find(escape + "(J") != ByteView::npos;
    decoder.usesOldKanji = body.find(escape + "$@") != ByteView::npos;
    return decoder;
}

// The whole text of a part, one kUnknown where lost units took some and
// the decoding is not known again.
std::vector<Code> decodeWhole(const Units& units, const Part& part) {
    std::vector<Code> codes;
    const auto push = [&](Code c) {
        codes.push_back(c);
        return true;
    };
    TextDecoder decoder = decoderFor(part, {});
    for (std::size_t i = 0; i < units.value.size(); ++i) {
        if (units.known[i] != 0xFF) {
            if (codes.empty() || codes.back() != kUnknown) {
                codes.push_back(kUnknown);
            }
            decoder.lose();
            continue;
        }
        decoder.unit(units.value[i], push);
    }
    return codes;
}

// Where each run of kContext characters of the twin's text ends, by the
// run's hash.
class TwinIndex {
public:
    explicit TwinIndex(std::vector<Code> codes) : codes_(std::move(codes)) {
        for (std::size_t i = 0; i < codes_.size(); ++i) {
            if (!isBlankCode(codes_[i])) {
                visible_.push_back(static_cast<std::uint32_t>(i));
            }
        }
        for (std::size_t end = kContext; end <= visible_.size(); ++end) {
            const std::optional<std::uint64_t> h = hashAt(end);
            if (h) {
                ends_.emplace_back(*h, visible_[end - 1] + 1);
            }
        }
        std::sort(ends_.begin(), ends_.end());
    }

    const std::vector<Code>& codes() const { return codes_; }

    // Every place in the twin's text just past the last kContext
    // characters of `before` other than blanks, which it must hold that
    // many of; nullopt when there are more than kMaxAlignments.
    std::optional<std::vector<std::size_t>> placesAfter(const std::vector<Code>& before) const {
        std::vector<Code> last;
        for (std::size_t i = before.size(); i > 0 && last.size() < kContext; --i) {
            if (!isBlankCode(before[i - 1])) {
                last.insert(last.begin(), before[i - 1]);
            }
        }
        if (last.size() < kContext) {
            return std::vector<std::size_t>{};
        }
        std::uint64_t h = 0;
        for (const Code c : last) {
            h = h * 1000003u + c;
        }
        std::vector<std::size_t> places;
        auto it = std::lower_bound(ends_.begin(), ends_.end(), std::make_pair(h, std::uint32_t{0}));
        for (; it != ends_.end() && it->first == h; ++it) {
            const std::size_t end = it->second;
            const auto at = std::lower_bound(visible_.begin(), visible_.end(), end - 1);
            bool same = at - visible_.begin() + 1 >= static_cast<std::ptrdiff_t>(kContext);
            for (std::size_t k = 0; same && k < kContext; ++k) {
                same = codes_[*(at - static_cast<std::ptrdiff_t>(k))] == last[kContext - 1 - k];
            }
            if (same) {
                places.push_back(end);
                if (places.size() > kMaxAlignments) {
                    return std::nullopt;
                }
            }
        }
        return places;
    }

private:
    std::optional<std::uint64_t> hashAt(std::size_t end) const {
        std::uint64_t h = 0;
        for (std::size_t i = end - kContext; i < end; ++i) {
            const Code c = codes_[visible_[i]];
            if (c == kUnknown || c == kBad) {
                return std::nullopt;
            }
            h = h * 1000003u + c;
        }
        return h;
    }

    std::vector<Code> codes_;
    std::vector<std::uint32_t> visible_; // where the codes other than blanks stand
    std::vector<std::pair<std::uint64_t, std::uint32_t>> ends_;
};

// Compares the text a fill gives with the twin's, character by character.
struct Matcher {
    const std::vector<Code>* expected = nullptr;
    std::size_t at = 0;
    std::size_t afterRun = 0; // characters matched once the run was filled
    bool pastRun = false;

    bool operator()(Code c) {
        const Code e = peek(0);
        if (c == kBreak) {
            // A line break matches a space, a line break or nothing.
            at += isBlankCode(e) ? 1 : 0;
            return true;
        }
        if (e == kBreak) {
            ++at;
            if (c == ' ') {
                return true;
            }
        }
        if (peek(0) != c) {
            return false;
        }
        ++at;
        afterRun += pastRun ? 1 : 0;
        return true;
    }
    Code peek(std::size_t ahead) const {
        return at + ahead < expected->size() ? (*expected)[at + ahead] : kUnknown;
    }
};

// The fills of one run of lost units that make the text match, reduced to
// the bits on which all of them agree.
class RunSearch {
public:
    // `work`: what the message's runs may still decode, lowered by this one.
    RunSearch(const Units& units, std::size_t runStart, std::size_t runEnd, const Part& part,
              std::size_t& work)
        : units_(units), start_(runStart), end_(runEnd), part_(part),
          wholeOnly_(part.transfer != Transfer::Plain), work_(work), choice_(runEnd - runStart),
          open_(runEnd - runStart), agreed_(runEnd - runStart, 0), value_(runEnd - runStart, 0) {
        windowEnd_ = runEnd;
        while (windowEnd_ < units.value.size() && windowEnd_ < runEnd + kWindowLimit &&
               units.known[windowEnd_] == 0xFF) {
            ++windowEnd_;
        }
    }

    // Tries every fill from `decoder` (the state before the run) against
    // the twin's text from `expectedAt`. False when the search ran out of
    // budget: nothing it found may then be used.
    bool tryPlace(const TextDecoder& decoder, const std::vector<Code>& expected,
                  std::size_t expectedAt) {
        TextDecoder strict = decoder;
        strict.strict = true;
        Matcher matcher{&expected, expectedAt};
        search(0, strict, matcher);
        return !outOfWork() && !abandoned_;
    }

    // The bits of each lost unit that every fill found gives (0: none found).
    std::vector<std::uint8_t> certainBits() const {
        std::vector<std::uint8_t> bits(agreed_);
        if (!found_ || twoFills_) {
            std::fill(bits.begin(), bits.end(), 0);
        }
        return bits;
    }
    const std::vector<std::uint8_t>& values() const { return value_; }

private:
    void search(std::size_t k, const TextDecoder& decoder, const Matcher& matcher) {
        if (outOfWork() || abandoned_ || everythingOpen()) {
            return;
        }
        const std::size_t at = start_ + k;
        if (at == end_) {
            finish(decoder, matcher);
            return;
        }
        // Where only whole runs count, two ways to one state that reads on
        // are two different fills: the run is not decided. A state met
        // again is not searched again.
        Bytes key;
        if (wholeOnly_ && k > 0) {
            key = decoder.stateKey();
            key.append(reinterpret_cast<const char*>(&matcher.at), sizeof matcher.at);
            key += static_cast<char>(matcher.afterRun);
            key += static_cast<char>(k);
            if (const auto met = metBefore_.find(key); met != metBefore_.end()) {
                twoFills_ = twoFills_ || met->second;
                return;
            }
        }
        const std::size_t fillsBefore = fills_;
        searchUnits(k, decoder, matcher);
        if (!key.empty()) {
            metBefore_.emplace(std::move(key), fills_ != fillsBefore);
        }
    }

    void searchUnits(std::size_t k, const TextDecoder& decoder, const Matcher& matcher) {
        const std::size_t at = start_ + k;
        const std::uint8_t knownBits = units_.known[at];
        const bool tag = decoder.html && decoder.inTag && decoder.qpState == 0 &&
                         decoder.lead < 0 && decoder.escapeRead == 0 && knownBits == 0;
        const std::uint8_t knownValue = units_.value[at] & knownBits;
        const auto tryUnit = [&](unsigned v) {
            if ((v & knownBits) != knownValue || !fitsLineBreaks(k, v)) {
                return;
            }
            spend(1);
            TextDecoder next = decoder;
            Matcher m = matcher;
            next.unit(v, m);
            if (next.failed || !next.leadFits(m.peek(0), m.peek(1))) {
                return;
            }
            choice_[k] = static_cast<std::uint8_t>(v);
            // Inside a tag any letter would do; and the twin cannot tell
            // a tab or a line break from other white space, or from none.
            const bool blankText = (v == '\t' || v == '\r' || v == '\n') && decoder.qpState == 0 &&
                                   !(decoder.html && decoder.inTag);
            open_[k] = tag || blankText;
            search(k + 1, next, m);
        };
        if (tag) {
            // Inside a tag every letter reads alike: one stands for all,
            // and the unit is never certain. Only while the tag's name is
            // read do the letters of BR, P and DIV differ from the rest.
            constexpr std::string_view kInTag = "x\">\r\n=";
            constexpr std::string_view kInName = " /brpdiv";
            for (const char c : kInTag) {
                if ((c != '=' || decoder.quotedPrintable) && (c != '>' || !decoder.inQuote)) {
                    tryUnit(static_cast<unsigned char>(c));
                }
            }
            if (decoder.nameLength != TextDecoder::kNameDone) {
                for (const char c : kInName) {
                    tryUnit(static_cast<unsigned char>(c));
                }
            }
            return;
        }
        // The twin's next character decides all but the bytes that give no
        // character yet: any other byte gives one that differs.
        const Code next = isBlankCode(matcher.peek(0)) ? matcher.peek(1) : matcher.peek(0);
        std::array<bool, 0x100> useful{};
        const bool narrowed = usefulBytes(decoder, next, useful);
        if (!decoder.quotedPrintable) {
            for (unsigned v = 1; v < 0x100; ++v) {
                if ((!narrowed || useful[v]) && allowed(v)) {
                    tryUnit(v);
                }
            }
            return;
        }
        // Quoted-printable: a byte is written as itself, or as "=" and two
        // digits when it must be.
        constexpr std::string_view kHex = "0123456789ABCDEF";
        const auto escaped = [](unsigned b) { return b == '=' || b < 0x21 || b >= 0x7F; };
        switch (decoder.qpState) {
        case 0:
            for (unsigned v = 1; v < 0x80; ++v) {
                if ((v == '=' || !narrowed || useful[v]) && allowed(v)) {
                    tryUnit(v);
                }
            }
            return;
        case 1:
            tryUnit('\r');
            for (unsigned high = 0; high < 16; ++high) {
                bool any = !narrowed;
                for (unsigned low = 0; low < 16 && !any; ++low) {
                    any = useful[high * 16 + low] && escaped(high * 16 + low);
                }
                if (any) {
                    tryUnit(static_cast<unsigned char>(kHex[high]));
                }
            }
            return;
        case 2:
            for (unsigned low = 0; low < 16; ++low) {
                if (!narrowed || useful[decoder.qpHigh * 16u + low]) {
                    tryUnit(static_cast<unsigned char>(kHex[low]));
                }
            }
            return;
        default:
            tryUnit('\n');
            return;
        }
    }

    // The bytes the charset layer can take next on a way to `next`:
    // false when that is not narrowed down (any byte may be).
    static bool usefulBytes(const TextDecoder& decoder, Code next,
                            std::array<bool, 0x100>& useful) {
        if (decoder.escapeRead != 0 ||
            (decoder.html && (decoder.inTag || decoder.entityLength > 0)) || decoder.unknown != 0 ||
            decoder.middle >= 0) {
            return false;
        }
        if (decoder.lead >= 0) {
            const int trail = decoder.trailFor(next);
            if (trail <= 0 || trail >= 0x100) {
                return false;
            }
            useful[static_cast<unsigned>(trail)] = true;
            return true;
        }
        for (const int v : decoder.unitsBeginning(next)) {
            if (v > 0 && v < 0x100) {
                useful[static_cast<unsigned>(v)] = true;
            }
        }
        // What gives no character yet: blanks, an escape, markup.
        for (const unsigned v : {unsigned(' '), unsigned('\t'), unsigned('\r'), unsigned('\n')}) {
            useful[v] = true;
        }
        if (decoder.charset == TextCharset::Jis) {
            useful[0x1B] = true;
        }
        if (decoder.charset == TextCharset::Euc) {
            useful[0x8F] = true;
        }
        if (decoder.html) {
            useful['<'] = true;
            useful['&'] = true;
        }
        return true;
    }

    // The bytes a body of this part can hold.
    bool allowed(unsigned v) const {
        if (v == '\t' || v == '\r' || v == '\n' || (v >= 0x20 && v < 0x7F)) {
            return true;
        }
        const bool raw = part_.transfer != Transfer::QuotedPrintable;
        if (v == 0x1B) {
            return raw && part_.charset == TextCharset::Jis;
        }
        const bool eightBit = part_.transfer == Transfer::Base64 || part_.eightBit;
        return raw && v >= 0x80 && eightBit && part_.charset != TextCharset::Jis;
    }

    // Lines end in CR LF: a CR only before an LF, an LF only after a CR.
    bool fitsLineBreaks(std::size_t k, unsigned v) const {
        const std::size_t at = start_ + k;
        const int before = k > 0 ? choice_[k - 1] : (at > 0 ? units_.value[at - 1] : -1);
        const bool beforeKnown = k > 0 || (at > 0 && units_.known[at - 1] == 0xFF);
        if (beforeKnown && before == '\r' && v != '\n') {
            return false;
        }
        if (v == '\n' && (!beforeKnown || before != '\r')) {
            return false;
        }
        if (at + 1 == end_ && at + 1 < units_.value.size() && units_.known[at + 1] == 0xFF) {
            const bool nextIsLf = units_.value[at + 1] == '\n';
            if ((v == '\r') != nextIsLf) {
                return false;
            }
        }
        return true;
    }

    // Whether the units after the run read on as the twin's text from the
    // state a fill left. Many fills leave the same state (inside a tag,
    // say): each state is read on once.
    bool readsOn(TextDecoder decoder, Matcher matcher) {
        Bytes key = decoder.stateKey();
        for (const std::size_t n : {matcher.at, matcher.afterRun}) {
            key.append(reinterpret_cast<const char*>(&n), sizeof n);
        }
        if (const auto known = readsOn_.find(key); known != readsOn_.end()) {
            return known->second;
        }
        matcher.pastRun = true;
        bool fails = false;
        for (std::size_t i = end_; i < windowEnd_ && matcher.afterRun < kContext && !fails; ++i) {
            spend(1);
            decoder.unit(units_.value[i], matcher);
            fails = decoder.failed;
        }
        const bool bothEnd =
            windowEnd_ == units_.value.size() && matcher.at == matcher.expected->size();
        const bool reads = !fails && (matcher.afterRun >= kContext || bothEnd);
        readsOn_.emplace(std::move(key), reads);
        return reads;
    }

    void finish(const TextDecoder& decoder, const Matcher& matcher) {
        if (!readsOn(decoder, matcher)) {
            return;
        }
        if (wholeOnly_ && std::find(open_.begin(), open_.end(), true) != open_.end()) {
            // A fill with a unit that is never certain: the run cannot
            // come back whole.
            abandoned_ = true;
            return;
        }
        for (std::size_t k = 0; k < choice_.size(); ++k) {
            const std::uint8_t v = choice_[k];
            if (!found_) {
                value_[k] = v;
                agreed_[k] = 0xFF;
            } else {
                agreed_[k] &= static_cast<std::uint8_t>(~(value_[k] ^ v));
            }
            if (open_[k]) {
                agreed_[k] = units_.known[start_ + k];
            }
        }
        found_ = true;
        ++fills_;
    }

    void spend(std::size_t units) {
        spent_ += units;
        work_ -= std::min(work_, units);
    }
    bool outOfWork() const { return spent_ >= kSearchBudget || work_ == 0; }

    // Every fill found so far already disagrees on every lost bit, or on
    // one where only whole runs are written.
    bool everythingOpen() const {
        if (!found_) {
            return false;
        }
        if (twoFills_) {
            return true;
        }
        if (wholeOnly_) {
            for (std::size_t k = 0; k < agreed_.size(); ++k) {
                if (agreed_[k] != 0xFF) {
                    return true;
                }
            }
            return false;
        }
        for (std::size_t k = 0; k < agreed_.size(); ++k) {
            if (agreed_[k] != units_.known[start_ + k]) {
                return false;
            }
        }
        return true;
    }

    const Units& units_;
    std::size_t start_;
    std::size_t end_;
    std::size_t windowEnd_;
    const Part& part_;
    // Only a run whose every unit is certain is written: the search ends
    // at the first unit that cannot be.
    bool wholeOnly_;
    bool abandoned_ = false;
    std::size_t& work_;
    std::vector<std::uint8_t> choice_;
    std::vector<bool> open_;
    std::vector<std::uint8_t> agreed_;
    std::vector<std::uint8_t> value_;
    std::unordered_map<Bytes, bool> readsOn_;
    std::size_t spent_ = 0;
    bool found_ = false;
    std::size_t fills_ = 0;
    bool twoFills_ = false;
    std::unordered_map<Bytes, bool> metBefore_; // whether fills read on from it
};

// Writes the certain units of a run into the body; true when the whole run
// came back. Returns the bytes written through `filled`.
bool writeRun(std::span<char> body, Units& units, const Part& part, std::size_t runStart,
              std::size_t runEnd, const std::vector<std::uint8_t>& certain,
              const std::vector<std::uint8_t>& values, std::int64_t& filled) {
    bool whole = true;
    for (std::size_t k = 0; k < certain.size(); ++k) {
        const std::size_t u = runStart + k;
        if (certain[k] == 0xFF) {
            units.value[u] = values[k];
            if (part.transfer != Transfer::Base64) {
                body[u] = static_cast<char>(values[k]);
                ++filled;
            }
            units.known[u] = 0xFF;
        } else {
            whole = false;
        }
    }
    if (part.transfer != Transfer::Base64) {
        return whole;
    }
    // A lost character comes back when all six of its bits are certain.
    const std::size_t firstChar = runStart * 8 / 6;
    const std::size_t lastChar = std::min(units.characterAt.size(), (runEnd * 8 + 5) / 6);
    for (std::size_t c = firstChar; c < lastChar; ++c) {
        const std::size_t at = units.characterAt[c];
        if (body[at] != kLost) {
            continue;
        }
        unsigned digit = 0;
        bool sure = true;
        for (std::size_t bit = c * 6; bit < c * 6 + 6; ++bit) {
            const std::size_t u = bit / 8;
            const unsigned mask = 0x80u >> (bit % 8);
            const bool known =
                u < units.known.size() &&
                ((u >= runStart && u < runEnd && (certain[u - runStart] & mask) != 0) ||
                 (units.known[u] & mask) != 0);
            if (!known) {
                sure = false;
                break;
            }
            const unsigned value =
                u >= runStart && u < runEnd ? values[u - runStart] : units.value[u];
            digit = (digit << 1) | ((value & mask) != 0 ? 1 : 0);
        }
        if (sure) {
            body[at] = charset::base64Character(digit);
            ++filled;
        }
    }
    return whole;
}

// Fills what it can of `part` from the twin's text; returns the bytes filled.
std::int64_t repairFromTwin(std::span<char> message, const Part& part, const TwinIndex& twin,
                            std::size_t& work) {
    const std::span<char> body = message.subspan(part.bodyStart, part.bodyEnd - part.bodyStart);
    std::optional<Units> units = unitsOf(ByteView(body.data(), body.size()), part.transfer);
    if (!units) {
        return 0;
    }
    std::int64_t filled = 0;
    std::vector<Code> recent; // what the decoder gave since it was last lost
    const auto push = [&](Code c) {
        recent.push_back(c);
        if (recent.size() > 2 * kLeftContext) {
            recent.erase(recent.begin(), recent.begin() + kLeftContext);
        }
        return true;
    };
    TextDecoder decoder = decoderFor(part, ByteView(body.data(), body.size()));
    // Both parts hold the text in the same order: a run is never matched
    // before the place the previous fill was matched at.
    std::size_t lastPlace = 0;
    const std::size_t count = units->value.size();
    for (std::size_t i = 0; i < count; ++i) {
        if (units->known[i] == 0xFF) {
            decoder.unit(units->value[i], push);
            continue;
        }
        std::size_t runEnd = i;
        while (runEnd < count && units->known[runEnd] != 0xFF) {
            ++runEnd;
        }
        bool whole = false;
        if (recent.size() >= kContext && runEnd - i <= kLongestRun &&
            std::none_of(recent.begin(), recent.end(), [](Code c) { return c == kBad; })) {
            std::optional<std::vector<std::size_t>> places = twin.placesAfter(recent);
            if (places) {
                std::erase_if(*places, [&](std::size_t place) { return place < lastPlace; });
            }
            if (places && !places->empty()) {
                RunSearch search(*units, i, runEnd, part, work);
                bool complete = true;
                for (const std::size_t place : *places) {
                    complete = complete && search.tryPlace(decoder, twin.codes(), place);
                }
                const std::int64_t before = filled;
                const std::vector<std::uint8_t> certain = search.certainBits();
                // The repairs of quoted-printable and base64 text read a
                // run that came back in part as other text than it was:
                // there only a whole run is written.
                const bool inPieces = part.transfer != Transfer::Plain;
                const bool all = std::all_of(certain.begin(), certain.end(),
                                             [](std::uint8_t bits) { return bits == 0xFF; });
                if (complete && (all || !inPieces)) {
                    whole =
                        writeRun(body, *units, part, i, runEnd, certain, search.values(), filled);
                }
                if (filled != before) {
                    lastPlace = places->front();
                }
            }
        }
        if (whole) {
            for (std::size_t u = i; u < runEnd; ++u) {
                decoder.unit(units->value[u], push);
            }
        } else {
            decoder.lose();
            recent.clear();
        }
        i = runEnd - 1;
    }
    return filled;
}

bool holdsLost(std::span<const char> message, const Part& part) {
    const ByteView body(message.data() + part.bodyStart, part.bodyEnd - part.bodyStart);
    return body.find(kLost) != ByteView::npos;
}

std::int64_t restoreAlternative(std::span<char> message, const Alternative& alternative,
                                std::size_t& work) {
    std::int64_t filled = 0;
    // Each direction once, and the first again with what the second
    // brought back.
    for (int pass = 0; pass < 3; ++pass) {
        const Part& damaged = pass % 2 == 0 ? alternative.plain : alternative.html;
        const Part& twin = pass % 2 == 0 ? alternative.html : alternative.plain;
        if (!holdsLost(message, damaged)) {
            continue;
        }
        const ByteView twinBody(message.data() + twin.bodyStart, twin.bodyEnd - twin.bodyStart);
        const std::optional<Units> twinUnits = unitsOf(twinBody, twin.transfer);
        if (!twinUnits) {
            continue;
        }
        const TwinIndex index(decodeWhole(*twinUnits, twin));
        const std::int64_t now = repairFromTwin(message, damaged, index, work);
        filled += now;
        if (now == 0 && pass > 0) {
            break;
        }
    }
    return filled;
}

} // namespace

std::int64_t restoreTwinParts(std::span<char> message) {
    const std::span<char> scanned = message.first(std::min(message.size(), kTwinScanLimit));
    const ByteView text(scanned.data(), scanned.size());
    std::int64_t filled = 0;
    std::size_t work = kMessageBudget;
    std::size_t tried = 0;
    for (std::size_t at = platform::findFolded(text, "multipart/alternative");
         at != ByteView::npos && tried < kMostAlternatives;
         at = platform::findFolded(text, "multipart/alternative", at + 1)) {
        // The type must stand in a Content-Type field, "multipart/" at most
        // a line's length after its start.
        constexpr std::size_t kLongestLine = 1000;
        std::size_t fieldStart = at;
        while (fieldStart > 0 && at - fieldStart < kLongestLine && text[fieldStart - 1] != '\n') {
            --fieldStart;
        }
        if (!platform::startsWithFolded(text.substr(fieldStart), "content-type:") ||
            text.substr(fieldStart, at - fieldStart).find(kLost) != ByteView::npos) {
            continue;
        }
        ++tried;
        if (const std::optional<Alternative> alternative = readAlternative(text, fieldStart)) {
            filled += restoreAlternative(scanned, *alternative, work);
        }
    }
    return filled;
}

std::int64_t restoreTwinPartsInFile(const std::filesystem::path& file) {
    std::error_code error;
    std::optional<platform::ReadWriteFile> opened = platform::ReadWriteFile::open(file, error);
    if (!opened) {
        return 0;
    }
    Bytes head(static_cast<std::size_t>(std::min<std::uint64_t>(opened->size(), kTwinScanLimit)),
               '\0');
    const std::optional<std::size_t> read = opened->readAt(0, head);
    if (!read || *read != head.size() || head.find(kLost) == Bytes::npos) {
        return 0;
    }
    const Bytes before = head;
    const std::int64_t filled = restoreTwinParts(head);
    if (filled == 0) {
        return 0;
    }
    for (std::size_t i = 0; i < head.size();) {
        if (head[i] == before[i]) {
            ++i;
            continue;
        }
        std::size_t end = i;
        while (end < head.size() && head[end] != before[end]) {
            ++end;
        }
        if (opened->writeAt(i, ByteView(head).substr(i, end - i))) {
            break;
        }
        i = end;
    }
    return filled;
}

} // namespace keldor::repair
