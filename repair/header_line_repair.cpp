#include "repair/header_line_repair.h"

#include "platform/case_fold.h"
#include "platform/text.h"
#include "repair/line_edit.h"
#include "repair/lost_byte.h"
#include "repair/name_case.h"

#include <algorithm>
#include <array>
#include <optional>
#include <string_view>

namespace keldor::repair {

namespace {

bool startsFolded(ByteView line) {
    return !line.empty() && (line[0] == ' ' || line[0] == '\t');
}

bool isTokenByte(unsigned c) {
    return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '-' ||
           c == '_' || c == '.';
}

// Names whose colon and blank are put back where lost right after them;
// matched without regard to case.
constexpr std::array<std::string_view, 47> kFieldNames = {
    "Date",
    "From",
    "To",
    "Cc",
    "Bcc",
    "Reply-To",
    "Sender",
    "Message-ID",
    "Subject",
    "Received",
    "Return-Path",
    "MIME-Version",
    "Content-Type",
    "Content-Transfer-Encoding",
    "Content-Disposition",
    "Content-ID",
    "Content-Description",
    "Content-Language",
    "Content-Location",
    "In-Reply-To",
    "References",
    "Organization",
    "User-Agent",
    "X-Mailer",
    "X-Priority",
    "X-MSMail-Priority",
    "X-MimeOLE",
    "Importance",
    "Thread-Topic",
    "Thread-Index",
    "Delivered-To",
    "X-Original-To",
    "List-Id",
    "Precedence",
    "Errors-To",
    "Disposition-Notification-To",
    "Path",
    "Newsgroups",
    "Lines",
    "Keywords",
    "Comments",
    "X-Newsreader",
    "X-Sender",
    "Mail-Followup-To",
    "List-Unsubscribe",
    "List-Post",
    "List-Help",
};

// Names that lost letters inside a name are also taken back from, where
// just one known name fits what survives of it and its colon.
constexpr std::array<std::string_view, 62> kMoreFieldNames = {
    "Resent-From",
    "Resent-To",
    "Resent-Cc",
    "Resent-Bcc",
    "Resent-Date",
    "Resent-Sender",
    "Resent-Message-ID",
    "Received-SPF",
    "X-Received",
    "Authentication-Results",
    "ARC-Seal",
    "ARC-Message-Signature",
    "ARC-Authentication-Results",
    "DKIM-Signature",
    "DomainKey-Signature",
    "X-Google-DKIM-Signature",
    "X-Gm-Message-State",
    "X-Google-Smtp-Source",
    "X-Original-Sender",
    "X-Original-Authentication-Results",
    "X-Originating-IP",
    "X-Envelope-From",
    "X-Envelope-To",
    "X-Apparently-To",
    "X-Spam-Status",
    "X-Spam-Level",
    "X-Spam-Checker-Version",
    "X-Virus-Scanned",
    "X-Virus-Status",
    "X-Accept-Language",
    "Accept-Language",
    "Content-Class",
    "X-MS-Has-Attach",
    "X-MS-TNEF-Correlator",
    "X-Mozilla-Status",
    "X-Mozilla-Status2",
    "X-Mozilla-Keys",
    "X-Account-Key",
    "X-UIDL",
    "X-Face",
    "X-Archive-Position",
    "X-Mailman-Version",
    "X-Report-Abuse",
    "X-Evolution-Source",
    "X-Brightmail-Tracker",
    "List-Subscribe",
    "List-Archive",
    "List-Owner",
    "Mailing-List",
    "Auto-Submitted",
    "Return-Receipt-To",
    "Final-Recipient",
    "Original-Recipient",
    "Action",
    "Status",
    "Remote-MTA",
    "Reporting-MTA",
    "Received-From-MTA",
    "Diagnostic-Code",
    "Arrival-Date",
    "Last-Attempt-Date",
    "X-Postfix-Queue-ID",
};

constexpr std::array<std::string_view, 7> kWeekdays = {"Mon,", "Tue,", "Wed,", "Thu,",
                                                       "Fri,", "Sat,", "Sun,"};

// An mbox separator ("From sender@example.jp Mon Jan  1 00:00:00 2001")
// ends in a year after a time of day.
bool endsLikeMboxSeparator(ByteView line) {
    std::size_t end = line.size();
    while (end > 0 && (line[end - 1] == '\r' || line[end - 1] == '\n')) {
        --end;
    }
    if (end < 14 || line[end - 5] != ' ') {
        return false;
    }
    for (std::size_t i = end - 4; i < end; ++i) {
        if (line[i] < '0' || line[i] > '9') {
            return false;
        }
    }
    return line[end - 8] == ':' && line[end - 11] == ':';
}

// Field names are words joined by hyphens ("X-Assp-ID"), or one word of
// letters in one case after the first ("Keywords"); a line of base64 or
// other text that merely lacks a colon, as broken headers hold, is neither.
bool looksLikeFieldName(ByteView name) {
    bool hyphen = false;
    bool lower = false;
    bool upper = false;
    for (std::size_t i = 0; i < name.size(); ++i) {
        const unsigned c = byteAt(name, i);
        if (!isTokenByte(c)) {
            return false;
        }
        hyphen = hyphen || c == '-';
        lower = lower || (i > 0 && c >= 'a' && c <= 'z');
        upper = upper || (i > 0 && c >= 'A' && c <= 'Z');
        if (i > 0 && !hyphen && !((c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z'))) {
            return false;
        }
    }
    return hyphen || !(lower && upper);
}

bool isDigitByte(unsigned c) {
    return c >= '0' && c <= '9';
}

// The one name of those offered that fits, if just one does: names equal but
// for letter case count as one.
class OnlyFit {
public:
    void offer(std::string_view name) {
        twice_ = twice_ || (name_ && !platform::equalsFolded(*name_, name));
        name_ = name;
    }
    [[nodiscard]] bool offered() const { return name_.has_value(); }
    [[nodiscard]] std::optional<std::string_view> only() const {
        return twice_ ? std::nullopt : name_;
    }

private:
    std::optional<std::string_view> name_;
    bool twice_ = false;
};

// The lost letters of a Date field's weekday, where one day fits.
void restoreWeekday(Bytes& line, std::size_t at) {
    if (line.find(kLost, at) != at && (at + 1 >= line.size() || line[at + 1] != kLost) &&
        (at + 2 >= line.size() || line[at + 2] != kLost)) {
        return;
    }
    std::string_view fitting;
    for (const std::string_view day : kWeekdays) {
        if (fitsFolded(line, at, day)) {
            if (!fitting.empty()) {
                return;
            }
            fitting = day;
        }
    }
    if (!fitting.empty()) {
        fillInWritersCase(line, at, fitting);
    }
}

} // namespace

FieldState fieldStateAfter(ByteView text, FieldState before) {
    FieldState state = before;
    if (!startsFolded(text)) {
        state = {};
        const std::size_t colon = text.find(':');
        const ByteView name = text.substr(0, colon == ByteView::npos ? 0 : colon);
        state.parameters = platform::equalsFolded(name, "Content-Type") ||
                           platform::equalsFolded(name, "Content-Disposition");
        if (colon == ByteView::npos) {
            return state;
        }
        text.remove_prefix(colon + 1);
    }
    for (std::size_t i = 0; i < text.size(); ++i) {
        const char c = text[i];
        if (state.inQuotes) {
            if (c == '\\') {
                ++i;
            } else if (c == '"') {
                state.inQuotes = false;
                state.awaitsParameter = false;
            }
            continue;
        }
        if (c == '"') {
            state.inQuotes = true;
        } else if (c == ';' || c == '=') {
            state.awaitsParameter = state.parameters;
        } else if (c != ' ' && c != '\t' && c != '\r' && c != '\n' && c != kLost) {
            state.awaitsParameter = false;
        }
    }
    return state;
}

bool fieldMayEndAfter(ByteView text, FieldState before) {
    const FieldState state = fieldStateAfter(text, before);
    return !state.inQuotes && !state.awaitsParameter;
}

void keepFieldName(Bytes& line, unsigned halfWidth) {
    if (line.empty() || line[0] == ' ' || line[0] == '\t') {
        return;
    }
    const std::size_t colon = line.find(':');
    if (colon == Bytes::npos) {
        return;
    }
    const bool nameByte = halfWidth > 0x20 && halfWidth < 0x7F && halfWidth != ':';
    for (std::size_t i = 0; i < colon; ++i) {
        const unsigned c = byteAt(line, i);
        if (c != 0 && (c <= 0x20 || c >= 0x7F)) {
            return; // not a field name
        }
    }
    std::replace(line.begin(), line.begin() + static_cast<std::ptrdiff_t>(colon), kLost,
                 nameByte ? toByte(halfWidth) : '-');
}

void restoreFieldColon(Bytes& line) {
    if (line.empty() || line[0] == ' ' || line[0] == '\t') {
        return;
    }
    const std::size_t lost = line.find(kLost);
    if (lost == Bytes::npos || lost == 0) {
        return;
    }
    // A colon after a blank is the value's, where the blank follows the run
    // that took the name's end ("X-" and four lost before " http://").
    if (const std::size_t colon = line.find(':'); colon != Bytes::npos) {
        const std::size_t after = line.find_first_not_of(kLost, lost);
        if (colon < lost || after == Bytes::npos || (line[after] != ' ' && line[after] != '\t') ||
            after > colon) {
            return;
        }
    }
    if (looksLikeFieldName(ByteView(line).substr(0, lost))) {
        line[lost] = ':';
    }
}

// The known name, if just one, that the line's surviving first letters
// begin and the text after its lost run goes on with: the rest of the name
// and its colon, or (the run having taken the name's end and its colon)
// anything. A name whose surviving end and colon fit wins over one the run
// may have ended.
std::optional<std::string_view> nameWithLostTail(ByteView line, std::size_t lost, std::size_t end) {
    OnlyFit confirmed;
    OnlyFit possible;
    for (const std::string_view name : kFieldNames) {
        if (name.size() <= lost || !platform::startsWithFolded(line, name.substr(0, lost))) {
            continue;
        }
        if (end < name.size() ? fitsFolded(line, end, Bytes(name.substr(end)) + ":")
                              : end == name.size() && line[end] == ':') {
            confirmed.offer(name);
        } else if (end > name.size()) {
            possible.offer(name);
        }
    }
    return confirmed.offered() ? confirmed.only() : possible.only();
}

void restoreNameTail(Bytes& line) {
    if (line.empty() || startsFolded(line)) {
        return;
    }
    const std::size_t lost = line.find(kLost);
    if (lost == Bytes::npos || lost == 0) {
        return;
    }
    for (std::size_t i = 0; i < lost; ++i) {
        if (!isTokenByte(byteAt(line, i))) {
            return;
        }
    }
    const std::size_t end = line.find_first_not_of(kLost, lost);
    if (end == Bytes::npos) {
        return;
    }
    // One surviving letter says too little, but for a Date field its value
    // tells ("D" and four lost before " Sat, 4 Dec 2008").
    constexpr std::string_view kDate = "Date";
    const bool dateByValue = end > kDate.size() && lost < kDate.size() &&
                             platform::startsWithFolded(line, kDate.substr(0, lost)) &&
                             isDateValue(ByteView(line).substr(end));
    if (lost < 2 && !dateByValue) {
        return;
    }
    const std::optional<std::string_view> name =
        dateByValue ? std::optional<std::string_view>(kDate) : nameWithLostTail(line, lost, end);
    if (!name || (platform::equalsFolded(*name, "From") && endsLikeMboxSeparator(line))) {
        return;
    }
    const std::size_t tail = std::min(end, name->size());
    fillInWritersCase(line, 0, name->substr(0, tail));
    if (end > name->size()) {
        line[name->size()] = ':';
    }
}

bool isDateValue(ByteView value) {
    static constexpr std::array<std::string_view, 12> kMonths = {
        "jan", "feb", "mar", "apr", "may", "jun", "jul", "aug", "sep", "oct", "nov", "dec"};
    std::size_t i = value.find_first_not_of(" \t");
    const auto at = [&value](std::size_t k) { return byteAt(value, k); };
    if (i + 4 < value.size() && platform::isLetterByte(at(i)) &&
        platform::isLetterByte(at(i + 1)) && platform::isLetterByte(at(i + 2)) &&
        at(i + 3) == ',') {
        i = value.find_first_not_of(" \t", i + 4);
    }
    if (i >= value.size() || !isDigitByte(at(i))) {
        return false;
    }
    i += i + 1 < value.size() && isDigitByte(at(i + 1)) ? 2 : 1;
    if (i + 6 >= value.size() || at(i) != ' ' ||
        std::none_of(kMonths.begin(), kMonths.end(), [&](std::string_view month) {
            return platform::equalsFolded(value.substr(i + 1, 3), month);
        })) {
        return false;
    }
    i += 4;
    return at(i) == ' ' && isDigitByte(at(i + 1)) && isDigitByte(at(i + 2));
}

void AddressFields::note(ByteView line) {
    const std::size_t end = contentLength(line);
    if (end == 0) {
        return;
    }
    if (!startsFolded(line)) {
        const std::size_t colon = line.find(':');
        const ByteView name = line.substr(0, colon == ByteView::npos ? 0 : colon);
        from = from || platform::equalsFolded(name, "From");
        to = to || platform::equalsFolded(name, "To");
        cc = cc || platform::equalsFolded(name, "Cc");
        addressAwaited = false;
        for (const std::string_view field : {"From", "To", "Cc", "Bcc", "Reply-To", "Sender"}) {
            addressAwaited = addressAwaited || platform::equalsFolded(name, field);
        }
    }
    addressAwaited = addressAwaited && line.substr(0, end).find('@') == ByteView::npos;
    const std::size_t last = line.find_last_not_of(" \t", end - 1);
    listOpen = last != ByteView::npos && line[last] == ',';
}

void restoreAddressFieldName(Bytes& line, const AddressFields& seen) {
    constexpr std::size_t kRun = 4;
    const std::size_t end = contentLength(line);
    if (end <= kRun + 2 || seen.listOpen || seen.addressAwaited || (seen.to && seen.cc) ||
        ByteView(line).substr(0, kRun) != ByteView("\0\0\0\0", kRun)) {
        return;
    }
    const ByteView value = ByteView(line).substr(kRun, end - kRun);
    const std::size_t at = value.find('@');
    if (at == ByteView::npos || value.find(kLost) != ByteView::npos ||
        value.substr(0, at).find(':') != ByteView::npos) {
        return;
    }
    // A quoted name, an address in angle brackets, or a bare address first:
    // not the rest of a word ("\t(en" lost of "(envelope-from <...>)").
    const unsigned first = byteAt(value, 0);
    const std::size_t firstBlank = value.find_first_of(" \t,");
    if (first != '"' && first != '<' && (!isTokenByte(first) || firstBlank < at)) {
        return;
    }
    static constexpr std::array<std::string_view, 6> kReceivedWords = {"for ", "by ",   "with ",
                                                                       "id ",  "from ", "via "};
    for (const std::string_view word : kReceivedWords) {
        if (platform::startsWithFolded(value, word)) {
            return;
        }
    }
    line.replace(0, kRun, seen.to ? "Cc: " : "To: ");
}

void restoreFromName(Bytes& line, const AddressFields& seen) {
    constexpr std::string_view kFrom = "From:";
    const std::size_t end = contentLength(line);
    if (seen.from || end <= kFrom.size() + 2 ||
        ByteView(line).substr(kFrom.size(), end - kFrom.size()).find('@') == ByteView::npos) {
        return;
    }
    // "\0\0\0\0: a@example.jp", or "F" and four lost before " a@example.jp".
    const bool nameLost = ByteView(line).substr(0, 5) == ByteView("\0\0\0\0:", 5);
    const bool restLost = (line[0] == 'F' || line[0] == 'f') &&
                          ByteView(line).substr(1, 4) == ByteView("\0\0\0\0", 4) &&
                          (line[5] == ' ' || line[5] == '\t');
    if (nameLost || restLost) {
        fillInWritersCase(line, 0, kFrom);
    }
}

void restoreBreakBeforeAddressField(Bytes& line, const AddressFields& seen) {
    if (line.empty() || startsFolded(line)) {
        return;
    }
    const std::size_t colon = line.find(':');
    const ByteView ownName = ByteView(line).substr(0, colon == Bytes::npos ? 0 : colon);
    const bool ownTo = platform::equalsFolded(ownName, "To");
    const std::string_view name = !seen.to && !ownTo               ? "To: "
                                  : (seen.to || ownTo) && !seen.cc ? "Cc: "
                                                                   : "";
    const std::size_t end = contentLength(line);
    if (name.empty() || colon == Bytes::npos) {
        return;
    }
    for (std::size_t r = line.find(kLost, colon); r != Bytes::npos && r < end;) {
        const std::size_t e = std::min(line.find_first_not_of(kLost, r), end);
        for (std::size_t k = 0; k <= 1; ++k) {
            const std::string_view shown = name.substr(k);
            if (e - r < k + 2 || e + shown.size() >= end ||
                !platform::equalsFolded(ByteView(line).substr(e, shown.size()), shown)) {
                continue;
            }
            const std::size_t cr = e - k - 2;
            const ByteView before = ByteView(line).substr(0, cr);
            const ByteView value = ByteView(line).substr(e + shown.size(), end - e - shown.size());
            const auto opened = std::count(before.begin(), before.end(), '<') -
                                std::count(before.begin(), before.end(), '>');
            const bool quoteOpen = leavesQuoteOpen(before);
            if (before.find('@') == ByteView::npos || value.find('@') == ByteView::npos ||
                value.find(kLost) != ByteView::npos || quoteOpen || opened < 0 || opened > 1 ||
                (opened == 1 && (cr == r || line[cr - 1] != kLost))) {
                continue;
            }
            if (opened == 1) {
                line[cr - 1] = '>';
            }
            line[cr] = '\r';
            line[cr + 1] = '\n';
            fillInWritersCase(line, cr + 2, name.substr(0, k + shown.size()));
            return;
        }
        r = line.find(kLost, e);
    }
}

void restoreLostNameLetters(Bytes& line) {
    if (line.empty() || startsFolded(line)) {
        return;
    }
    const std::size_t colon = line.find(':');
    const std::size_t survives = line.find_first_not_of(kLost);
    if (colon == 4 && survives == colon && isDateValue(ByteView(line).substr(colon + 1))) {
        line.replace(0, 4, "Date");
        return;
    }
    if (colon == Bytes::npos || survives >= colon ||
        ByteView(line).substr(0, colon).find(kLost) == ByteView::npos) {
        return;
    }
    for (std::size_t i = 0; i < colon; ++i) {
        if (line[i] != kLost && !isTokenByte(byteAt(line, i))) {
            return;
        }
    }
    OnlyFit fit;
    const auto tryName = [&](std::string_view name) {
        if (name.size() == colon && fitsFolded(line, 0, name)) {
            fit.offer(name);
        }
    };
    std::for_each(kFieldNames.begin(), kFieldNames.end(), tryName);
    std::for_each(kMoreFieldNames.begin(), kMoreFieldNames.end(), tryName);
    if (const std::optional<std::string_view> name = fit.only()) {
        fillInWritersCase(line, 0, *name);
    }
}

void restoreColonAfterName(Bytes& line) {
    if (line.empty() || startsFolded(line)) {
        return;
    }
    for (const std::string_view name : kFieldNames) {
        const std::size_t n = name.size();
        if (line.size() <= n + 2 || !platform::startsWithFolded(line, name) ||
            (line[n] != kLost && line[n] != ':')) {
            continue;
        }
        if (line[n] == kLost) {
            // The text after the lost bytes runs on to a colon without a
            // blank: they were part of a longer name.
            const std::size_t rest = line.find_first_not_of(kLost, n);
            const std::size_t colon = line.find(':', n);
            if (rest == Bytes::npos ||
                (colon != Bytes::npos &&
                 ByteView(line).substr(rest, colon - rest).find_first_of(" \t") ==
                     ByteView::npos)) {
                return;
            }
            if (platform::equalsFolded(name, "From") && endsLikeMboxSeparator(line)) {
                return;
            }
            line[n] = ':';
        }
        // After "Content-Type:", completeContentType tells a lost blank
        // from a lost first letter of the type.
        const bool typeDecides = platform::equalsFolded(name, "Content-Type") &&
                                 line[n + 2] != ' ' && line[n + 2] != '\t';
        if (line[n + 1] == kLost && !typeDecides) {
            line[n + 1] = ' ';
        }
        if (platform::equalsFolded(name, "Date")) {
            restoreWeekday(line, n + 2);
        }
        return;
    }
}

void restoreBreakAfterOpenQuote(Bytes& line, bool quoteOpen) {
    constexpr std::size_t kShortestRun = 3;
    bool open = quoteOpen;
    for (std::size_t i = 0; i < line.size(); ++i) {
        if (line[i] == '"') {
            open = !open;
            continue;
        }
        if (line[i] != kLost) {
            continue;
        }
        const std::size_t end = std::min(line.find_first_not_of(kLost, i), line.size());
        if (!open || end - i < kShortestRun) {
            i = end - 1;
            continue;
        }
        const ByteView rest = ByteView(line).substr(end);
        const std::size_t colon = rest.find(':');
        if (rest.find('"') != ByteView::npos || rest.find(kLost) != ByteView::npos ||
            colon == ByteView::npos || colon == 0 || colon + 1 >= rest.size() ||
            rest[colon + 1] != ' ') {
            return;
        }
        const unsigned first = byteAt(rest, 0);
        const bool whole = platform::isUpperByte(first);
        if (!looksLikeFieldName(whole ? rest.substr(0, colon) : rest.substr(1, colon - 1))) {
            return;
        }
        const std::size_t lf = whole ? end - 1 : end - 2;
        if (lf < i + 2) {
            return;
        }
        line[lf] = '\n';
        line[lf - 1] = '\r';
        line[lf - 2] = '"';
        return;
    }
}

void restoreHeaderLineBreaks(Bytes& line) {
    for (std::size_t i = 0; i < line.size(); ++i) {
        if (line[i] != kLost) {
            continue;
        }
        if (i + 1 < line.size() && line[i + 1] == '\n') {
            line[i] = '\r';
        } else if (i > 0 && line[i - 1] == '\r') {
            line[i] = '\n';
        }
    }
}

bool continuesHeader(ByteView text) {
    static constexpr std::array<std::string_view, 9> kParameters = {
        "charset=",    "filename=", "name=", "boundary=",     "format=",
        "reply-type=", "delsp=",    "size=", "creation-date="};
    const std::size_t colon = text.find(':');
    if (colon != ByteView::npos && text.substr(0, colon).find_first_of(" \t") == ByteView::npos) {
        return true;
    }
    // At least the last letter of the name survives: a run of four bytes
    // cannot take a tab and a whole parameter name.
    const std::size_t equals = text.find('=');
    if (equals == ByteView::npos || equals == 0) {
        return false;
    }
    const ByteView name = text.substr(0, equals + 1);
    for (const std::string_view parameter : kParameters) {
        if (parameter.size() >= name.size() &&
            platform::equalsFolded(parameter.substr(parameter.size() - name.size()), name)) {
            return true;
        }
    }
    return false;
}

namespace {

constexpr std::array<std::string_view, 5> kEncodings = {"quoted-printable", "base64", "7bit",
                                                        "8bit", "binary"};

// Whether a line that starts a field can have ended before the index `run`:
// not inside its name or before its value has begun ("Content-Transfer-
// Encoding: " and "x-uu" lost of "x-uuencode"), and for a transfer
// encoding, only after a whole one ("x-u" and "uenc" lost).
bool fieldValueMayEndAt(ByteView line, std::size_t run) {
    const std::size_t colon = line.find(':');
    if (colon == ByteView::npos || colon >= run) {
        return false;
    }
    const std::size_t value = line.find_first_not_of(" \t", colon + 1);
    if (value >= run) {
        return false;
    }
    if (!platform::equalsFolded(line.substr(0, colon), "Content-Transfer-Encoding")) {
        return true;
    }
    std::size_t valueEnd = run;
    while (valueEnd > value && (line[valueEnd - 1] == ' ' || line[valueEnd - 1] == '\t')) {
        --valueEnd;
    }
    return std::any_of(kEncodings.begin(), kEncodings.end(), [&](std::string_view encoding) {
        return platform::equalsFolded(line.substr(value, valueEnd - value), encoding);
    });
}

} // namespace

void restoreBlankAfterEncoding(Bytes& line) {
    constexpr std::string_view kName = "content-transfer-encoding: ";
    if (!platform::startsWithFolded(line, kName)) {
        return;
    }
    // The CR LF after the pair may be the line's own or, where the run
    // also took a line break of the body, one inside it.
    const ByteView lostEnd("\0\0\r\n", 4);
    for (const std::string_view encoding : kEncodings) {
        const std::size_t end = kName.size() + encoding.size();
        if (line.size() >= end + lostEnd.size() &&
            platform::equalsFolded(ByteView(line).substr(kName.size(), encoding.size()),
                                   encoding) &&
            ByteView(line).substr(end, lostEnd.size()) == lostEnd) {
            line[end] = '\r';
            line[end + 1] = '\n';
            return;
        }
    }
}

void restoreBlankBeforeBody(Bytes& line, bool base64, FieldState before) {
    constexpr std::size_t kShortestBase64 = 16;
    const std::size_t run = line.find(kLost);
    if (run == Bytes::npos) {
        return;
    }
    // A run at the start of the line may have held the blank or tab of a
    // continuation line, so the previous line's field must be able to end.
    if (run == 0 ? before.inQuotes || before.awaitsParameter
                 : !fieldMayEndAfter(ByteView(line).substr(0, run), before)) {
        return;
    }
    if (run > 0 && !startsFolded(line) && !fieldValueMayEndAt(line, run)) {
        return;
    }
    std::size_t end = run;
    while (end < line.size() && line[end] == kLost) {
        ++end;
    }
    const std::size_t contentEnd = contentLength(line);
    if (end >= contentEnd) {
        return;
    }
    const ByteView rest = ByteView(line).substr(end, contentEnd - end);
    if (base64) {
        std::size_t body = 0;
        while (body < rest.size() && platform::base64DigitValue(byteAt(rest, body)) >= 0) {
            ++body;
        }
        while (body < rest.size() && rest[body] == '=') {
            ++body;
        }
        if (body < kShortestBase64 || body != rest.size()) {
            return;
        }
    } else if (continuesHeader(rest) || rest.find(kLost) != ByteView::npos) {
        return;
    } else if (run > 0 && startsFolded(line) && isTokenByte(byteAt(line, run - 1)) &&
               isTokenByte(byteAt(rest, 0))) {
        // Inside a word of a continuation line: the value may go on.
        return;
    }
    if (run == 0 && end >= 2) {
        line[0] = '\r';
        line[1] = '\n';
    } else if (run > 0 && end - run >= 4) {
        line.replace(run, 4, "\r\n\r\n");
    }
}

} // namespace keldor::repair
