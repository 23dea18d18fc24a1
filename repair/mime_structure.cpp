#include "repair/mime_structure.h"

#include <array>
#include <string_view>

namespace keldor::repair {

namespace {

constexpr char kLost = '\0';
// Outlook Express boundaries are 41 bytes: ----=_NextPart_000_0001_01C6A0B6.5C4E5A70
constexpr std::size_t kBoundaryLength = 41;
constexpr std::string_view kBoundaryTemplate = "boundary=\"--";
// From the "b" of `boundary` to the first byte of its value: boundary="
constexpr std::size_t kValueOffset = 10;

unsigned folded(ByteView line, std::size_t i) {
    const unsigned c = byteAt(line, i);
    return c >= 'A' && c <= 'Z' ? c + ('a' - 'A') : c;
}

// The line with its letters folded to lower case, for the text searches.
// The copy lives in a buffer reused from line to line (every line of a
// message is folded at least once); it stays valid until the next call.
ByteView foldedCopy(ByteView line) {
    thread_local Bytes lowered;
    lowered.resize(line.size());
    char* out = lowered.data();
    for (std::size_t i = 0; i < line.size(); ++i) {
        // Byte arithmetic throughout, so that the loop runs 16 bytes at a time.
        const auto c = static_cast<std::uint8_t>(line[i]);
        const auto fromA = static_cast<std::uint8_t>(c - 'A');
        out[i] = static_cast<char>(fromA < 26 ? static_cast<std::uint8_t>(c + ('a' - 'A')) : c);
    }
    return lowered;
}

// 1-based position of the first occurrence of `needle` (lower case) in a
// folded line; 0 when absent. A lost byte matches nothing.
std::int64_t findFolded(ByteView lowered, std::string_view needle) {
    const std::size_t at = lowered.find(needle);
    return at == ByteView::npos ? 0 : static_cast<std::int64_t>(at) + 1;
}

// Whether `pattern` fits the line at the 1-based position `at`, a lost byte
// fitting anything. A pattern reaching past the line's end does not fit.
bool fitsAt(ByteView line, std::int64_t at, std::string_view pattern, bool foldCase) {
    if (at < 1 || static_cast<std::size_t>(at - 1) + pattern.size() > line.size()) {
        return false;
    }
    const auto start = static_cast<std::size_t>(at - 1);
    for (std::size_t i = 0; i < pattern.size(); ++i) {
        const unsigned c = foldCase ? folded(line, start + i) : byteAt(line, start + i);
        if (line[start + i] != kLost && c != static_cast<unsigned char>(pattern[i])) {
            return false;
        }
    }
    return true;
}

// Replaces the lost bytes under `pattern` at the 1-based `at`; fitsAt first.
void fillAt(Bytes& line, std::int64_t at, std::string_view pattern) {
    const auto start = static_cast<std::size_t>(at - 1);
    for (std::size_t i = 0; i < pattern.size(); ++i) {
        if (line[start + i] == kLost) {
            line[start + i] = pattern[i];
        }
    }
}

bool isLost(ByteView line, std::int64_t position) {
    return line[static_cast<std::size_t>(position - 1)] == kLost;
}

void setAt(Bytes& line, std::int64_t position, char value) {
    line[static_cast<std::size_t>(position - 1)] = value;
}

Bytes delimiterOf(ByteView headerLine, std::size_t paramPos) {
    const std::size_t valueStart = paramPos - 1 + kValueOffset;
    Bytes delimiter = "--";
    if (valueStart < headerLine.size()) {
        delimiter += headerLine.substr(valueStart, kBoundaryLength);
    }
    return delimiter;
}

// The boundary parameter on a multipart Content-Type line or the line after
// it, found by whichever piece of its name survived.
BoundaryResult recordBoundary(BoundaryTable& table, Bytes& line, ByteView lowered,
                              std::int64_t linePosition) {
    std::int64_t b = 0;
    if (const auto at = findFolded(lowered, "boun")) {
        b = at;
    } else if (const auto dary = findFolded(lowered, "dary")) {
        b = dary - 4;
    } else if (const auto quote = findFolded(lowered, "=\"--")) {
        b = quote - 8;
    }
    if (b < 1 || !fitsAt(line, b, kBoundaryTemplate, false)) {
        return BoundaryResult::NoMatch;
    }
    fillAt(line, b, kBoundaryTemplate);
    // A folded field: CR LF and a tab before the parameter.
    if (b > 1 && isLost(line, b - 1)) {
        setAt(line, b - 1, '\t');
    }
    if (b > 3 && isLost(line, b - 3) && isLost(line, b - 2)) {
        setAt(line, b - 3, '\r');
        setAt(line, b - 2, '\n');
    }
    BoundaryEntry entry;
    entry.paramPos = static_cast<std::size_t>(b);
    entry.delimiter = delimiterOf(line, entry.paramPos);
    entry.linePosition = linePosition;
    entry.headerLine = line;
    table.entries.push_back(std::move(entry));
    return BoundaryResult::BoundaryRecorded;
}

// Where a delimiter line would begin, found by a piece of an Outlook
// Express delimiter ("------=_NextPart") that survived; 0 when none.
std::int64_t delimiterStart(ByteView lowered) {
    if (lowered.size() >= 2 && lowered[0] == '-' && lowered[1] == '-') {
        return 1;
    }
    if (const auto at = findFolded(lowered, "---=")) {
        return at - 3;
    }
    if (const auto at = findFolded(lowered, "_nex")) {
        return at - 7;
    }
    if (const auto at = findFolded(lowered, "tpar")) {
        return at - 11;
    }
    return 0;
}

// Whether the delimiter fits the line at the 0-based `start`; a lost byte on
// either side fits anything.
bool delimiterFits(ByteView line, std::size_t start, ByteView delimiter) {
    for (std::size_t i = 0; i < delimiter.size(); ++i) {
        const char l = line[start + i];
        const char d = delimiter[i];
        if (l != kLost && d != kLost && l != d) {
            return false;
        }
    }
    return true;
}

BoundaryResult matchDelimiter(BoundaryTable& table, Bytes& line, ByteView lowered,
                              const RewriteAt& rewrite) {
    const std::int64_t b = delimiterStart(lowered);
    if (b < 1) {
        return BoundaryResult::NoMatch;
    }
    const auto start = static_cast<std::size_t>(b - 1);
    BoundaryEntry* taken = nullptr;
    for (BoundaryEntry& entry : table.entries) {
        const std::size_t length = entry.delimiter.size();
        if (line.size() < length + 2 || start + length > line.size()) {
            continue;
        }
        if (delimiterFits(line, start, entry.delimiter)) {
            taken = &entry;
            break;
        }
    }
    if (taken == nullptr) {
        return BoundaryResult::NoMatch;
    }

    // The delimiter line and the header line teach each other the bytes one
    // of them lost. Bytes from the third on are the header's boundary value.
    Bytes& header = taken->headerLine;
    const std::size_t valueStart = taken->paramPos - 1 + kValueOffset;
    std::vector<bool> learnt(header.size(), false);
    for (std::size_t i = 0; i < taken->delimiter.size(); ++i) {
        if (line[start + i] == kLost) {
            line[start + i] = taken->delimiter[i];
        }
        if (i >= 2 && taken->delimiter[i] == kLost) {
            const std::size_t at = valueStart + (i - 2);
            if (at < header.size() && line[start + i] != kLost) {
                header[at] = line[start + i];
                learnt[at] = true;
            }
        }
    }
    if (b > 2 && isLost(line, b - 2) && isLost(line, b - 1)) {
        setAt(line, b - 2, '\r');
        setAt(line, b - 1, '\n');
    }
    taken->delimiter = delimiterOf(header, taken->paramPos);

    // Only the learnt bytes go back into the file: the rest of the header
    // line has been written already, with repairs made after it was recorded
    // and its remaining lost bytes as blanks, and must stay so.
    for (std::size_t at = 0; at < header.size();) {
        if (!learnt[at]) {
            ++at;
            continue;
        }
        std::size_t end = at;
        while (end < header.size() && learnt[end]) {
            ++end;
        }
        if (rewrite) {
            rewrite(taken->linePosition + static_cast<std::int64_t>(at),
                    ByteView(header).substr(at, end - at));
        }
        at = end;
    }
    return BoundaryResult::DelimiterMatched;
}

struct CharsetTemplate {
    std::string_view text;
    char code;
};

constexpr std::array<CharsetTemplate, 6> kCharsetTemplates = {{
    {"charset=\"iso-2022-jp\"", 'J'},
    {"charset=iso-2022-jp", 'J'},
    {"charset=\"shift_jis\"", 'S'},
    {"charset=shift_jis", 'S'},
    {"charset=\"euc-jp\"", 'E'},
    {"charset=euc-jp", 'E'},
}};

// Where a charset parameter begins, found by a piece of it that survived; 0 when none.
std::int64_t charsetStart(ByteView lowered) {
    if (const auto at = findFolded(lowered, "char")) {
        return at;
    }
    if (const auto at = findFolded(lowered, "set=")) {
        return at - 4;
    }
    for (const std::string_view value : {"\"iso", "\"shi", "\"euc"}) {
        if (const auto at = findFolded(lowered, value)) {
            return at - 8;
        }
    }
    return 0;
}

} // namespace

BoundaryResult detectBoundary(BoundaryTable& table, Bytes& line, std::int64_t linePosition,
                              const RewriteAt& rewrite) {
    const ByteView lowered = foldedCopy(line);
    BoundaryResult result = BoundaryResult::NoMatch;
    if (findFolded(lowered, "content-type: multipart/") != 0) {
        table.multipartState = 1;
        result = BoundaryResult::MultipartSeen;
    }
    if (table.multipartState == 0) {
        return matchDelimiter(table, line, lowered, rewrite);
    }
    if (recordBoundary(table, line, lowered, linePosition) == BoundaryResult::BoundaryRecorded) {
        result = BoundaryResult::BoundaryRecorded;
    }
    table.multipartState = table.multipartState == 1 ? 2 : 0;
    return result;
}

void detectPartInfo(PartInfo& info, Bytes& line) {
    ByteView lowered = foldedCopy(line);
    if (findFolded(lowered, "content-type: text/plain") != 0) {
        info.contentType = 'T';
        info.charsetPending = true;
    } else if (findFolded(lowered, "content-type: text/html") != 0) {
        info.contentType = 'H';
        info.charsetPending = true;
    } else if (findFolded(lowered, "content-type: ") != 0) {
        info.contentType = 'O';
        info.charsetPending = false;
    }

    if (info.charsetPending) {
        const std::int64_t at = charsetStart(lowered);
        if (at >= 1) {
            for (const CharsetTemplate& charset : kCharsetTemplates) {
                if (fitsAt(line, at, charset.text, true)) {
                    fillAt(line, at, charset.text);
                    info.charset = charset.code;
                    lowered = foldedCopy(line);
                    break;
                }
            }
        }
    }

    if (findFolded(lowered, "content-transfer-encoding: base64") != 0) {
        info.transferEncoding = 'B';
        info.charsetPending = true;
    } else if (findFolded(lowered, "content-transfer-encoding: quoted-printable") != 0) {
        info.transferEncoding = 'P';
        info.charsetPending = true;
    } else if (findFolded(lowered, "content-transfer-encoding: ") != 0) {
        info.transferEncoding = 'O';
        info.charsetPending = false;
    }
}

} // namespace keldor::repair
