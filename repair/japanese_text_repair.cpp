#include "repair/japanese_text_repair.h"

#include "charset/sjis_lead_byte.h"
#include "repair/line_edit.h"

#include <algorithm>
#include <vector>

namespace keldor::repair {
namespace {

constexpr unsigned kEsc = 0x1B;
constexpr unsigned kAt = 0x40; // final byte of ESC $ @, the older kanji designation

// Where the ISO-2022-JP scanner stands just before the first lost byte.
enum class JisState {
    Ascii,           // single-byte mode, between characters
    AsciiEsc,        // ESC read in single-byte mode
    AsciiEscDollar,  // ESC $ read
    KanjiDesignated, // ESC $ B or ESC $ @ just read
    KanjiFirstByte,  // kanji mode, first byte of a character read
    KanjiBetween,    // kanji mode, between characters
    KanjiEsc,        // ESC read in kanji mode
    KanjiEscParen,   // ESC ( read in kanji mode
};

JisState scanJisState(ByteView line, std::size_t end) {
    JisState state = JisState::Ascii;
    for (std::size_t i = 0; i < end; ++i) {
        const unsigned b = byteAt(line, i);
        switch (state) {
        case JisState::Ascii:
            state = b == kEsc ? JisState::AsciiEsc : JisState::Ascii;
            break;
        case JisState::AsciiEsc:
            state = b == '$' ? JisState::AsciiEscDollar : JisState::Ascii;
            break;
        case JisState::AsciiEscDollar:
            state = (b == 'B' || b == kAt) ? JisState::KanjiDesignated : JisState::Ascii;
            break;
        case JisState::KanjiDesignated:
        case JisState::KanjiBetween:
            state = (state == JisState::KanjiBetween && b == kEsc) ? JisState::KanjiEsc
                                                                   : JisState::KanjiFirstByte;
            break;
        case JisState::KanjiFirstByte:
            state = JisState::KanjiBetween;
            break;
        case JisState::KanjiEsc:
            state = b == '(' ? JisState::KanjiEscParen : JisState::KanjiBetween;
            break;
        case JisState::KanjiEscParen:
            state = (b == 'B' || b == 'J') ? JisState::Ascii : JisState::KanjiFirstByte;
            break;
        }
    }
    return state;
}

std::size_t findPair(ByteView line, std::size_t from, unsigned first, unsigned second) {
    for (std::size_t i = from; i + 1 < line.size(); ++i) {
        if (byteAt(line, i) == first && byteAt(line, i + 1) == second) {
            return i;
        }
    }
    return ByteView::npos;
}

// Rebuilds the lost run at z of a line in single-byte mode when a switch to
// kanji mode must be put back before the kanji text that runs up to the next
// ESC ( at z + d: the parity of d tells whether that text starts at z+4 or
// at z+3, so that its bytes pair up.
StepEnd putKanjiSwitch(LineEdit& edit, std::size_t z, std::size_t d, unsigned h, unsigned f1,
                       unsigned f2) {
    if (d % 2 == 0) {
        return stepEnd(edit.put(z, {h, kEsc, '$', kAt}));
    }
    return stepEnd(edit.put(z, {kEsc, '$', kAt, f1, f2}));
}

// Kanji mode with no ESC ( ahead: the escape back to single-byte mode was
// in the lost run. When its tail survived right after the run ("(" "B" or
// just "B", "J" likewise), the escape is completed in front of that tail and
// the lost bytes before it become full-width characters. False, with nothing
// written, when no such tail follows or the kanji bytes would not pair up.
bool closeOnEscapeRemnant(LineEdit& edit, std::size_t last, std::size_t z, unsigned f1,
                          unsigned f2) {
    std::size_t r = z;
    while (r <= last && edit.isLost(r)) {
        ++r;
    }
    const std::optional<unsigned> tail = edit.at(r);
    if (!tail) {
        return false;
    }
    const auto isFinal = [](std::optional<unsigned> b) { return b && (*b == 'B' || *b == 'J'); };
    std::size_t escAt = 0;
    if (*tail == '(' && isFinal(edit.at(r + 1))) {
        escAt = r - 1;
    } else if (isFinal(tail) && r >= z + 2) {
        escAt = r - 2;
    } else {
        return false;
    }
    if ((escAt - z) % 2 != 0) {
        return false;
    }
    for (std::size_t i = z; i < escAt; i += 2) {
        (void)edit.put(i, {f1, f2});
    }
    (void)edit.put(escAt, {kEsc, '('});
    return true;
}

// Shared by the Shift_JIS and EUC-JP repairers, which differ only in which
// bytes begin a two-byte character and in how an orphaned second byte after
// the run is recognised.
template <typename IsLead, typename IsOrphanAfterRun>
StepEnd repairDoubleByteLine(Bytes& line, unsigned h, IsLead isLead,
                             IsOrphanAfterRun isOrphanAfterRun) {
    const std::size_t z = line.find('\0');
    if (z == Bytes::npos) {
        return StepEnd::Completed;
    }
    bool secondByteDue = false;
    for (std::size_t i = 0; i < z; ++i) {
        secondByteDue = !secondByteDue && isLead(byteAt(line, i));
    }
    std::size_t s = z;
    while (s < line.size() && byteAt(line, s) == 0) {
        ++s;
    }
    const bool runReachesEnd = s == line.size();

    std::size_t fillFrom = z;
    if (secondByteDue) { // the byte before the run is a lead byte whose trail was lost
        line[z - 1] = toByte(h);
        line[z] = toByte(h);
        fillFrom = z + 1;
    }
    if (!runReachesEnd && isOrphanAfterRun(ByteView(line).substr(s))) {
        line[s - 1] = toByte(h);
        line[s] = toByte(h);
    }
    // A run that reaches the end of the line keeps its last byte lost.
    const std::size_t fillTo = runReachesEnd ? line.size() - 1 : s;
    for (std::size_t i = fillFrom; i < fillTo; ++i) {
        line[i] = toByte(h);
    }
    return StepEnd::Completed;
}

// What the rebuild of a line's first lost run works with.
struct JisRun {
    LineEdit& edit;
    std::size_t last;  // index of the line's last byte
    std::size_t z;     // index of the run's first lost byte
    bool nextToSingle; // an ESC ( follows the run before any ESC $
    std::size_t d;     // from z to that ESC (; 0 when there is none
    unsigned h;        // the half-width replacement
    unsigned f1, f2;   // the two bytes of the full-width replacement
};

// Single-byte mode, between characters.
StepEnd rebuildInSingleByteText(const JisRun& run) {
    const auto& [edit, last, z, nextToSingle, d, h, f1, f2] = run;
    if (!nextToSingle) {
        (void)edit.put(z, {h});
        for (std::size_t i = z + 1; i <= z + 3 && edit.isLost(i); ++i) {
            (void)edit.put(i, {h});
        }
        return StepEnd::Completed;
    }
    if (d < 3) {
        // No room for a switch to kanji before the escape: a short run of
        // single-byte text.
        for (std::size_t i = z; i < z + d; ++i) {
            (void)edit.put(i, {h});
        }
        return StepEnd::Completed;
    }
    const std::optional<unsigned> after = edit.at(z + 4);
    if (!after) {
        return StepEnd::PastLineEnd;
    }
    if (*after == '$') {
        const std::optional<unsigned> afterNext = edit.at(z + 5);
        if (!afterNext) {
            return StepEnd::PastLineEnd;
        }
        // Only the ESC of ESC $ B was lost, where the kanji after it pair up.
        if ((*afterNext == 'B' || *afterNext == kAt) && (d - 6) % 2 == 0) {
            return stepEnd(edit.put(z, {h, h, h, kEsc}));
        }
        return putKanjiSwitch(edit, z, d, h, f1, f2);
    }
    // The "B" after the run ends the switch where the kanji after it pair up;
    // otherwise it is the first byte of a kanji ("> " ESC $ B lost before "BeI=").
    if ((*after == kAt || *after == 'B') && (d - 5) % 2 == 0) {
        return stepEnd(edit.put(z, {h, h, kEsc, '$'}));
    }
    return putKanjiSwitch(edit, z, d, h, f1, f2);
}

// ESC $ read in single-byte mode.
StepEnd rebuildAfterEscDollar(const JisRun& run) {
    const auto& [edit, last, z, nextToSingle, d, h, f1, f2] = run;
    if (!edit.put(z, {kAt, f1, f2})) {
        return StepEnd::PastLineEnd;
    }
    const std::optional<unsigned> after = edit.at(z + 4);
    if (!after) {
        return StepEnd::PastLineEnd;
    }
    return stepEnd(*after == '(' ? edit.put(z + 3, {kEsc}) : edit.put(z + 3, {f1, f2}));
}

// ESC $ B or ESC $ @ just read.
StepEnd rebuildAfterKanjiDesignation(const JisRun& run) {
    const auto& [edit, last, z, nextToSingle, d, h, f1, f2] = run;
    if (!edit.put(z, {f1, f2})) {
        return StepEnd::PastLineEnd;
    }
    const std::optional<unsigned> after = edit.at(z + 4);
    if (!after) {
        return StepEnd::PastLineEnd;
    }
    if ((*after == 'B' || *after == 'J') && !nextToSingle) {
        return stepEnd(edit.put(z + 2, {kEsc, '('}));
    }
    return stepEnd(edit.put(z + 2, {f1, f2}));
}

// Kanji mode, the first byte of a character read.
StepEnd rebuildInsideKanjiCharacter(const JisRun& run) {
    const auto& [edit, last, z, nextToSingle, d, h, f1, f2] = run;
    // The run cut a character in half: its surviving first byte goes too.
    if (!edit.put(z - 1, {f1, f2})) {
        return StepEnd::PastLineEnd;
    }
    if (nextToSingle) {
        return stepEnd(edit.put(z + 1, {f1, f2, f1, f2}));
    }
    if (z + 3 == last) {
        return stepEnd(edit.put(z + 1, {kEsc, '(', 'B'}));
    }
    const std::optional<unsigned> after = edit.at(z + 4);
    if (!after) {
        return StepEnd::PastLineEnd;
    }
    if (*after == '(') {
        return stepEnd(edit.put(z + 1, {f1, f2, kEsc}));
    }
    return stepEnd(edit.put(z + 1, {kEsc, '(', 'B'}));
}

// Kanji mode, between characters.
StepEnd rebuildBetweenKanji(const JisRun& run) {
    const auto& [edit, last, z, nextToSingle, d, h, f1, f2] = run;
    if (nextToSingle) {
        return stepEnd(edit.put(z, {f1, f2, f1, f2}));
    }
    if (closeOnEscapeRemnant(edit, last, z, f1, f2)) {
        return StepEnd::Completed;
    }
    if (z + 2 > last) {
        return StepEnd::PastLineEnd;
    }
    (void)edit.put(z, {kEsc, '(', 'B'});
    if (edit.isLost(z + 3)) {
        (void)edit.put(z + 3, {h});
    }
    return StepEnd::Completed;
}

// ESC read in kanji mode.
StepEnd rebuildAfterKanjiEsc(const JisRun& run) {
    const auto& [edit, last, z, nextToSingle, d, h, f1, f2] = run;
    if (!edit.put(z, {'(', 'B'})) {
        return StepEnd::PastLineEnd;
    }
    if (const std::optional<unsigned> after = edit.at(z + 4)) {
        const bool escDollarFollows = *after == '$' && nextToSingle;
        return stepEnd(edit.put(z + 2, {h, escDollarFollows ? kEsc : h}));
    }
    if (z + 3 == last) {
        return stepEnd(edit.put(z + 2, {h, h}));
    }
    if (z + 2 == last) {
        return stepEnd(edit.put(z + 2, {h}));
    }
    return StepEnd::Completed;
}

// ESC ( read in kanji mode.
StepEnd rebuildAfterKanjiEscParen(const JisRun& run) {
    const auto& [edit, last, z, nextToSingle, d, h, f1, f2] = run;
    if (!edit.put(z, {'B'})) {
        return StepEnd::PastLineEnd;
    }
    if (!edit.has(z + 3)) {
        return StepEnd::Completed;
    }
    (void)edit.put(z + 1, {h});
    const std::optional<unsigned> after = edit.at(z + 4);
    if (!after) {
        return StepEnd::PastLineEnd;
    }
    if ((*after == kAt || *after == 'B') && nextToSingle) {
        return stepEnd(edit.put(z + 2, {kEsc, '$'}));
    }
    if (*after == '$' && nextToSingle) {
        return stepEnd(edit.put(z + 2, {h, kEsc}));
    }
    return stepEnd(edit.put(z + 2, {h, h}));
}

// Rebuilds the run by where the scanner stood just before it.
StepEnd rebuildJisRun(const JisRun& run, JisState state) {
    switch (state) {
    case JisState::Ascii:
        return rebuildInSingleByteText(run);
    case JisState::AsciiEsc:
        return stepEnd(run.edit.put(run.z, {'$', kAt, run.f1, run.f2}));
    case JisState::AsciiEscDollar:
        return rebuildAfterEscDollar(run);
    case JisState::KanjiDesignated:
        return rebuildAfterKanjiDesignation(run);
    case JisState::KanjiFirstByte:
        return rebuildInsideKanjiCharacter(run);
    case JisState::KanjiBetween:
        return rebuildBetweenKanji(run);
    case JisState::KanjiEsc:
        return rebuildAfterKanjiEsc(run);
    case JisState::KanjiEscParen:
        return rebuildAfterKanjiEscParen(run);
    }
    return StepEnd::Completed;
}

} // namespace

StepEnd repairJisLine(Bytes& line, const RepairOptions& options) {
    const std::size_t z = line.find('\0');
    if (z == Bytes::npos) {
        return StepEnd::Completed;
    }
    const JisState state = scanJisState(line, z);
    const std::size_t escParen = findPair(line, z, kEsc, '(');
    const std::size_t escDollar = findPair(line, z, kEsc, '$');
    const bool nextToSingle = escParen != ByteView::npos && escParen < escDollar;
    const std::size_t d = nextToSingle ? escParen - z : 0;

    const unsigned h = options.halfWidthByte;
    const unsigned f1 = options.fullWidthJis[0];
    const unsigned f2 = options.fullWidthJis[1];
    // The rebuild assumes a run of four lost bytes. A shorter one (decoded
    // encoded-word text loses three bytes or fewer) can end right before the
    // next ESC ( B; writing over that escape would leave the rest of the
    // text in kanji mode, so no write reaches it.
    LineEdit edit(line, nextToSingle ? escParen : Bytes::npos);
    const StepEnd end =
        rebuildJisRun({edit, line.size() - 1, z, nextToSingle, d, h, f1, f2}, state);
    return (end == StepEnd::PastLineEnd && edit.reachedWriteLimit()) ? StepEnd::Completed : end;
}

namespace {

bool cannotBeginSjis(unsigned b) {
    return b == 0x80 || b == 0xA0 || b >= 0xF0;
}

// Lead bytes of the characters of JIS X 0208 and the NEC special row, the
// ones that text holds; the user-defined and IBM rows are taken for a sign
// of misread pairs.
bool isAssignedSjisLead(unsigned b) {
    return (b >= 0x81 && b <= 0x84) || (b >= 0x87 && b <= 0x9F) || (b >= 0xE0 && b <= 0xEA);
}

// Whether the Shift_JIS text from `start` to the end of the line reads as
// whole characters.
bool sjisReadsFrom(ByteView text, std::size_t start) {
    for (std::size_t i = start; i < text.size(); ++i) {
        const unsigned b = byteAt(text, i);
        const bool single = b < 0x80 || (b >= 0xA1 && b <= 0xDF);
        if (!single && !isAssignedSjisLead(b)) {
            return false;
        }
        if (!single) {
            if (++i >= text.size()) {
                return false;
            }
            const unsigned trail = byteAt(text, i);
            if (trail < 0x40 || trail == 0x7F || trail > 0xFC) {
                return false;
            }
        }
    }
    return true;
}

} // namespace

StepEnd repairSjisLine(Bytes& line, const RepairOptions& options) {
    return repairDoubleByteLine(line, options.halfWidthByte, charset::isSjisLeadByte,
                                // The trail of a character the run cut: a byte that cannot
                                // begin one, or one after which the rest of the line only
                                // reads as whole characters from the next byte on.
                                [](ByteView rest) {
                                    return cannotBeginSjis(byteAt(rest, 0)) ||
                                           (!sjisReadsFrom(rest, 0) && sjisReadsFrom(rest, 1));
                                });
}

StepEnd repairEucLine(Bytes& line, const RepairOptions& options) {
    return repairDoubleByteLine(
        line, options.halfWidthByte, [](unsigned b) { return b >= 0x80; },
        // An odd count of high bytes after the run means the
        // first of them is the second half of a cut character.
        [](ByteView rest) {
            std::size_t count = 0;
            while (count < rest.size() && byteAt(rest, count) >= 0x7F) {
                ++count;
            }
            return count % 2 == 1;
        });
}

TextRepairer textRepairerFor(Charset charset) {
    switch (charset) {
    case Charset::Iso2022Jp:
        return repairJisLine;
    case Charset::ShiftJis:
        return repairSjisLine;
    case Charset::EucJp:
        return repairEucLine;
    case Charset::None:
        break;
    }
    return nullptr;
}

void repairTextRuns(Bytes& line, TextRepairer repairText, const RepairOptions& options) {
    // Last run first: a run's repair depends on the text after it (the next
    // escape sequence, the characters it must pair up with), which an
    // earlier run does not touch. Earlier runs stand in as bytes that are no
    // escape and no lead byte while a later one is repaired.
    constexpr char kStandIn = '\x01';
    std::size_t lost = static_cast<std::size_t>(std::count(line.begin(), line.end(), '\0'));
    while (lost != 0) {
        std::size_t last = line.rfind('\0');
        while (last > 0 && line[last - 1] == '\0') {
            --last;
        }
        std::vector<std::size_t> standIns;
        for (std::size_t i = 0; i < last; ++i) {
            if (line[i] == '\0') {
                line[i] = kStandIn;
                standIns.push_back(i);
            }
        }
        (void)repairText(line, options);
        for (const std::size_t i : standIns) {
            if (line[i] == kStandIn) {
                line[i] = '\0';
            }
        }
        const auto left = static_cast<std::size_t>(std::count(line.begin(), line.end(), '\0'));
        if (left >= lost) {
            return;
        }
        lost = left;
    }
}

void repairDecodedTextLine(Bytes& line, const std::vector<bool>& lost, TextRepairer repairText,
                           const RepairOptions& options) {
    // An intact 0x00 would look lost to the text repairer: it stands behind
    // a blank meanwhile.
    std::vector<std::size_t> hidden;
    for (std::size_t i = 0; i < lost.size() && i < line.size(); ++i) {
        if (line[i] == '\0' && !lost[i]) {
            line[i] = ' ';
            hidden.push_back(i);
        }
    }
    repairTextRuns(line, repairText, options);
    std::replace(line.begin(), line.end(), '\0', toByte(options.halfWidthByte));
    for (const std::size_t i : hidden) {
        if (line[i] == ' ') {
            line[i] = '\0';
        }
    }
}

} // namespace keldor::repair
