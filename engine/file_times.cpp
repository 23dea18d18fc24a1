#include "engine/file_times.h"

namespace keldor::engine {

namespace {

constexpr int kFirstYear = 1601;
constexpr int kLastYear = 30827;
// A two-digit year below this is in the 2000s, from it on in the 1900s.
constexpr int kTwoDigitYearPivot = 30;

// Reads 1..maxDigits decimal digits at `at`; nullopt when there is none.
std::optional<int> readNumber(TextView text, std::size_t& at, std::size_t maxDigits,
                              std::size_t* digitCount = nullptr) {
    int value = 0;
    std::size_t digits = 0;
    while (at < text.size() && text[at] >= u'0' && text[at] <= u'9') {
        if (++digits > maxDigits) {
            return std::nullopt;
        }
        value = value * 10 + (text[at] - u'0');
        ++at;
    }
    if (digits == 0) {
        return std::nullopt;
    }
    if (digitCount != nullptr) {
        *digitCount = digits;
    }
    return value;
}

bool expect(TextView text, std::size_t& at, char16_t c) {
    if (at < text.size() && text[at] == c) {
        ++at;
        return true;
    }
    return false;
}

bool isLeapYear(int year) {
    return (year % 4 == 0 && year % 100 != 0) || year % 400 == 0;
}

int daysInMonth(int year, int month) {
    constexpr int kDays[12] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
    return month == 2 && isLeapYear(year) ? 29 : kDays[month - 1];
}

} // namespace

std::optional<LocalDateTime> parseDateText(TextView dateText) {
    LocalDateTime when;
    std::size_t at = 0;
    std::size_t yearDigits = 0;
    const auto year = readNumber(dateText, at, 5, &yearDigits);
    if (!year || !expect(dateText, at, u'/')) {
        return std::nullopt;
    }
    when.year = *year;
    if (yearDigits <= 2) {
        when.year += when.year < kTwoDigitYearPivot ? 2000 : 1900;
    }
    const auto month = readNumber(dateText, at, 2);
    if (!month || !expect(dateText, at, u'/')) {
        return std::nullopt;
    }
    const auto day = readNumber(dateText, at, 2);
    if (!day || !expect(dateText, at, u' ')) {
        return std::nullopt;
    }
    while (expect(dateText, at, u' ')) {
    }
    const auto hour = readNumber(dateText, at, 2);
    if (!hour || !expect(dateText, at, u':')) {
        return std::nullopt;
    }
    const auto minute = readNumber(dateText, at, 2);
    if (!minute) {
        return std::nullopt;
    }
    std::optional<int> second = 0;
    if (expect(dateText, at, u':')) {
        second = readNumber(dateText, at, 2);
    }
    if (!second || at != dateText.size()) {
        return std::nullopt;
    }
    when.month = *month;
    when.day = *day;
    when.hour = *hour;
    when.minute = *minute;
    when.second = *second;
    if (when.month < 1 || when.month > 12 || when.day < 1 ||
        when.day > daysInMonth(when.year, when.month) || when.hour > 23 || when.minute > 59 ||
        when.second > 59) {
        return std::nullopt;
    }
    return when;
}

std::optional<platform::FileTime> dateToFileTime(const LocalDateTime& when) {
    if (when.year < kFirstYear || when.year > kLastYear) {
        return std::nullopt;
    }
    return platform::localToFileTime(when.year, when.month, when.day, when.hour, when.minute,
                                     when.second);
}

void setCreationTime(const std::filesystem::path& file, const LocalDateTime& when) {
    if (const auto time = dateToFileTime(when)) {
        platform::setCreationTime(file, *time);
    }
}

void setLastWriteTime(const std::filesystem::path& file, const LocalDateTime& when) {
    if (const auto time = dateToFileTime(when)) {
        platform::setLastWriteTime(file, *time);
    }
}

void setCreationAndLastWriteTime(const std::filesystem::path& file, const LocalDateTime& when) {
    if (const auto time = dateToFileTime(when)) {
        platform::setCreationAndLastWriteTime(file, *time);
    }
}

} // namespace keldor::engine
