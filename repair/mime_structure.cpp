#include "repair/mime_structure.h"

#include "platform/case_fold.h"
#include "platform/text.h"
#include "repair/line_edit.h"
#include "repair/lost_byte.h"
#include "repair/name_case.h"

#include <algorithm>
#include <array>
#include <optional>
#include <string_view>
#include <utility>
#include <vector>

namespace keldor::repair {

namespace {

// Outlook Express boundaries are 41 bytes: ----=_NextPart_000_0001_01C6A0B6.5C4E5A70
constexpr std::size_t kBoundaryLength = 41;
constexpr std::string_view kBoundaryTemplate = "boundary=\"--";
// From the "b" of `boundary` to the first byte of its value: boundary="
constexpr std::size_t kValueOffset = 10;

unsigned folded(ByteView line, std::size_t i) {
    return platform::foldedByte(byteAt(line, i));
}

// The line with its letters folded to lower case, for the text searches.
// The copy lives in a buffer reused from line to line (every line of a
// message is folded at least once); it stays valid until the next call.
ByteView foldedCopy(ByteView line) {
    thread_local Bytes lowered;
    lowered.resize(line.size());
    char* out = lowered.data();
    for (std::size_t i = 0; i < line.size(); ++i) {
        out[i] = static_cast<char>(platform::foldedByte(static_cast<std::uint8_t>(line[i])));
    }
    return lowered;
}

// 0-based index of the first occurrence of `needle` (lower case) in a
// folded line; nullopt when absent. A lost byte matches nothing.
std::optional<std::size_t> findFolded(ByteView lowered, std::string_view needle) {
    const std::size_t at = lowered.find(needle);
    if (at == ByteView::npos) {
        return std::nullopt;
    }
    return at;
}

// Whether a folded line holds a Content-Type field whose value begins with
// `type` (lower case), with or without blanks after the colon: some
// writers put none.
bool contentTypeIs(ByteView lowered, std::string_view type) {
    constexpr std::string_view kName = "content-type:";
    const std::size_t name = lowered.find(kName);
    if (name == ByteView::npos) {
        return false;
    }
    std::size_t value = name + kName.size();
    while (value < lowered.size() && (lowered[value] == ' ' || lowered[value] == '\t')) {
        ++value;
    }
    return lowered.substr(value).starts_with(type);
}

// The index `back` bytes before `at`; nullopt where that would stand before
// the line's start.
std::optional<std::size_t> indexBefore(std::size_t at, std::size_t back) {
    if (at < back) {
        return std::nullopt;
    }
    return at - back;
}

// Whether `pattern` fits the line from the index `at`, a lost byte fitting
// anything. A pattern reaching past the line's end does not fit.
bool fitsAt(ByteView line, std::size_t at, std::string_view pattern, bool foldCase) {
    if (at + pattern.size() > line.size()) {
        return false;
    }
    for (std::size_t i = 0; i < pattern.size(); ++i) {
        const unsigned c = foldCase ? folded(line, at + i) : byteAt(line, at + i);
        if (line[at + i] != kLost && c != static_cast<unsigned char>(pattern[i])) {
            return false;
        }
    }
    return true;
}

// Replaces the lost bytes under `pattern` from the index `at`; fitsAt first.
void fillAt(Bytes& line, std::size_t at, std::string_view pattern) {
    for (std::size_t i = 0; i < pattern.size(); ++i) {
        if (line[at + i] == kLost) {
            line[at + i] = pattern[i];
        }
    }
}

// "--" and the `length` bytes of the header line from the index `valueStart`
// (fewer if the line ends sooner).
Bytes delimiterOf(ByteView headerLine, std::size_t valueStart, std::size_t length) {
    Bytes delimiter = "--";
    if (valueStart < headerLine.size()) {
        delimiter += headerLine.substr(valueStart, length);
    }
    return delimiter;
}

// Outlook Express's own form: `boundary="--` found by whichever piece of its
// name survived, and the 41 bytes after the quote. `paramStart` is the index
// of the "b" of `boundary`.
BoundaryResult recordOutlookExpressBoundary(BoundaryTable& table, Bytes& line,
                                            std::size_t paramStart, std::int64_t linePosition) {
    fillAt(line, paramStart, kBoundaryTemplate);
    // A folded field: CR LF and a tab before the parameter.
    if (paramStart >= 1 && line[paramStart - 1] == kLost) {
        line[paramStart - 1] = '\t';
    }
    if (paramStart >= 3 && line[paramStart - 3] == kLost && line[paramStart - 2] == kLost) {
        line[paramStart - 3] = '\r';
        line[paramStart - 2] = '\n';
    }
    // The closing quote stands right after the value's 41 bytes.
    const std::size_t close = paramStart + kValueOffset + kBoundaryLength;
    if (close < line.size() && line[close] == kLost) {
        line[close] = '"';
    }
    BoundaryEntry entry;
    entry.paramStart = paramStart;
    entry.valueStart = paramStart + kValueOffset;
    entry.delimiter = delimiterOf(line, entry.valueStart, kBoundaryLength);
    entry.linePosition = linePosition;
    entry.headerLine = line;
    entry.form = BoundaryForm::OutlookExpress;
    entry.lastSeen = ++table.events;
    table.entries.push_back(std::move(entry));
    return BoundaryResult::BoundaryRecorded;
}

// Where Outlook Express's form would stand (the index of the "b" of
// `boundary`), by the piece of its name that survived; nullopt when there is
// none or that is not its form.
// Whether the lost bytes from `at` on are followed by more of a quoted value
// and its closing quote ("0969" lost of "...82412909" "69717285"").
bool valueGoesOnAfterLost(ByteView line, std::size_t at) {
    std::size_t rest = at;
    while (rest < line.size() && line[rest] == kLost) {
        ++rest;
    }
    const std::size_t quote = line.find('"', rest);
    if (rest == at || quote == ByteView::npos || quote == rest) {
        return false;
    }
    return line.substr(rest, quote - rest).find_first_of(ByteView(" \t;=\0", 5)) == ByteView::npos;
}

std::optional<std::size_t> outlookExpressParameter(ByteView line, ByteView lowered) {
    std::optional<std::size_t> paramStart;
    if (const auto boun = findFolded(lowered, "boun")) {
        paramStart = boun;
    } else if (const auto dary = findFolded(lowered, "dary")) {
        paramStart = indexBefore(*dary, 4);
    } else if (const auto quote = findFolded(lowered, "=\"--")) {
        paramStart = indexBefore(*quote, 8);
    }
    if (!paramStart || !fitsAt(line, *paramStart, kBoundaryTemplate, false)) {
        return std::nullopt;
    }
    // Its value is 41 bytes long: the closing quote stands right after them
    // (or was lost). Any other length is another program's boundary that
    // merely begins with dashes.
    const std::size_t quoteAt = *paramStart + kValueOffset + kBoundaryLength;
    if (quoteAt >= line.size() || (line[quoteAt] != '"' && line[quoteAt] != kLost) ||
        valueGoesOnAfterLost(line, quoteAt)) {
        return std::nullopt;
    }
    return paramStart;
}

constexpr std::string_view kParameterName = "boundary=";
// Of the nine bytes of `boundary=`, at least this many must have survived
// for a damaged name to be taken for it.
constexpr std::size_t kNameEvidence = 5;

bool isWordByte(unsigned c) {
    return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '-' ||
           c == '_';
}

// 0-based index of a `boundary=` parameter in any letter case, lost bytes
// fitting any of its bytes; npos when there is none.
std::size_t findParameterName(ByteView line) {
    for (std::size_t at = 0; at + kParameterName.size() <= line.size(); ++at) {
        std::size_t surviving = 0;
        bool fits = true;
        for (std::size_t i = 0; i < kParameterName.size() && fits; ++i) {
            if (line[at + i] == kLost) {
                continue;
            }
            fits = folded(line, at + i) == static_cast<unsigned char>(kParameterName[i]);
            ++surviving;
        }
        // Not the end of a longer word, such as another parameter's name.
        if (fits && surviving >= kNameEvidence && (at == 0 || !isWordByte(byteAt(line, at - 1)))) {
            return at;
        }
    }
    return ByteView::npos;
}

bool endsToken(char c) {
    return c == ';' || c == ' ' || c == '\t' || c == '\r' || c == '\n' || c == '"';
}

// Any other form: the value after `boundary=`, quoted or not. A lost opening
// quote is known by the closing one; a lost closing quote is taken to be the
// last lost byte before the line's end. Lost bytes inside the value stay
// lost: its delimiter lines teach them.
BoundaryResult recordOtherBoundary(BoundaryTable& table, Bytes& line, std::int64_t linePosition) {
    const std::size_t name = findParameterName(line);
    if (name == ByteView::npos) {
        return BoundaryResult::NoMatch;
    }
    const std::size_t afterName = name + kParameterName.size();
    const std::size_t end = contentLength(line);
    if (afterName >= end) {
        return BoundaryResult::NoMatch;
    }
    bool quoted = line[afterName] == '"';
    if (line[afterName] == kLost) {
        std::size_t q = afterName + 1;
        while (q < end && line[q] != '"' && line[q] != ';' && line[q] != ' ' && line[q] != '\t') {
            ++q;
        }
        quoted = q < end && line[q] == '"';
    }
    std::size_t valueStart = afterName;
    std::size_t valueEnd = end;
    if (quoted) {
        valueStart = afterName + 1;
        const std::size_t close = line.find('"', valueStart);
        if (close != Bytes::npos && close < end) {
            valueEnd = close;
        }
        line[afterName] = '"';
    } else {
        valueEnd = afterName;
        while (valueEnd < end && !endsToken(line[valueEnd])) {
            ++valueEnd;
        }
    }
    // Lost bytes that end the line may hold the end of the value, its
    // closing quote, the next parameter or a blank line: the first
    // delimiter line tells.
    std::size_t looseEnd = 0;
    if (valueEnd == end || (valueEnd < line.size() && endsToken(line[valueEnd]) &&
                            line[valueEnd] != '"' && line[valueEnd] != ';')) {
        while (looseEnd < valueEnd - valueStart && line[valueEnd - 1 - looseEnd] == kLost) {
            ++looseEnd;
        }
    }
    if (valueEnd - looseEnd <= valueStart) {
        return BoundaryResult::NoMatch;
    }

    // The name's lost letters, in the case of those that survived.
    bool upper = false;
    for (std::size_t i = 0; i + 1 < kParameterName.size(); ++i) {
        const unsigned c = byteAt(line, name + i);
        upper = upper || (c >= 'A' && c <= 'Z');
    }
    for (std::size_t i = 0; i < kParameterName.size(); ++i) {
        if (line[name + i] == kLost) {
            const char c = kParameterName[i];
            line[name + i] = upper && c >= 'a' && c <= 'z' ? static_cast<char>(c - ('a' - 'A')) : c;
        }
    }
    // What stood before the name: the blank or tab of a folded field, and the
    // line break before it, or the ";" that ends the previous parameter.
    const bool blankSurvived = name >= 1 && (line[name - 1] == ' ' || line[name - 1] == '\t');
    // A quoted value open before three lost bytes right before the name:
    // they held its closing quote, the ";" and a blank ("protocol=\"...signatur"
    // and "e\"; " lost).
    if (name >= 3 && line[name - 1] == kLost && line[name - 2] == kLost &&
        line[name - 3] == kLost) {
        std::size_t runStart = name - 3;
        while (runStart > 0 && line[runStart - 1] == kLost) {
            --runStart;
        }
        if (leavesQuoteOpen(ByteView(line).substr(0, runStart))) {
            line[name - 3] = '"';
            line[name - 2] = ';';
            line[name - 1] = ' ';
        }
    }
    if (name >= 1 && line[name - 1] == kLost) {
        line[name - 1] = '\t';
    }
    if (name >= 4 && line[name - 3] == kLost && line[name - 2] == kLost) {
        // Before a surviving blank, the two were the line break of a folded
        // field ("\r\n boundary="), the ";" and a quote left open before them.
        const bool afterSemicolon = line[name - 4] == ';';
        const bool folded = afterSemicolon || blankSurvived;
        line[name - 3] = folded ? '\r' : ';';
        line[name - 2] = folded ? '\n' : ' ';
        if (!afterSemicolon && blankSurvived && line[name - 4] == kLost) {
            line[name - 4] = ';';
            if (name >= 5 && line[name - 5] == kLost &&
                leavesQuoteOpen(ByteView(line).substr(0, name - 5))) {
                line[name - 5] = '"';
            }
        }
    }

    BoundaryEntry entry;
    entry.paramStart = name;
    entry.valueStart = valueStart;
    entry.delimiter = delimiterOf(line, entry.valueStart, valueEnd - valueStart);
    entry.linePosition = linePosition;
    entry.headerLine = line;
    entry.form = BoundaryForm::Other;
    entry.looseEnd = looseEnd;
    entry.lastSeen = ++table.events;
    table.entries.push_back(std::move(entry));
    return BoundaryResult::BoundaryRecorded;
}

// The boundary parameter on a multipart Content-Type line or the line after it.
BoundaryResult recordBoundary(BoundaryTable& table, Bytes& line, ByteView lowered,
                              std::int64_t linePosition) {
    if (const auto paramStart = outlookExpressParameter(line, lowered)) {
        return recordOutlookExpressBoundary(table, line, *paramStart, linePosition);
    }
    return recordOtherBoundary(table, line, linePosition);
}

// Where a delimiter line would begin, found by a piece of an Outlook
// Express delimiter ("------=_NextPart") that survived; nullopt when none,
// or when that piece stands too close to the line's start.
std::optional<std::size_t> delimiterStart(ByteView lowered) {
    if (lowered.size() >= 2 && lowered[0] == '-' && lowered[1] == '-') {
        return 0;
    }
    if (const auto at = findFolded(lowered, "---=")) {
        return indexBefore(*at, 3);
    }
    if (const auto at = findFolded(lowered, "_nex")) {
        return indexBefore(*at, 7);
    }
    if (const auto at = findFolded(lowered, "tpar")) {
        return indexBefore(*at, 11);
    }
    return std::nullopt;
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

// Whether what follows a delimiter at the 0-based `at` can end its line: the
// "--" of a closing delimiter, blanks and the CR LF; or lost bytes, after
// which the next line may have begun.
bool endsDelimiterLine(ByteView line, std::size_t at) {
    std::size_t dashes = 0;
    while (at < line.size() && line[at] == '-' && dashes < 2) {
        ++at;
        ++dashes;
    }
    while (at < line.size() && (line[at] == ' ' || line[at] == '\t')) {
        ++at;
    }
    return at == line.size() || line[at] == kLost || line.substr(at) == "\r\n";
}

// Where a delimiter of another program's boundary stands in the line: at its
// start, or right after lost bytes that held the previous line's CR LF.
// Enough of it must have survived to tell it from text. Of a delimiter
// with a loose end, as few of the loose bytes as the line allows are
// taken; `length` is set to the delimiter's length as found. npos when it
// is not there.
std::size_t otherDelimiterAt(ByteView line, const BoundaryEntry& entry, std::size_t& length) {
    const ByteView delimiter = entry.delimiter;
    for (std::size_t s = 0; s + delimiter.size() - entry.looseEnd <= line.size(); ++s) {
        if (s == 1) {
            continue;
        }
        if (s >= 2) {
            const bool breakBefore = (line[s - 2] == kLost || line[s - 2] == '\r') &&
                                     (line[s - 1] == kLost || line[s - 1] == '\n') &&
                                     (line[s - 2] == kLost || line[s - 1] == kLost);
            if (!breakBefore) {
                continue;
            }
        }
        for (std::size_t loose = entry.looseEnd + 1; loose-- > 0;) {
            const std::size_t n = delimiter.size() - loose;
            if (s + n > line.size()) {
                continue;
            }
            std::size_t agree = 0;
            std::size_t known = 0;
            bool fits = true;
            for (std::size_t i = 0; i < n && fits; ++i) {
                const char l = line[s + i];
                const char d = delimiter[i];
                known += d != kLost ? 1 : 0;
                if (l != kLost && d != kLost) {
                    fits = l == d;
                    ++agree;
                }
            }
            if (fits && agree >= 3 && agree * 2 >= known && endsDelimiterLine(line, s + n)) {
                length = n;
                return s;
            }
        }
    }
    return ByteView::npos;
}

// The first delimiter line of a boundary with a loose end has told how
// long the value is: the lost bytes after it in the header line were its
// closing quote and line breaks (blank lines), or stay lost. Returns the
// indices in the header line that this filled.
std::vector<std::size_t> settleLooseEnd(BoundaryEntry& entry, std::size_t length) {
    std::vector<std::size_t> filled;
    if (entry.looseEnd == 0) {
        return filled;
    }
    Bytes& header = entry.headerLine;
    const std::size_t valueStart = entry.valueStart;
    const std::size_t looseStop = valueStart + (entry.delimiter.size() - 2);
    std::size_t at = valueStart + (length - 2);
    const bool quoted = valueStart >= 1 && header[valueStart - 1] == '"';
    if (quoted && at < looseStop && header[at] == kLost) {
        header[at] = '"';
        filled.push_back(at++);
        for (; at + 1 < looseStop && header[at] == kLost && header[at + 1] == kLost; at += 2) {
            header[at] = '\r';
            header[at + 1] = '\n';
            filled.push_back(at);
            filled.push_back(at + 1);
        }
    }
    entry.delimiter.resize(length);
    entry.looseEnd = 0;
    return filled;
}

BoundaryResult matchDelimiter(BoundaryTable& table, Bytes& line, ByteView lowered,
                              const RewriteAt& rewrite) {
    // Where an Outlook Express delimiter would begin.
    const std::optional<std::size_t> nextPartStart = delimiterStart(lowered);
    // Where lost bytes let several boundaries fit (nested parts whose
    // boundaries differ only in their last bytes), the one still open that
    // was declared or met last is taken: the innermost part goes on or ends.
    BoundaryEntry* taken = nullptr;
    std::size_t start = 0;
    std::size_t takenLength = 0;
    const auto better = [&taken](const BoundaryEntry& entry) {
        if (taken == nullptr) {
            return true;
        }
        if (taken->closed != entry.closed) {
            return taken->closed;
        }
        return !entry.closed && entry.lastSeen > taken->lastSeen;
    };
    for (BoundaryEntry& entry : table.entries) {
        const std::size_t length = entry.delimiter.size();
        if (entry.form == BoundaryForm::Other) {
            std::size_t found = 0;
            if (const std::size_t at = otherDelimiterAt(line, entry, found);
                at != ByteView::npos && better(entry)) {
                taken = &entry;
                start = at;
                takenLength = found;
            }
            continue;
        }
        if (!nextPartStart) {
            continue;
        }
        const std::size_t at = *nextPartStart;
        if (line.size() < length + 2 || at + length > line.size()) {
            continue;
        }
        if (delimiterFits(line, at, entry.delimiter) && better(entry)) {
            taken = &entry;
            start = at;
            takenLength = length;
        }
    }
    std::vector<std::size_t> settled;
    if (taken != nullptr && taken->form == BoundaryForm::Other) {
        settled = settleLooseEnd(*taken, takenLength);
    }
    if (taken == nullptr) {
        return BoundaryResult::NoMatch;
    }

    // The delimiter line and the header line teach each other the bytes one
    // of them lost. Bytes from the third on are the header's boundary value.
    Bytes& header = taken->headerLine;
    const std::size_t valueStart = taken->valueStart;
    const std::size_t valueLength = taken->delimiter.size() - 2;
    std::vector<bool> learnt(header.size(), false);
    for (const std::size_t at : settled) {
        learnt[at] = true;
    }
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
    if (taken->form == BoundaryForm::OutlookExpress) {
        const std::size_t at = *nextPartStart;
        if (at >= 2 && line[at - 2] == kLost && line[at - 1] == kLost) {
            line[at - 2] = '\r';
            line[at - 1] = '\n';
        }
    } else if (start >= 2) {
        line[start - 2] = '\r';
        line[start - 1] = '\n';
    }
    taken->delimiter = delimiterOf(header, taken->valueStart, valueLength);
    table.matchedStart = start;
    table.matchedEnd = start + taken->delimiter.size();
    taken->lastSeen = ++table.events;
    taken->closed = taken->closed || ByteView(line).substr(table.matchedEnd, 2) == "--";

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
    Charset code;
};

constexpr std::array<CharsetTemplate, 6> kCharsetTemplates = {{
    {"charset=\"iso-2022-jp\"", Charset::Iso2022Jp},
    {"charset=iso-2022-jp", Charset::Iso2022Jp},
    {"charset=\"shift_jis\"", Charset::ShiftJis},
    {"charset=shift_jis", Charset::ShiftJis},
    {"charset=\"euc-jp\"", Charset::EucJp},
    {"charset=euc-jp", Charset::EucJp},
}};

// Where a charset parameter begins, found by a piece of it that survived;
// nullopt when none, or when that piece stands too close to the line's start.
std::optional<std::size_t> charsetStart(ByteView lowered) {
    if (const auto at = findFolded(lowered, "char")) {
        return at;
    }
    if (const auto at = findFolded(lowered, "set=")) {
        return indexBefore(*at, 4);
    }
    for (const std::string_view value : {"\"iso", "\"shi", "\"euc"}) {
        if (const auto at = findFolded(lowered, value)) {
            return indexBefore(*at, 8);
        }
    }
    // An unquoted value, as other programs write it.
    for (const std::string_view value : {"=iso-", "=shift", "=euc-"}) {
        if (const auto at = findFolded(lowered, value)) {
            return indexBefore(*at, 7);
        }
    }
    return std::nullopt;
}

// The content types whose lost letters are put back, so that a part keeps
// the type that decides how a mail program reads it.
constexpr std::array<std::string_view, 61> kContentTypes = {
    "multipart/alternative",
    "multipart/mixed",
    "multipart/related",
    "multipart/report",
    "multipart/signed",
    "multipart/digest",
    "message/rfc822",
    "message/delivery-status",
    "message/disposition-notification",
    "text/plain",
    "text/html",
    "text/enriched",
    "text/rfc822-headers",
    "text/calendar",
    "text/x-vcard",
    "text/csv",
    "application/octet-stream",
    "application/pdf",
    "application/msword",
    "application/zip",
    "application/vnd.ms-excel",
    "application/vnd.ms-powerpoint",
    "application/x-zip-compressed",
    "application/x-gzip",
    "application/rtf",
    "application/ms-tnef",
    "application/pgp-signature",
    "application/pgp-encrypted",
    "application/pkcs7-signature",
    "application/x-pkcs7-signature",
    "image/jpeg",
    "image/pjpeg",
    "image/gif",
    "image/png",
    "image/bmp",
    "image/tiff",
    "audio/x-wav",
    "video/mpeg",
    "multipart/parallel",
    "multipart/appledouble",
    "message/partial",
    "message/external-body",
    "text/xml",
    "text/css",
    "application/xml",
    "application/json",
    "application/postscript",
    "application/x-tar",
    "application/applefile",
    "application/vnd.oasis.opendocument.text",
    "application/vnd.oasis.opendocument.spreadsheet",
    "application/vnd.openxmlformats-officedocument.wordprocessingml.document",
    "application/vnd.openxmlformats-officedocument.spreadsheetml.sheet",
    "application/vnd.openxmlformats-officedocument.presentationml.presentation",
    "image/svg+xml",
    "image/webp",
    "audio/basic",
    "audio/mpeg",
    "audio/wav",
    "video/mp4",
    "video/quicktime",
};

// File name extensions that tell one content type from another that fits
// the surviving letters as well (image/gif beside image/png), beside the
// subtype itself.
constexpr std::array<std::pair<std::string_view, std::string_view>, 6> kExtensions = {{
    {"image/jpeg", "jpg"},
    {"application/msword", "doc"},
    {"application/vnd.ms-excel", "xls"},
    {"application/x-zip-compressed", "zip"},
    {"audio/x-wav", "wav"},
    {"video/mpeg", "mpg"},
}};

// The extension of a quoted name or filename parameter on the line, folded
// to lower case; empty when there is none or it holds a lost byte.
Bytes nameExtension(ByteView line) {
    const ByteView lowered = foldedCopy(line);
    const std::size_t name = lowered.find("name=\"");
    if (name == ByteView::npos) {
        return {};
    }
    const std::size_t start = name + 6;
    const std::size_t end = lowered.find('"', start);
    const std::size_t dot = lowered.rfind('.', end);
    if (end == ByteView::npos || dot == ByteView::npos || dot < start) {
        return {};
    }
    Bytes extension(lowered.substr(dot + 1, end - dot - 1));
    return extension.find(kLost) == Bytes::npos ? extension : Bytes();
}

// Whether a file named with `extension` is of `type`.
bool extensionFits(std::string_view type, ByteView extension) {
    if (extension.empty()) {
        return false;
    }
    if (type.substr(type.find('/') + 1) == extension) {
        return true;
    }
    return std::any_of(kExtensions.begin(), kExtensions.end(), [&](const auto& known) {
        return known.first == type && known.second == extension;
    });
}

// Whether the text begins with a parameter's name and its "=".
bool startsParameter(ByteView text) {
    std::size_t n = 0;
    while (n < text.size() && ((text[n] >= 'a' && text[n] <= 'z') ||
                               (text[n] >= 'A' && text[n] <= 'Z') || text[n] == '-')) {
        ++n;
    }
    return n > 0 && n < text.size() && text[n] == '=';
}

bool endsContentType(ByteView line, std::size_t at) {
    if (at >= line.size()) {
        return true;
    }
    const char c = line[at];
    return c == ';' || c == ' ' || c == '\t' || c == '\r' || c == kLost;
}

// The transfer encodings a part names, and the kind each is.
constexpr std::array<std::pair<std::string_view, TransferEncoding>, 5> kTransferEncodings = {{
    {"base64", TransferEncoding::Base64},
    {"quoted-printable", TransferEncoding::QuotedPrintable},
    {"7bit", TransferEncoding::Other},
    {"8bit", TransferEncoding::Other},
    {"binary", TransferEncoding::Other},
}};

constexpr std::string_view kEncodingName = "Content-Transfer-Encoding:";

// One way to read the value of a Content-Transfer-Encoding field.
struct EncodingReading {
    std::string_view value;
    std::size_t start = 0;
    TransferEncoding code = TransferEncoding::None;
};

// Every encoding that fits a Content-Transfer-Encoding field at the start
// of a line, from what survives of its name and value, with or without a
// blank after the colon (a lost byte after the colon being the blank or
// the value's first letter); empty when the line is no such field or no
// encoding fits.
std::vector<EncodingReading> encodingReadings(ByteView line) {
    std::vector<EncodingReading> readings;
    if (!fitsFolded(line, 0, kEncodingName)) {
        return readings;
    }
    const std::size_t colonEnd = kEncodingName.size();
    const std::size_t end = contentLength(line);
    for (std::size_t start = colonEnd; start < end && start <= colonEnd + 1; ++start) {
        if (start > colonEnd && line[colonEnd] != kLost && line[colonEnd] != ' ' &&
            line[colonEnd] != '\t') {
            break;
        }
        for (const auto& [value, code] : kTransferEncodings) {
            const std::size_t valueEnd = start + value.size();
            // After the value only blanks or lost bytes stand.
            if (valueEnd > end || !fitsFolded(line, start, value) ||
                line.substr(valueEnd, end - valueEnd).find_first_not_of(Bytes(" \t\0", 3)) !=
                    ByteView::npos) {
                continue;
            }
            readings.push_back({value, start, code});
        }
    }
    return readings;
}

// Fills the lost bytes of the name and of `reading`'s value.
void fillReading(Bytes& line, const EncodingReading& reading) {
    const std::size_t colonEnd = kEncodingName.size();
    if (line[colonEnd] == kLost && reading.start > colonEnd) {
        line[colonEnd] = ' ';
    }
    fillInWritersCase(line, 0, kEncodingName);
    fillInWritersCase(line, reading.start, reading.value);
}

// A Content-Transfer-Encoding field at the start of a line: the kind of the
// one encoding that fits, whose lost bytes are then filled; nullopt when the
// line is no such field or no one kind fits.
std::optional<TransferEncoding> readTransferEncoding(Bytes& line) {
    const std::vector<EncodingReading> readings = encodingReadings(line);
    if (readings.empty() || std::any_of(readings.begin(), readings.end(), [&](const auto& r) {
            return r.code != readings.front().code;
        })) {
        return std::nullopt;
    }
    if (readings.size() == 1) {
        fillReading(line, readings.front());
    }
    return readings.front().code;
}

} // namespace

void restoreBlankBeforeDelimiter(Bytes& line) {
    const std::size_t name = findParameterName(line);
    if (name == ByteView::npos) {
        return;
    }
    const std::size_t afterName = name + kParameterName.size();
    const bool quoted = afterName < line.size() && line[afterName] == '"';
    const std::size_t valueStart = quoted ? afterName + 1 : afterName;
    std::size_t valueEnd = valueStart;
    while (valueEnd < line.size() && line[valueEnd] != kLost &&
           (quoted ? line[valueEnd] != '"' : !endsToken(line[valueEnd]) && line[valueEnd] != ';')) {
        ++valueEnd;
    }
    const std::size_t run = quoted ? valueEnd + 1 : valueEnd;
    if (valueEnd == valueStart || run + 4 > line.size() ||
        (quoted && (valueEnd >= line.size() || line[valueEnd] != '"'))) {
        return;
    }
    const Bytes delimiter = "--" + Bytes(ByteView(line).substr(valueStart, valueEnd - valueStart));
    if (ByteView(line).substr(run, 4) != ByteView("\0\0\0\0", 4) ||
        ByteView(line).substr(run + 4, delimiter.size()) != delimiter) {
        return;
    }
    line.replace(run, 4, "\r\n\r\n");
}

void completeContentType(Bytes& line) {
    if (line.find(kLost) == Bytes::npos) {
        return;
    }
    const ByteView lowered = foldedCopy(line);
    const std::optional<std::size_t> name = findFolded(lowered, "content-type:");
    if (!name) {
        return;
    }
    // The value starts after the colon and a blank; a lost byte there was
    // the blank or, from a writer that puts none, the type's first letter.
    const std::size_t colonEnd = *name + 13;
    if (colonEnd >= line.size()) {
        return;
    }
    const bool lostAfterColon = line[colonEnd] == kLost;
    const std::size_t afterBlank =
        line[colonEnd] == ' ' || lostAfterColon ? colonEnd + 1 : colonEnd;
    if (line.find(kLost, colonEnd) == Bytes::npos) {
        return;
    }
    struct Fit {
        std::string_view type;
        std::size_t start = 0;
        bool named = false;
    };
    // Only a type that is the one to fit is put back; where several fit, the
    // one the extension of the part's file name names.
    const Bytes extension = nameExtension(line);
    std::vector<Fit> fits;
    const std::size_t places = lostAfterColon ? 2 : 1;
    for (std::size_t place = 0; place < places; ++place) {
        const std::size_t start = place == 0 ? afterBlank : colonEnd;
        for (const std::string_view type : kContentTypes) {
            if (start + type.size() > line.size()) {
                continue;
            }
            std::size_t surviving = 0;
            bool matches = true;
            for (std::size_t i = 0; i < type.size() && matches; ++i) {
                if (line[start + i] != kLost) {
                    matches = folded(line, start + i) == static_cast<unsigned char>(type[i]);
                    ++surviving;
                }
            }
            if (matches && surviving * 2 >= type.size() &&
                endsContentType(line, start + type.size())) {
                fits.push_back({type, start, extensionFits(type, extension)});
            }
        }
    }
    // A type whose last letter survived wins over one that ends inside the
    // lost run ("text/" and four lost before "n": text/plain, not text/csv).
    const auto endsLost = [&line](const Fit& f) {
        return line[f.start + f.type.size() - 1] == kLost;
    };
    if (!std::all_of(fits.begin(), fits.end(), endsLost)) {
        fits.erase(std::remove_if(fits.begin(), fits.end(), endsLost), fits.end());
    }
    const auto named =
        std::count_if(fits.begin(), fits.end(), [](const Fit& f) { return f.named; });
    const auto chosen =
        fits.size() == 1 ? fits.begin()
        : named == 1 ? std::find_if(fits.begin(), fits.end(), [](const Fit& f) { return f.named; })
                     : fits.end();
    if (chosen == fits.end()) {
        // No type to go by: the byte after the colon was its blank.
        if (lostAfterColon) {
            line[colonEnd] = ' ';
        }
        return;
    }
    const std::string_view type = chosen->type;
    const std::size_t typeStart = chosen->start;
    if (typeStart > colonEnd && line[colonEnd] == kLost) {
        line[colonEnd] = ' ';
    }
    for (std::size_t i = 0; i < type.size(); ++i) {
        if (line[typeStart + i] != kLost) {
            continue;
        }
        const unsigned before = i > 0 ? byteAt(line, typeStart + i - 1) : 'a';
        const char c = type[i];
        const bool upper = before >= 'A' && before <= 'Z' && c >= 'a' && c <= 'z';
        line[typeStart + i] = upper ? static_cast<char>(c - ('a' - 'A')) : c;
    }
    // Lost bytes that end the line after the type held the ";" before the
    // parameters on the next line; before a blank, the ";" before those
    // that follow on this one.
    const std::size_t after = typeStart + type.size();
    const std::size_t next = line.find_first_not_of(kLost, after);
    if (after < line.size() && line[after] == kLost &&
        (next == contentLength(line) ||
         (next < line.size() && (line[next] == ' ' || line[next] == '\t')))) {
        line[after] = ';';
    } else if (after < line.size() && line[after] == kLost && next < line.size() &&
               startsParameter(ByteView(line).substr(next))) {
        // Right before a parameter: the ";" and, where two were lost, its blank.
        line[after] = ';';
        if (next - after >= 2) {
            line[next - 1] = ' ';
        }
    }
}

void completeTransferEncoding(Bytes& line) {
    (void)readTransferEncoding(line);
}

std::optional<OpenEncoding> openTransferEncoding(ByteView line) {
    const std::vector<EncodingReading> readings = encodingReadings(line);
    const std::size_t colonEnd = kEncodingName.size();
    if (readings.empty() || line.substr(0, contentLength(line)).find(kLost) == ByteView::npos) {
        return std::nullopt;
    }
    const bool valueLost =
        line.substr(colonEnd, contentLength(line) - colonEnd).find(kLost) != ByteView::npos;
    OpenEncoding open;
    for (const EncodingReading& reading : readings) {
        open.base64 = open.base64 || reading.code == TransferEncoding::Base64;
        open.quotedPrintable =
            open.quotedPrintable || reading.code == TransferEncoding::QuotedPrintable;
        open.other = open.other || reading.code == TransferEncoding::Other;
    }
    const int kinds = int{open.base64} + int{open.quotedPrintable} + int{open.other};
    if (!open.base64 && (kinds == 1 || !valueLost)) {
        return std::nullopt;
    }
    return open;
}

TransferEncoding encodingByShape(const std::vector<Bytes>& lines) {
    // A base64 body's lines: at least this long, and at least two of them
    // of one length before any shorter one.
    constexpr std::size_t kShortestBase64Line = 16;
    // Quoted-printable lines are at most 76 characters and the "=" of a
    // soft line break.
    constexpr std::size_t kLongestQuotedPrintableLine = 77;
    const auto isUpperHex = [](char c) { return (c >= '0' && c <= '9') || (c >= 'A' && c <= 'F'); };
    const auto foreignToBase64 = [](char c) {
        return platform::base64DigitValue(static_cast<unsigned char>(c)) < 0 && c != '=' &&
               c != kLost;
    };
    std::size_t runLength = 0; // of the first complete line
    std::size_t runLines = 0;  // lines of that length before any other
    // A shorter line, padding or a byte outside the alphabet has ended the
    // run: what follows may be a list's footer.
    bool runEnded = false;
    bool firstLineSeen = false;
    bool textFirst = false; // the first line holds a byte no base64 line holds
    bool softBreak = false;
    bool hexCode = false;
    bool notQuotedPrintable = false;
    for (const Bytes& line : lines) {
        const std::size_t end = contentLength(line);
        const ByteView content = ByteView(line).substr(0, end);
        if (content.empty() || content.find_first_not_of(kLost) == ByteView::npos) {
            continue;
        }
        const bool foreign = std::any_of(content.begin(), content.end(), foreignToBase64);
        textFirst = textFirst || (!firstLineSeen && foreign);
        firstLineSeen = true;
        runEnded = runEnded || foreign;
        // Only complete lines without lost bytes show lengths and codes.
        if (content.find(kLost) != ByteView::npos || end + 2 != line.size()) {
            continue;
        }
        const std::size_t padding = content.find('=');
        if (!runEnded && padding != ByteView::npos &&
            content.find_first_not_of('=', padding) != ByteView::npos) {
            runEnded = true;
        }
        if (!runEnded && (runLength == 0 || end == runLength)) {
            runLength = end;
            ++runLines;
        }
        runEnded = runEnded || padding != ByteView::npos || end != runLength;

        notQuotedPrintable = notQuotedPrintable || end > kLongestQuotedPrintableLine;
        for (std::size_t at = content.find('='); at != ByteView::npos;
             at = content.find('=', at + 1)) {
            if (at + 1 == end) {
                softBreak = true;
            } else if (at + 2 < end && isUpperHex(content[at + 1]) && isUpperHex(content[at + 2])) {
                hexCode = true;
                at += 2;
            } else {
                notQuotedPrintable = true;
            }
        }
    }
    if (!textFirst && runLines >= 2 && runLength >= kShortestBase64Line && runLength % 4 == 0) {
        return TransferEncoding::Base64;
    }
    if (softBreak && hexCode && !notQuotedPrintable) {
        return TransferEncoding::QuotedPrintable;
    }
    return textFirst ? TransferEncoding::Other : TransferEncoding::None;
}

bool settleTransferEncoding(Bytes& line, TransferEncoding code) {
    const std::vector<EncodingReading> readings = encodingReadings(line);
    const auto fits = [code](const EncodingReading& r) { return r.code == code; };
    if (std::count_if(readings.begin(), readings.end(), fits) != 1) {
        return false;
    }
    fillReading(line, *std::find_if(readings.begin(), readings.end(), fits));
    return true;
}

BoundaryResult detectBoundary(BoundaryTable& table, Bytes& line, std::int64_t linePosition,
                              const RewriteAt& rewrite) {
    const ByteView lowered = foldedCopy(line);
    BoundaryResult result = BoundaryResult::NoMatch;
    // Other parameters may stand before the boundary (`type=` of a related
    // part): after the line that follows the multipart type, it is looked
    // for on the field's further continuation lines.
    const bool continues = !line.empty() && (line[0] == ' ' || line[0] == '\t');
    if (table.multipartState == MultipartState::ContinuationLine && !continues) {
        table.multipartState = MultipartState::None;
    }
    if (contentTypeIs(lowered, "multipart/")) {
        table.multipartState = MultipartState::TypeLine;
        result = BoundaryResult::MultipartSeen;
    }
    if (table.multipartState == MultipartState::None) {
        return matchDelimiter(table, line, lowered, rewrite);
    }
    const bool recorded =
        recordBoundary(table, line, lowered, linePosition) == BoundaryResult::BoundaryRecorded;
    if (recorded) {
        result = BoundaryResult::BoundaryRecorded;
    }
    if (table.multipartState == MultipartState::TypeLine) {
        // A boundary found on the type line is the field's one: the next
        // line may be a delimiter line already.
        table.multipartState = recorded ? MultipartState::None : MultipartState::LineAfterType;
    } else {
        table.multipartState =
            !recorded && continues ? MultipartState::ContinuationLine : MultipartState::None;
    }
    return result;
}

void detectPartInfo(PartInfo& info, Bytes& line) {
    ByteView lowered = foldedCopy(line);
    if (contentTypeIs(lowered, "text/plain")) {
        info.contentType = PartType::TextPlain;
        info.charsetPending = true;
    } else if (contentTypeIs(lowered, "text/html")) {
        info.contentType = PartType::TextHtml;
        info.charsetPending = true;
    } else if (contentTypeIs(lowered, "message/rfc822")) {
        info.contentType = PartType::Message;
        info.charsetPending = false;
    } else if (contentTypeIs(lowered, "")) {
        info.contentType = PartType::Other;
        info.charsetPending = false;
    }

    if (info.charsetPending) {
        if (const auto at = charsetStart(lowered)) {
            for (const CharsetTemplate& charset : kCharsetTemplates) {
                if (fitsAt(line, *at, charset.text, true)) {
                    fillAt(line, *at, charset.text);
                    info.charset = charset.code;
                    info.charsetNamed = true;
                    lowered = foldedCopy(line);
                    break;
                }
            }
        }
    }

    if (const std::optional<TransferEncoding> read = readTransferEncoding(line)) {
        info.transferEncoding = *read;
        info.charsetPending = *read != TransferEncoding::Other;
    } else if (findFolded(lowered, "content-transfer-encoding: base64")) {
        info.transferEncoding = TransferEncoding::Base64;
        info.charsetPending = true;
    } else if (findFolded(lowered, "content-transfer-encoding: quoted-printable")) {
        info.transferEncoding = TransferEncoding::QuotedPrintable;
        info.charsetPending = true;
    } else if (findFolded(lowered, "content-transfer-encoding: ")) {
        info.transferEncoding = TransferEncoding::Other;
        info.charsetPending = false;
    }
}

} // namespace keldor::repair
