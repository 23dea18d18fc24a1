// readMailInfo on a message file made from the input, and parseMailDate on
// the input as a header value: the date text is always a marker or of the
// form "YYYY/MM/DD hh:mm:ss" (year as written, day and time padded), and a
// file's subject and date are unreadable together or not at all.

#include "fuzz/fuzz_support.h"
#include "mailinfo/mail_info.h"
#include "platform/cp932.h"

using namespace keldor;

namespace {

bool isMarker(TextView date) {
    return date == mailinfo::kUnknownDate || date == mailinfo::kDamagedDate;
}

// year "/" MM "/" day " " time, as parseMailDate builds it: the year and the
// day hold no blank, the month is 01 to 12, the day has one or two
// characters, and the time one to eight, a blank only as its first one.
bool isDateOfFixedForm(TextView date) {
    const std::size_t blank = date.find(u' ');
    if (blank == TextView::npos) {
        return false;
    }
    const TextView time = date.substr(blank + 1);
    if (time.empty() || time.size() > 8 || time.find(u' ', 1) != TextView::npos) {
        return false;
    }
    const TextView ymd = date.substr(0, blank);
    const auto isDigit = [](char16_t c) { return c >= u'0' && c <= u'9'; };
    for (std::size_t dayLength = 1; dayLength <= 2; ++dayLength) {
        if (ymd.size() < dayLength + 4) {
            continue;
        }
        const std::size_t m = ymd.size() - dayLength - 3; // first digit of the month
        if (ymd[m - 1] != u'/' || ymd[m + 2] != u'/' || !isDigit(ymd[m]) || !isDigit(ymd[m + 1])) {
            continue;
        }
        const int month = (ymd[m] - u'0') * 10 + (ymd[m + 1] - u'0');
        if (month >= 1 && month <= 12) {
            return true;
        }
    }
    return false;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const ByteView input = fuzz::inputBytes(data, size);

    const Text value = platform::cp932ToText(input);
    const Text parsed = mailinfo::parseMailDate(value);
    FUZZ_CHECK(isMarker(parsed) || isDateOfFixedForm(parsed));
    const Text parsedUnits = mailinfo::parseMailDate(fuzz::inputText(input));
    FUZZ_CHECK(isMarker(parsedUnits) || isDateOfFixedForm(parsedUnits));

    const auto file = fuzz::scratchFolder() / "Recover1.eml";
    fuzz::writeFile(file, input);
    const mailinfo::MailInfo info = mailinfo::readMailInfo(file);
    if (info.dateText == mailinfo::kUnreadable) {
        FUZZ_CHECK(info.subject == mailinfo::kUnreadable);
    } else {
        FUZZ_CHECK(isMarker(info.dateText) || isDateOfFixedForm(info.dateText));
    }
    FUZZ_CHECK(info.subject.size() <= input.size() || info.subject == mailinfo::kNoSubject ||
               info.subject == mailinfo::kUnreadable);
    return 0;
}
