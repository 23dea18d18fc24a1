#include "repair/base64_body_repair.h"

#include "charset/base64_encoding.h"
#include "platform/text.h"
#include "repair/line_edit.h"
#include "repair/lost_byte.h"

#include <algorithm>
#include <array>
#include <cstdint>

namespace keldor::repair {
namespace {

// What a lost character is written as before anything better is known; its
// value only matters for the bytes that depended on it.
constexpr char kFillCharacter = 'A';
// A line longer than this is not a line of a base64 body.
constexpr std::size_t kLongestLine = 1000;

bool isBase64Character(char c) {
    return platform::base64DigitValue(static_cast<unsigned char>(c)) >= 0;
}

// A byte that no line of a base64 body holds; lost bytes aside.
bool foreignToBase64(char c) {
    return !isBase64Character(c) && c != '=' && c != '\r' && c != '\n' && c != kLost;
}

bool endsWithCrLf(ByteView line) {
    return contentLength(line) + 2 == line.size();
}

// The base64 characters of a line before its line break; a CR more before
// the CR LF, as some writers leave, is no character.
std::size_t charactersBeforeBreak(ByteView line) {
    std::size_t n = contentLength(line);
    if (n + 2 == line.size()) {
        while (n > 0 && line[n - 1] == '\r') {
            --n;
        }
    }
    return n;
}

// The CRs right before the line's final LF; 0 without one.
std::size_t crsBeforeFinalLf(ByteView line) {
    if (line.empty() || line.back() != '\n') {
        return 0;
    }
    std::size_t n = 0;
    while (n + 1 < line.size() && line[line.size() - 2 - n] == '\r') {
        ++n;
    }
    return n;
}

// A lost run that opens a line which, its lost bytes all characters, would
// run past the body's line length: the bytes over held the end of the line
// before (where that one ended CR CR LF and kept only a CR, the chain's LF
// put after it stood for the second CR). How many they are.
std::size_t breaksOpening(const Base64Body& body, ByteView line) {
    if (body.lineLength == 0 || line.empty() || line[0] != kLost || !endsWithCrLf(line)) {
        return 0;
    }
    const std::size_t run = line.find_first_not_of(kLost);
    if (run == ByteView::npos || line.find(kLost, run) != ByteView::npos) {
        return 0;
    }
    const std::size_t characters = charactersBeforeBreak(line);
    return characters > body.lineLength ? std::min(characters - body.lineLength, run) : 0;
}

// The line length when no complete line has taught it: 76, unless the line
// holds two lines and the lost run that took the break between them says
// otherwise (the break then falls where a group of four ends).
std::size_t guessedLineLength(ByteView line) {
    const std::size_t n = charactersBeforeBreak(line);
    if (n <= kBase64LineLength || line[kBase64LineLength] == kLost) {
        return kBase64LineLength;
    }
    for (std::size_t i = 4; i + 1 < n; i += 4) {
        if (line[i] == kLost && (line[i + 1] == kLost || line[i + 1] == '\n')) {
            return i;
        }
    }
    return kBase64LineLength;
}

// Index of the first byte of the line's last run of lost bytes when only
// line breaks follow it; npos otherwise.
std::size_t finalRun(ByteView line) {
    const std::size_t last = line.find_last_of(kLost);
    if (last == ByteView::npos || line.find_first_not_of("\r\n", last + 1) != ByteView::npos) {
        return ByteView::npos;
    }
    std::size_t start = last;
    while (start > 0 && line[start - 1] == kLost) {
        --start;
    }
    return start;
}

} // namespace

void noteBase64Line(Base64Body& body, ByteView line) {
    body.notBase64 = body.notBase64 || std::any_of(line.begin(), line.end(), foreignToBase64);
    const std::size_t length = charactersBeforeBreak(line);
    if (endsWithCrLf(line) && length <= kLongestLine) {
        body.lineLength = std::max(body.lineLength, length);
        body.crsBeforeLf = std::min<std::size_t>(crsBeforeFinalLf(line), 2);
    }
    for (const char c : line) {
        if (isBase64Character(c) || c == '=') {
            body.phase = (body.phase + 1) % 4;
        }
    }
}

std::vector<std::size_t> fillBase64Line(Base64Body& body, Bytes& line, bool endsBody) {
    body.notBase64 = body.notBase64 || std::any_of(line.begin(), line.end(), foreignToBase64);
    if (body.notBase64) {
        return {};
    }
    const std::size_t lineLength = body.lineLength != 0 ? body.lineLength : guessedLineLength(line);
    if (body.lineLength == 0 && crsBeforeFinalLf(line) != 0) {
        // No complete line has shown how lines end: this one's end tells.
        body.crsBeforeLf = std::min<std::size_t>(crsBeforeFinalLf(line), 2);
    }
    const std::size_t tail = endsBody ? finalRun(line) : Bytes::npos;
    const std::size_t leadingBreaks = breaksOpening(body, line);
    std::vector<std::size_t> made;
    std::size_t column = 0; // characters since the last line break
    bool padded = false;    // padding since the last line break: only padding and a break follow
    const auto breakByte = [&](std::size_t i) {
        // LF after the CRs the body's lines end with, CR before an LF or
        // where the line ends.
        std::size_t crs = 0;
        while (crs < i && line[i - 1 - crs] == '\r') {
            ++crs;
        }
        const bool lfFollows = i + 1 < line.size() && line[i + 1] == '\n';
        if (crs > 0 && crs >= body.crsBeforeLf && !lfFollows) {
            column = 0;
            return '\n';
        }
        return '\r';
    };
    for (std::size_t i = 0; i < line.size(); ++i) {
        const char c = line[i];
        if (i < leadingBreaks) {
            line[i] = i + 1 == leadingBreaks ? '\n' : '\r';
            continue;
        }
        if (c != kLost) {
            if (c == '\n') {
                column = 0;
                padded = false;
            } else if (c != '\r') {
                ++column;
            }
            if (isBase64Character(c) || c == '=') {
                body.phase = (body.phase + 1) % 4;
            }
            padded = padded || c == '=';
            continue;
        }
        // Counting the CRs the body's lines end with: where a writer ends them
        // CR CR LF, the two bytes before an LF were both CRs.
        std::size_t toLf = i + 1;
        while (toLf < line.size() && toLf - i < body.crsBeforeLf &&
               (line[toLf] == kLost || line[toLf] == '\r')) {
            ++toLf;
        }
        const bool lfFollows = toLf < line.size() && line[toLf] == '\n';
        const bool afterCr = i > 0 && line[i - 1] == '\r';
        if (padded) {
            // The group that padding opened closes with padding, then the line breaks.
            if (body.phase != 0 && !afterCr && !lfFollows) {
                line[i] = '=';
                body.phase = (body.phase + 1) % 4;
            } else {
                line[i] = breakByte(i);
                padded = line[i] != '\n';
            }
            continue;
        }
        if (i >= tail) {
            // The end of the body: complete its last group, padding once it
            // has the two characters a group needs at least; then the line
            // breaks before the delimiter.
            if (body.phase != 0 && !afterCr && !lfFollows && column < lineLength) {
                const bool padding = body.phase >= 2;
                line[i] = padding ? '=' : kFillCharacter;
                if (!padding) {
                    made.push_back(i);
                }
                body.phase = (body.phase + 1) % 4;
                ++column;
            } else {
                line[i] = breakByte(i);
            }
            continue;
        }
        if (afterCr || lfFollows || column == lineLength) {
            line[i] = breakByte(i);
        } else {
            line[i] = kFillCharacter;
            made.push_back(i);
            ++column;
            body.phase = (body.phase + 1) % 4;
        }
    }
    return made;
}

namespace {

// One base64 character of a body: where it stands and what it gives.
struct BodyCharacter {
    std::size_t line = 0;
    std::size_t at = 0;
    int value = -1; // -1 for padding
    bool lost = false;
};

// The body's bytes as decoded, group by group.
struct DecodedBody {
    Bytes text;
    std::vector<bool> lostByte;       // for each byte: a character it took bits from was lost
    std::vector<std::size_t> groupOf; // for each byte: its group of four characters
    std::size_t groups = 0;
};

// Fills the lost bytes of every line, the line length learnt from all of
// the body's complete lines. Returns, for each line, which of its bytes the
// fill made base64 characters.
std::vector<std::vector<bool>> fillBodyLines(std::vector<Bytes>& lines, bool lastEndsBody) {
    Base64Body body;
    for (const Bytes& line : lines) {
        if (line.find(kLost) == Bytes::npos && endsWithCrLf(line) &&
            charactersBeforeBreak(line) <= kLongestLine) {
            body.lineLength = std::max(body.lineLength, charactersBeforeBreak(line));
            body.crsBeforeLf = std::min<std::size_t>(crsBeforeFinalLf(line), 2);
        }
    }
    std::vector<std::vector<bool>> filled(lines.size());
    for (std::size_t n = 0; n < lines.size(); ++n) {
        Bytes& line = lines[n];
        filled[n].assign(line.size(), false);
        if (line.find(kLost) == Bytes::npos) {
            noteBase64Line(body, line);
            continue;
        }
        const bool endsBody = lastEndsBody && n + 1 == lines.size();
        for (const std::size_t at : fillBase64Line(body, line, endsBody)) {
            filled[n][at] = true;
        }
    }
    return filled;
}

// Whether a line holds a byte that no base64 body holds, lost bytes aside.
bool holdsForeignBytes(const std::vector<Bytes>& lines) {
    return std::any_of(lines.begin(), lines.end(), [](const Bytes& line) {
        return std::any_of(line.begin(), line.end(), foreignToBase64);
    });
}

std::vector<BodyCharacter> bodyCharacters(const std::vector<Bytes>& lines,
                                          const std::vector<std::vector<bool>>& filled) {
    std::vector<BodyCharacter> characters;
    for (std::size_t n = 0; n < lines.size(); ++n) {
        for (std::size_t at = 0; at < lines[n].size(); ++at) {
            const char c = lines[n][at];
            if (isBase64Character(c)) {
                characters.push_back({n, at,
                                      platform::base64DigitValue(static_cast<unsigned char>(c)),
                                      filled[n][at]});
            } else if (c == '=') {
                characters.push_back({n, at, -1, false});
            }
        }
    }
    return characters;
}

// Decodes group by group; a byte is lost when a character that gives it
// bits was. A group cut short by padding or by the body's end gives the
// bytes its characters cover.
DecodedBody decodeGroups(const std::vector<BodyCharacter>& characters) {
    DecodedBody decoded;
    decoded.groups = (characters.size() + 3) / 4;
    for (std::size_t g = 0; g < decoded.groups; ++g) {
        std::uint32_t bits = 0;
        std::size_t dataCharacters = 0;
        std::array<bool, 4> lost{};
        for (std::size_t k = 0; k < 4; ++k) {
            const std::size_t i = g * 4 + k;
            const bool data =
                i < characters.size() && characters[i].value >= 0 && dataCharacters == k;
            bits <<= 6;
            if (data) {
                bits |= static_cast<std::uint32_t>(characters[i].value);
                lost[k] = characters[i].lost;
                ++dataCharacters;
            }
        }
        for (std::size_t k = 0; k + 1 < dataCharacters; ++k) {
            decoded.text += toByte((bits >> (16 - 8 * k)) & 0xFF);
            decoded.lostByte.push_back(lost[k] || lost[k + 1]);
            decoded.groupOf.push_back(g);
        }
    }
    return decoded;
}

// Repairs each decoded text line that holds a lost byte. Returns which
// groups now hold other bytes than they decoded to.
std::vector<bool> repairDecodedText(DecodedBody& decoded, TextRepairer repairText,
                                    const RepairOptions& options) {
    Bytes& text = decoded.text;
    const std::vector<bool>& lostByte = decoded.lostByte;
    // What lost bytes decoded to is nothing to go by, a line break least of all.
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (lostByte[i]) {
            text[i] = kLost;
        }
    }
    std::vector<bool> groupChanged(decoded.groups, false);
    for (std::size_t start = 0; start < text.size();) {
        std::size_t end = text.find('\n', start);
        end = end == Bytes::npos ? text.size() : end + 1;
        if (std::find(lostByte.begin() + static_cast<std::ptrdiff_t>(start),
                      lostByte.begin() + static_cast<std::ptrdiff_t>(end),
                      true) != lostByte.begin() + static_cast<std::ptrdiff_t>(end)) {
            Bytes textLine = text.substr(start, end - start);
            repairDecodedTextLine(
                textLine,
                std::vector<bool>(lostByte.begin() + static_cast<std::ptrdiff_t>(start),
                                  lostByte.begin() + static_cast<std::ptrdiff_t>(end)),
                repairText, options);
            for (std::size_t i = start; i < end; ++i) {
                if (textLine[i - start] != text[i] || lostByte[i]) {
                    text[i] = textLine[i - start];
                    groupChanged[decoded.groupOf[i]] = true;
                }
            }
        }
        start = end;
    }
    return groupChanged;
}

// Encodes the changed groups back into their places; padding stays.
void encodeChangedGroups(std::vector<Bytes>& lines, const std::vector<BodyCharacter>& characters,
                         const DecodedBody& decoded, const std::vector<bool>& groupChanged) {
    std::size_t nextByte = 0;
    for (std::size_t g = 0; g < decoded.groups; ++g) {
        std::uint32_t bits = 0;
        std::size_t count = 0;
        while (nextByte < decoded.groupOf.size() && decoded.groupOf[nextByte] == g) {
            bits |= static_cast<std::uint32_t>(byteAt(decoded.text, nextByte)) << (16 - 8 * count);
            ++count;
            ++nextByte;
        }
        if (!groupChanged[g]) {
            continue;
        }
        for (std::size_t k = 0; k < 4; ++k) {
            const std::size_t i = g * 4 + k;
            if (i < characters.size() && characters[i].value >= 0 && k <= count) {
                lines[characters[i].line][characters[i].at] =
                    charset::base64Character(bits >> (18 - 6 * k));
            }
        }
    }
}

} // namespace

void repairBase64TextBody(std::vector<Bytes>& lines, bool lastEndsBody, TextRepairer repairText,
                          const RepairOptions& options) {
    // Text whose lines are not all base64 is left for blanks: neither a
    // fill nor its groups can be trusted where the lines put them.
    if (holdsForeignBytes(lines)) {
        return;
    }
    const std::vector<std::vector<bool>> filled = fillBodyLines(lines, lastEndsBody);
    const std::vector<BodyCharacter> characters = bodyCharacters(lines, filled);
    DecodedBody decoded = decodeGroups(characters);
    const std::vector<bool> groupChanged = repairDecodedText(decoded, repairText, options);
    encodeChangedGroups(lines, characters, decoded, groupChanged);
}

} // namespace keldor::repair
