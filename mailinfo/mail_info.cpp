#include "mailinfo/mail_info.h"

#include "charset/encoded_word_decoding.h"
#include "platform/case_fold.h"
#include "platform/cp932.h"
#include "platform/files.h"
#include "platform/text.h"

#include <algorithm>
#include <array>
#include <vector>

namespace keldor::mailinfo {

namespace {

constexpr std::u16string_view kSubjectLabel = u"subject: ";
constexpr std::u16string_view kDateLabel = u"date: ";
constexpr std::u16string_view kReceivedLabel = u"received: ";
constexpr std::u16string_view kLineEnd = u"\r\n";

// " jan " … " dec ", with their blanks: a month name must stand as a word.
constexpr std::array<std::u16string_view, 12> kMonths = {
    u" jan ", u" feb ", u" mar ", u" apr ", u" may ", u" jun ",
    u" jul ", u" aug ", u" sep ", u" oct ", u" nov ", u" dec ",
};

// A month entry within the first four characters is not taken: the day of
// the month is read from the two characters before the entry.
constexpr std::size_t kFirstMonthIndex = 4;

// A value that runs to the end of the block ends on the line end of the last
// header line (the block keeps the CR of the blank line that follows it, and a
// mail written with bare LF keeps its LF): that line end is not part of it.
void dropLineEnd(Text& value) {
    while (!value.empty() && (value.back() == u'\r' || value.back() == u'\n')) {
        value.pop_back();
    }
}

// The value that starts at `start`: its line up to CR LF (or the end of the
// block, its line end dropped), with every following line that starts with a TAB or a blank
// appended from its second character, leading blanks removed, nothing between.
Text unfoldedValue(TextView block, std::size_t start) {
    std::size_t lineEnd = block.find(kLineEnd, start);
    Text value(block.substr(start, lineEnd == TextView::npos ? TextView::npos : lineEnd - start));
    while (lineEnd != TextView::npos) {
        const std::size_t next = lineEnd + kLineEnd.size();
        if (next >= block.size() || (block[next] != u'\t' && block[next] != u' ')) {
            break;
        }
        const std::size_t from = next + 1;
        lineEnd = block.find(kLineEnd, from);
        TextView piece =
            block.substr(from, lineEnd == TextView::npos ? TextView::npos : lineEnd - from);
        const std::size_t firstKept = piece.find_first_not_of(u' ');
        piece.remove_prefix(firstKept == TextView::npos ? piece.size() : firstKept);
        value += piece;
    }
    if (lineEnd == TextView::npos) {
        dropLineEnd(value);
    }
    return value;
}

// The first line of the value that starts at `start`, without continuation lines.
Text firstLineValue(TextView block, std::size_t start) {
    const std::size_t lineEnd = block.find(kLineEnd, start);
    if (lineEnd != TextView::npos) {
        return Text(block.substr(start, lineEnd - start));
    }
    Text value(block.substr(start));
    dropLineEnd(value);
    return value;
}

// The last `count` characters of a text, or all of it when it is shorter.
Text lastChars(const Text& text, std::size_t count) {
    return text.size() <= count ? text : text.substr(text.size() - count);
}

std::optional<Bytes> readHead(const std::filesystem::path& file) {
    std::error_code error;
    const std::optional<platform::ReadOnlyFile> opened = platform::ReadOnlyFile::open(file, error);
    if (!opened) {
        return std::nullopt;
    }
    const std::size_t wanted =
        static_cast<std::size_t>(std::min<std::uint64_t>(opened->size(), kHeaderReadLimit));
    Bytes head(wanted, '\0');
    std::size_t got = 0;
    while (got < wanted) {
        const std::optional<std::size_t> n =
            opened->readAt(got, std::span<char>(head.data() + got, wanted - got));
        if (!n) {
            return std::nullopt;
        }
        if (*n == 0) {
            break;
        }
        got += *n;
    }
    head.resize(got);
    return head;
}

} // namespace

Text headerBlock(ByteView head) {
    // CR and LF are never the second byte of a two-byte code, so the blank
    // line is found in the bytes where the conversion would find it.
    const std::size_t blankLine = head.find("\r\n\r\n");
    return platform::cp932ToText(blankLine == ByteView::npos ? head
                                                             : head.substr(0, blankLine + 1));
}

Text parseMailDate(TextView value) {
    // The first occurrence of each month entry, found in one pass.
    std::array<std::size_t, kMonths.size()> first;
    first.fill(TextView::npos);
    const auto lower = [&value](std::size_t i) {
        const char16_t c = value[i];
        return platform::foldedUnit(c);
    };
    for (std::size_t p = 0; p + 5 <= value.size(); ++p) {
        if (value[p] != u' ' || value[p + 4] != u' ') {
            continue;
        }
        for (std::size_t m = 0; m < kMonths.size(); ++m) {
            if (first[m] == TextView::npos && lower(p + 1) == kMonths[m][1] &&
                lower(p + 2) == kMonths[m][2] && lower(p + 3) == kMonths[m][3]) {
                first[m] = p;
                break;
            }
        }
    }
    std::size_t month = 0;
    std::size_t at = 0;
    for (std::size_t m = 0; m < kMonths.size(); ++m) {
        if (first[m] != TextView::npos && first[m] >= kFirstMonthIndex) {
            month = m + 1;
            at = first[m];
            break;
        }
    }
    if (month == 0) {
        return Text(kDamagedDate);
    }

    // From the two characters before the month entry: day month year time zone …
    Text t(value.substr(at - 2));
    t.erase(0, std::min(t.find_first_not_of(u' '), t.size()));
    for (std::size_t pair = t.find(u"  "); pair != Text::npos; pair = t.find(u"  ", pair)) {
        t.erase(pair, 1);
    }
    // After the blanks are collapsed: a NUL beside a blank leaves an empty field.
    std::replace(t.begin(), t.end(), u'\0', u' ');

    std::vector<Text> fields;
    std::size_t fieldStart = 0;
    for (;;) {
        const std::size_t blank = t.find(u' ', fieldStart);
        const std::size_t length = blank == Text::npos ? Text::npos : blank - fieldStart;
        fields.push_back(t.substr(fieldStart, length));
        if (blank == Text::npos) {
            break;
        }
        fieldStart = blank + 1;
    }
    if (fields.size() < 5) {
        return Text(kUnknownDate);
    }

    Text date = fields[2];
    date += u'/';
    date += static_cast<char16_t>(u'0' + month / 10);
    date += static_cast<char16_t>(u'0' + month % 10);
    date += u'/';
    date += lastChars(u"0" + fields[0], 2);
    date += u' ';
    date += lastChars(u" " + fields[3], 8);
    return date;
}

MailInfo readMailInfo(const std::filesystem::path& messageFile) {
    const std::optional<Bytes> head = readHead(messageFile);
    if (!head) {
        return {Text(kUnreadable), Text(kUnreadable)};
    }
    return mailInfoOf(*head);
}

MailInfo mailInfoOf(ByteView message) {
    MailInfo info;
    const Text block = headerBlock(message.substr(0, kHeaderReadLimit));
    const Text search = platform::foldCase(block);

    const std::size_t subjectAt = search.find(kSubjectLabel);
    if (subjectAt == Text::npos) {
        info.subject = kNoSubject;
    } else {
        const std::optional<Text> decoded =
            charset::decodeHeaderText(unfoldedValue(block, subjectAt + kSubjectLabel.size()));
        if (!decoded) {
            // The date is not read after a failure.
            info.subject = kUnreadable;
            info.dateText = kUnreadable;
            return info;
        }
        info.subject = *decoded;
    }

    const std::size_t receivedAt = search.find(kReceivedLabel);
    if (receivedAt != Text::npos) {
        info.dateText = parseMailDate(unfoldedValue(block, receivedAt + kReceivedLabel.size()));
        return info;
    }
    const std::size_t dateAt = search.find(kDateLabel);
    info.dateText = dateAt == Text::npos
                        ? Text(kUnknownDate)
                        : parseMailDate(firstLineValue(block, dateAt + kDateLabel.size()));
    return info;
}

} // namespace keldor::mailinfo
