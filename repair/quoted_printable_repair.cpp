#include "repair/quoted_printable_repair.h"

#include "charset/sjis_lead_byte.h"
#include "repair/japanese_text_repair.h"
#include "repair/line_edit.h"
#include "repair/lost_byte.h"

#include <algorithm>
#include <optional>

namespace keldor::repair {
namespace {

constexpr unsigned kEsc = 0x1B;
// Encoded lines are at most 76 characters long (RFC 2045); a longer line
// as read holds two, the break between them lost.
constexpr std::size_t kLongestLine = 76;
constexpr char kHexDigits[] = "0123456789ABCDEF";

// Upper-case hexadecimal digits, as quoted-printable writes them.
int hexValue(char c) {
    if (c >= '0' && c <= '9') {
        return c - '0';
    }
    if (c >= 'A' && c <= 'F') {
        return c - 'A' + 10;
    }
    return -1;
}

// A byte that may stand as itself in quoted-printable text.
bool standsAsItself(unsigned b) {
    return b > 0x20 && b < 0x7F && b != '=';
}

// One decoded byte or line break of the body and the raw bytes it came from.
struct Unit {
    enum class Kind { Byte, SoftBreak, LineBreak };
    Kind kind = Kind::Byte;
    std::size_t line = 0;
    std::size_t at = 0;
    std::size_t length = 1;
    bool lost = false;    // the decoded byte depended on a lost byte
    bool rawLost = false; // lost raw bytes that its value does not need
    unsigned value = 0;
};

// Whether the ISO-2022-JP escape that survived after a lost run goes on
// from `at`: "$B", "$@", "(B" or "(J".
bool escapeTailAt(ByteView line, std::size_t at) {
    if (at + 1 >= line.size()) {
        return false;
    }
    const char a = line[at];
    const char b = line[at + 1];
    return (a == '$' && (b == 'B' || b == '@')) || (a == '(' && (b == 'B' || b == 'J'));
}

// Whether the surviving bytes at `at` after a lost run are the two digits
// of an escape whose "=" the run took. In Shift_JIS and EUC-JP text nearly
// every byte is an escape, so two digits before the next "=" or the line's
// end (or, in Shift_JIS, a lead byte before a trail that stands as itself)
// are taken for one; in ISO-2022-JP text only the escapes of ESC and
// of "=" itself are common, and ESC is known by the escape sequence after it.
bool twoDigitTail(ByteView line, std::size_t at, std::size_t end, Charset charset) {
    if (at + 1 >= end || hexValue(line[at]) < 0 || hexValue(line[at + 1]) < 0) {
        return false;
    }
    const unsigned value = static_cast<unsigned>(hexValue(line[at]) * 16 + hexValue(line[at + 1]));
    if (charset == Charset::Iso2022Jp) {
        return (value == kEsc && escapeTailAt(line, at + 2)) || value == '=';
    }
    if (at + 2 == end || line[at + 2] == '=') {
        return true;
    }
    // A Shift_JIS lead byte whose trail stands as itself.
    const unsigned next = byteAt(line, at + 2);
    const bool lead = keldor::charset::isSjisLeadByte(value);
    return charset == Charset::ShiftJis && lead && next >= 0x40 && next <= 0x7E;
}

// The same for the last digit alone, the "=" and the first digit lost.
// Returns the escaped value when the digit and what follows tell it.
std::optional<unsigned> oneDigitTail(ByteView line, std::size_t at, std::size_t end,
                                     Charset charset, bool& known) {
    known = false;
    if (at >= end || hexValue(line[at]) < 0) {
        return std::nullopt;
    }
    if (charset == Charset::Iso2022Jp) {
        if (line[at] == 'B' && escapeTailAt(line, at + 1)) {
            known = true;
            return kEsc;
        }
        return std::nullopt;
    }
    if (at + 1 == end || line[at + 1] == '=') {
        return static_cast<unsigned>(hexValue(line[at]));
    }
    return std::nullopt;
}

// How many lost bytes at the end of a run, before the surviving bytes at
// `at`, an escape whose digits survived claims (its "=" or its "=" and
// first digit).
std::size_t tailClaim(ByteView line, std::size_t at, std::size_t end, Charset charset) {
    bool known = false;
    if (twoDigitTail(line, at, end, charset)) {
        return 1;
    }
    return oneDigitTail(line, at, end, charset, known) ? 2 : 0;
}

// Puts back line breaks that lost bytes took inside one encoded line as
// read, its content the bytes [start, end): where it is too long to be one (76 characters, or the
// longest complete line of the body where that is longer), a soft line break (or, where no "="
// fits, a plain one) in a lost run where both halves fit and the escapes cut at the run's ends keep
// their digits; and, in a body with soft line breaks, the "=" of one in the last lost byte of a
// line about as long as the longest.
void restoreSegmentBreaks(Bytes& line, std::size_t start, std::size_t end, std::size_t longestLine,
                          bool softBreaks, Charset charset) {
    if (end - start <= longestLine) {
        if (softBreaks && end - start + 2 >= longestLine && end > start && line[end - 1] == kLost) {
            // Not where the run took the end of an ISO-2022-JP escape
            // sequence, as text lines end with ESC ( B.
            std::size_t run = end - 1;
            while (run > start && line[run - 1] == kLost) {
                --run;
            }
            // (A run longer than the rest of the escape held the "=" as well.)
            const ByteView before = ByteView(line).substr(start, run - start);
            const std::size_t length = end - run;
            const bool escapeCut =
                charset == Charset::Iso2022Jp &&
                ((before.ends_with("=1B") && length <= 2) ||
                 ((before.ends_with("=1B(") || before.ends_with("=1B$")) && length <= 1));
            if (!escapeCut) {
                line[end - 1] = '=';
            }
        }
        return;
    }
    // A break at `at` (its CR) fits where both lines fit and the escapes
    // cut at the run's two ends keep their digits; `soft` needs the byte
    // before it for the "=".
    const auto breakFits = [&](std::size_t at, bool soft) {
        if (at + 1 >= end || line[at] != kLost || line[at + 1] != kLost ||
            at - start > longestLine || end - (at + 2) > longestLine) {
            return false;
        }
        std::size_t r = at;
        while (r > start && line[r - 1] == kLost) {
            --r;
        }
        std::size_t head = 0;
        const ByteView before = ByteView(line).substr(start, r - start);
        if (before.ends_with("=")) {
            head = 2;
        } else if (before.size() >= 2 && before[before.size() - 2] == '=' &&
                   hexValue(before.back()) >= 0) {
            head = 1;
        } else if (charset == Charset::Iso2022Jp &&
                   (before.ends_with("=1B(") || before.ends_with("=1B$"))) {
            head = 1; // the last byte of an escape sequence
        }
        std::size_t j = at + 2;
        while (j < end && line[j] == kLost) {
            ++j;
        }
        // The first byte the break takes; before the run when a surviving
        // "=" right before it is the soft break's own, claimed by no escape.
        const std::size_t first = soft ? at - 1 : at;
        const bool headKept = first < r || r + head <= first;
        return headKept && at + 2 + tailClaim(line, j, end, charset) <= j &&
               (!soft || line[at - 1] == '=' || line[at - 1] == kLost);
    };
    const std::size_t last = std::min(end, start + longestLine + 1);
    for (std::size_t at = last; at-- > start + 1;) {
        if (breakFits(at, true)) {
            line[at - 1] = '=';
            line[at] = '\r';
            line[at + 1] = '\n';
            return;
        }
    }
    for (std::size_t at = last; at-- > start + 1;) {
        if (breakFits(at, false)) {
            line[at] = '\r';
            line[at + 1] = '\n';
            return;
        }
    }
}

// Puts back line breaks that lost bytes took inside a line as read: CR
// before a surviving LF, LF after a surviving CR; then, in each encoded
// line it holds, as restoreSegmentBreaks says.
void restoreLineBreaks(Bytes& line, std::size_t longestLine, bool softBreaks, Charset charset) {
    std::vector<bool> restored(line.size(), false);
    for (std::size_t i = 0; i < line.size(); ++i) {
        if (line[i] != kLost) {
            continue;
        }
        if (i + 1 < line.size() && line[i + 1] == '\n') {
            line[i] = '\r';
            restored[i] = true;
        } else if (i > 0 && line[i - 1] == '\r') {
            line[i] = '\n';
            restored[i] = true;
        }
    }
    std::size_t start = 0;
    while (start < line.size()) {
        std::size_t end = line.find("\r\n", start);
        end = end == Bytes::npos ? line.size() : end;
        // A line about as long as the longest that lost its own line break
        // was broken where a soft line break goes.
        const bool lostItsBreak = end < line.size() && (restored[end] || restored[end + 1]);
        restoreSegmentBreaks(line, start, end, longestLine, softBreaks || lostItsBreak, charset);
        start = end + 2;
    }
}

void pushUnit(std::vector<Unit>& units, Unit::Kind kind, std::size_t n, std::size_t at,
              std::size_t length, bool lost, unsigned value) {
    Unit u;
    u.kind = kind;
    u.line = n;
    u.at = at;
    u.length = length;
    u.lost = lost;
    u.value = value;
    units.push_back(u);
}

// At an "=" at `p` of line `n` (content up to `end`): a soft line break, an
// escape whose digits may be lost, or an "=" that stands as itself. Returns
// where the next unit begins.
std::size_t parseEquals(const Bytes& line, std::size_t n, std::size_t end, std::size_t p,
                        std::vector<Unit>& units) {
    // A soft line break: "=", perhaps blanks, then the line's end.
    std::size_t q = p + 1;
    while (q < end && (line[q] == ' ' || line[q] == '\t' || line[q] == kLost)) {
        ++q;
    }
    const bool innerBreak = q + 1 < end && line[q] == '\r' && line[q + 1] == '\n';
    if ((q == end || innerBreak) && (q - p - 1 < 2 || line[p + 1] != kLost)) {
        const std::size_t stop = innerBreak ? q + 2 : (q == end ? line.size() : q);
        pushUnit(units, Unit::Kind::SoftBreak, n, p, stop - p, false, 0);
        return stop;
    }
    if (p + 2 < end) {
        const char h1 = line[p + 1];
        const char h2 = line[p + 2];
        if ((hexValue(h1) >= 0 || h1 == kLost) && (hexValue(h2) >= 0 || h2 == kLost)) {
            const bool lost = h1 == kLost || h2 == kLost;
            const unsigned value =
                lost ? 0 : static_cast<unsigned>(hexValue(h1) * 16 + hexValue(h2));
            pushUnit(units, Unit::Kind::Byte, n, p, 3, lost, value);
            return p + 3;
        }
    }
    pushUnit(units, Unit::Kind::Byte, n, p, 1, false, '=');
    return p + 1;
}

// At a lost run at `p` of line `n`: one lost byte for each of its bytes, but
// where the digits that survive after it are the tail of an escape whose "="
// (and first digit) the run took, that escape. Returns where the next unit
// begins.
std::size_t parseLostRun(const Bytes& line, std::size_t n, std::size_t end, std::size_t p,
                         Charset charset, std::vector<Unit>& units) {
    std::size_t j = p;
    while (j < end && line[j] == kLost) {
        ++j;
    }
    std::size_t literalEnd = j;
    std::optional<Unit> tail;
    bool known = false;
    if (twoDigitTail(line, j, end, charset)) {
        literalEnd = j - 1;
        tail = Unit{Unit::Kind::Byte,
                    n,
                    j - 1,
                    3,
                    false,
                    true,
                    static_cast<unsigned>(hexValue(line[j]) * 16 + hexValue(line[j + 1]))};
    } else if (j - p >= 2) {
        if (const auto value = oneDigitTail(line, j, end, charset, known)) {
            literalEnd = j - 2;
            tail = Unit{Unit::Kind::Byte, n, j - 2, 3, !known, known, *value};
        }
    }
    for (std::size_t k = p; k < literalEnd; ++k) {
        pushUnit(units, Unit::Kind::Byte, n, k, 1, true, 0);
    }
    if (tail) {
        units.push_back(*tail);
        return tail->at + 3;
    }
    return j;
}

// Cuts line `n` of the body, as read, into its units.
void parseLine(const Bytes& line, std::size_t n, Charset charset, std::vector<Unit>& units) {
    const std::size_t end = contentLength(line);
    std::size_t p = 0;
    while (p < end) {
        const char c = line[p];
        if (c == '\r' && p + 1 < end && line[p + 1] == '\n') {
            pushUnit(units, Unit::Kind::LineBreak, n, p, 2, false, 0);
            p += 2;
        } else if (c == '=') {
            p = parseEquals(line, n, end, p, units);
        } else if (c == kLost) {
            p = parseLostRun(line, n, end, p, charset, units);
        } else {
            pushUnit(units, Unit::Kind::Byte, n, p, 1, false, static_cast<unsigned char>(c));
            ++p;
        }
    }
    if (end < line.size() &&
        (units.empty() || units.back().kind != Unit::Kind::SoftBreak || units.back().line != n)) {
        pushUnit(units, Unit::Kind::LineBreak, n, end, line.size() - end, false, 0);
    }
}

// Where a gap between two bytes of decoded text stands.
enum class Gap {
    Inside,     // inside a character or an escape sequence
    SingleByte, // between single-byte characters
    DoubleByte, // between two-byte characters
};

// The gap before each byte of a decoded text line, and after its last.
std::vector<Gap> characterGaps(ByteView text, Charset charset) {
    std::vector<Gap> gaps(text.size() + 1, Gap::Inside);
    if (charset == Charset::Iso2022Jp) {
        bool kanji = false;
        std::size_t i = 0;
        while (i < text.size()) {
            gaps[i] = kanji ? Gap::DoubleByte : Gap::SingleByte;
            if (byteAt(text, i) == kEsc && i + 2 < text.size()) {
                const char a = text[i + 1];
                const char b = text[i + 2];
                if (a == '$' && (b == 'B' || b == '@')) {
                    kanji = true;
                    i += 3;
                    continue;
                }
                if (a == '(' && (b == 'B' || b == 'J')) {
                    kanji = false;
                    i += 3;
                    continue;
                }
            }
            i += kanji ? 2 : 1;
        }
        if (i == text.size()) {
            gaps[i] = kanji ? Gap::DoubleByte : Gap::SingleByte;
        }
        return gaps;
    }
    bool secondDue = false;
    for (std::size_t i = 0; i < text.size(); ++i) {
        gaps[i] = secondDue ? Gap::Inside : Gap::SingleByte;
        const unsigned b = byteAt(text, i);
        const bool lead =
            charset == Charset::ShiftJis ? keldor::charset::isSjisLeadByte(b) : b >= 0x80;
        secondDue = !secondDue && lead;
    }
    gaps[text.size()] = secondDue ? Gap::Inside : Gap::SingleByte;
    return gaps;
}

// The bytes `decoded` (`gaps` before each of them and after the last) in
// quoted-printable form of exactly `length` bytes. Replacement characters
// that stand between characters of their own width may be dropped, and a
// half-width one added between single-byte characters; safe bytes may be
// written as escapes. nullopt when no such form exists.
std::optional<Bytes> packInto(ByteView decoded, const std::vector<Gap>& gaps, std::size_t length,
                              const RepairOptions& options) {
    struct Piece {
        unsigned value;
        bool escaped;
        std::size_t dropWidth; // 1 or 2: a replacement character starts here; 0 otherwise
        Gap before;
    };
    const unsigned h = options.halfWidthByte;
    const unsigned f1 = options.fullWidthJis[0];
    const unsigned f2 = options.fullWidthJis[1];
    std::vector<Piece> pieces;
    for (std::size_t i = 0; i < decoded.size(); ++i) {
        const unsigned b = byteAt(decoded, i);
        std::size_t dropWidth = 0;
        if (b == h && gaps[i] == Gap::SingleByte && gaps[i + 1] == Gap::SingleByte) {
            dropWidth = 1;
        } else if (b == f1 && i + 1 < decoded.size() && byteAt(decoded, i + 1) == f2 &&
                   gaps[i] == Gap::DoubleByte && gaps[i + 2] == Gap::DoubleByte) {
            dropWidth = 2;
        }
        pieces.push_back({b, !standsAsItself(b), dropWidth, gaps[i]});
    }
    const auto size = [&] {
        std::size_t total = 0;
        for (const Piece& p : pieces) {
            total += p.escaped ? 3 : 1;
        }
        return total;
    };
    // Too long: drop replacement characters, the last first.
    for (std::size_t i = pieces.size(); i-- > 0 && size() > length;) {
        if (pieces[i].dropWidth != 0 && i + pieces[i].dropWidth <= pieces.size()) {
            pieces.erase(pieces.begin() + static_cast<std::ptrdiff_t>(i),
                         pieces.begin() + static_cast<std::ptrdiff_t>(i + pieces[i].dropWidth));
        }
    }
    std::size_t total = size();
    if (total > length) {
        return std::nullopt;
    }
    if ((length - total) % 2 == 1) {
        // One more half-width character, between single-byte characters.
        std::size_t at = 0;
        while (at < pieces.size() && pieces[at].before != Gap::SingleByte) {
            ++at;
        }
        const bool singleAtEnd = gaps.back() == Gap::SingleByte;
        if ((at == pieces.size() && !singleAtEnd) || !standsAsItself(h)) {
            return std::nullopt;
        }
        pieces.insert(pieces.begin() + static_cast<std::ptrdiff_t>(at),
                      Piece{h, false, 1, Gap::SingleByte});
        ++total;
    }
    for (Piece& p : pieces) {
        if (total == length) {
            break;
        }
        if (!p.escaped) {
            p.escaped = true;
            total += 2;
        }
    }
    if (total != length) {
        return std::nullopt;
    }
    Bytes raw;
    for (const Piece& p : pieces) {
        if (p.escaped) {
            raw += '=';
            raw += kHexDigits[p.value >> 4];
            raw += kHexDigits[p.value & 0xF];
        } else {
            raw += toByte(p.value);
        }
    }
    return raw;
}

// Writes the new values `decoded` of units that stand side by side in one
// raw line over their raw bytes; `gaps` as for packInto.
void writeRegion(std::vector<Bytes>& lines, const std::vector<Unit>& slots, ByteView decoded,
                 const std::vector<Gap>& gaps, const RepairOptions& options) {
    const Unit& head = slots.front();
    std::size_t length = 0;
    for (const Unit& unit : slots) {
        length += unit.length;
    }
    Bytes& line = lines[head.line];
    if (const auto raw = packInto(decoded, gaps, length, options)) {
        line.replace(head.at, length, *raw);
        return;
    }
    // Nothing fits: the half-width character in every lost byte.
    const unsigned h = options.halfWidthByte;
    for (const Unit& unit : slots) {
        if (unit.length == 3 && (unit.lost || unit.rawLost)) {
            line.replace(unit.at, 3, Bytes{'=', kHexDigits[h >> 4], kHexDigits[h & 0xF]});
        } else if (line[unit.at] == kLost) {
            line[unit.at] = toByte(h);
        }
    }
}

// Puts back the line breaks lost runs took and cuts the body into its units.
std::vector<Unit> parseBody(std::vector<Bytes>& lines, Charset charset) {
    std::size_t longestLine = kLongestLine;
    bool softBreaks = false;
    for (const Bytes& line : lines) {
        if (line.find(kLost) == Bytes::npos) {
            const std::size_t length = contentLength(line);
            longestLine = std::max(longestLine, length);
            softBreaks = softBreaks || (length > 0 && line[length - 1] == '=');
        }
    }
    std::vector<Unit> units;
    for (std::size_t n = 0; n < lines.size(); ++n) {
        if (lines[n].find(kLost) != Bytes::npos) {
            restoreLineBreaks(lines[n], longestLine, softBreaks, charset);
        }
        parseLine(lines[n], n, charset, units);
    }
    return units;
}

// One decoded text line: its bytes (a lost one 0x00), the unit each came
// from, and whether any of those units holds a lost byte.
struct DecodedLine {
    Bytes text;
    std::vector<std::size_t> unitOf;
    bool anyLost = false;
};

// The text line of the units from `textStart` up to `textEnd`; soft breaks
// decode to nothing.
DecodedLine decodeTextLine(const std::vector<Unit>& units, std::size_t textStart,
                           std::size_t textEnd) {
    DecodedLine decoded;
    for (std::size_t u = textStart; u < textEnd; ++u) {
        if (units[u].kind != Unit::Kind::Byte) {
            continue;
        }
        decoded.text += units[u].lost ? kLost : toByte(units[u].value);
        decoded.unitOf.push_back(u);
        decoded.anyLost = decoded.anyLost || units[u].lost || units[u].rawLost;
    }
    return decoded;
}

// Writes the repaired text line back, region by region: changed units side
// by side in one raw line.
void writeChangedRegions(std::vector<Bytes>& lines, const std::vector<Unit>& units,
                         const DecodedLine& decoded, ByteView repaired,
                         const std::vector<Gap>& gaps, const RepairOptions& options) {
    const Bytes& text = decoded.text;
    const std::vector<std::size_t>& unitOf = decoded.unitOf;
    std::size_t i = 0;
    while (i < unitOf.size()) {
        const Unit& unit = units[unitOf[i]];
        const bool changed = repaired[i] != text[i] || unit.lost || unit.rawLost;
        if (!changed) {
            ++i;
            continue;
        }
        std::size_t j = i;
        while (j + 1 < unitOf.size()) {
            const Unit& a = units[unitOf[j]];
            const Unit& b = units[unitOf[j + 1]];
            const bool nextChanged = repaired[j + 1] != text[j + 1] || b.lost || b.rawLost;
            if (!nextChanged || b.line != a.line || b.at != a.at + a.length) {
                break;
            }
            ++j;
        }
        std::vector<Unit> slots;
        for (std::size_t k = i; k <= j; ++k) {
            slots.push_back(units[unitOf[k]]);
        }
        writeRegion(lines, slots, repaired.substr(i, j - i + 1),
                    std::vector<Gap>(gaps.begin() + static_cast<std::ptrdiff_t>(i),
                                     gaps.begin() + static_cast<std::ptrdiff_t>(j + 2)),
                    options);
        i = j + 1;
    }
}

// Repairs the decoded text line of the units from `textStart` up to
// `textEnd` (a line break, or the body's end) where it lost bytes.
void repairTextLine(std::vector<Bytes>& lines, const std::vector<Unit>& units,
                    std::size_t textStart, std::size_t textEnd, Charset charset,
                    TextRepairer repairText, const RepairOptions& options) {
    const DecodedLine decoded = decodeTextLine(units, textStart, textEnd);
    if (!decoded.anyLost) {
        return;
    }
    const Bytes& text = decoded.text;
    Bytes repaired = text;
    if (textEnd < units.size()) {
        repaired += "\r\n";
    }
    std::vector<bool> lost(text.size());
    for (std::size_t k = 0; k < text.size(); ++k) {
        lost[k] = units[decoded.unitOf[k]].lost;
    }
    repairDecodedTextLine(repaired, lost, repairText, options);
    repaired.resize(text.size()); // the line break itself is not the text's to change
    const std::vector<Gap> gaps = characterGaps(repaired, charset);
    writeChangedRegions(lines, units, decoded, repaired, gaps, options);
}

} // namespace

void repairQuotedPrintableTextBody(std::vector<Bytes>& lines, Charset charset,
                                   const RepairOptions& options) {
    const TextRepairer repairText = textRepairerFor(charset);
    if (repairText == nullptr) {
        return;
    }
    const std::vector<Unit> units = parseBody(lines, charset);
    // Decoded text lines run from one line break to the next.
    std::size_t textStart = 0;
    while (textStart < units.size()) {
        std::size_t textEnd = textStart;
        while (textEnd < units.size() && units[textEnd].kind != Unit::Kind::LineBreak) {
            ++textEnd;
        }
        repairTextLine(lines, units, textStart, textEnd, charset, repairText, options);
        textStart = textEnd + 1;
    }
}

} // namespace keldor::repair
