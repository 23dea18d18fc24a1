// Date texts to local date-times, local date-times to file times under a
// fixed time zone, and the times a file is given.

#include "engine/file_times.h"

#include "tests/support/test_support.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <ctime>
#include <fcntl.h>
#include <optional>
#include <string>
#include <sys/stat.h>

namespace keldor::engine {
namespace {

using testing::utf8;

// Runs the test under the time zone `tz` and puts the old one back.
class ZoneScope {
public:
    explicit ZoneScope(const char* tz) {
        if (const char* old = std::getenv("TZ")) {
            saved_ = old;
        }
        ::setenv("TZ", tz, 1);
        ::tzset();
    }
    ~ZoneScope() {
        if (saved_) {
            ::setenv("TZ", saved_->c_str(), 1);
        } else {
            ::unsetenv("TZ");
        }
        ::tzset();
    }
    ZoneScope(const ZoneScope&) = delete;
    ZoneScope& operator=(const ZoneScope&) = delete;

private:
    std::optional<std::string> saved_;
};

constexpr const char* kTokyo = "JST-9";
constexpr const char* kBerlin = "CET-1CEST,M3.5.0,M10.5.0/3";

// The file time of a UTC calendar time.
platform::FileTime utcFileTime(int year, int month, int day, int hour, int minute, int second) {
    std::tm fields{};
    fields.tm_year = year - 1900;
    fields.tm_mon = month - 1;
    fields.tm_mday = day;
    fields.tm_hour = hour;
    fields.tm_min = minute;
    fields.tm_sec = second;
    const std::int64_t seconds = ::timegm(&fields);
    return {(seconds + platform::kFileTimeEpochOffset) * platform::kTicksPerSecond};
}

TEST(ParseDateText, ReadsTheTextsReadMailInfoGives) {
    struct Case {
        Text text;
        LocalDateTime expected;
    };
    const Case cases[] = {
        {u"2008/10/23 15:30:45", {2008, 10, 23, 15, 30, 45}},
        {u"2008/06/03  8:05:09", {2008, 6, 3, 8, 5, 9}},
        {u"2008/06/03     08:05:09", {2008, 6, 3, 8, 5, 9}},
        {u"2008/06/03 12:34", {2008, 6, 3, 12, 34, 0}},
        {u"2008/02/29 00:00:00", {2008, 2, 29, 0, 0, 0}},
        {u"2000/02/29 23:59:59", {2000, 2, 29, 23, 59, 59}},
        // Two-digit years fall in 1930..2029.
        {u"08/12/05 10:00:00", {2008, 12, 5, 10, 0, 0}},
        {u"29/01/01 00:00:00", {2029, 1, 1, 0, 0, 0}},
        {u"30/01/01 00:00:00", {1930, 1, 1, 0, 0, 0}},
        {u"99/01/01 00:00:00", {1999, 1, 1, 0, 0, 0}},
        {u"1/01/01 00:00:00", {2001, 1, 1, 0, 0, 0}},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(parseDateText(c.text), c.expected) << utf8(c.text);
    }
}

TEST(ParseDateText, RefusesMarkersAndImpossibleDates) {
    const Text refused[] = {
        u"(不明)",
        u"(破損)",
        u"[不明]",
        u"",
        u"2008/02/30 00:00:00",
        u"1900/02/29 00:00:00",
        u"2008/13/01 00:00:00",
        u"2008/00/10 00:00:00",
        u"2008/10/00 00:00:00",
        u"2008/10/23 24:00:00",
        u"2008/10/23 12:60:00",
        u"2008/10/23 12:00:60",
        u"2008/10/2315:30:45",
        u"2008/10/23 15:30:45 ",
        u"2008/10/23 15",
        u"2008/10/23 +0900",
        u"2008/10/, 15:30:45",
        u"123456/10/23 15:30:45",
        u"2008/10/23 15:30:45\r",
    };
    for (const Text& text : refused) {
        EXPECT_EQ(parseDateText(text), std::nullopt) << utf8(text);
    }
}

TEST(DateToFileTime, AppliesTheOffsetInForceAtTheDate) {
    {
        const ZoneScope zone(kTokyo);
        EXPECT_EQ(dateToFileTime({2008, 10, 23, 15, 30, 45}), utcFileTime(2008, 10, 23, 6, 30, 45));
    }
    {
        // Summer and winter dates each with their own offset, whenever this runs.
        const ZoneScope zone(kBerlin);
        EXPECT_EQ(dateToFileTime({2008, 7, 1, 12, 0, 0}), utcFileTime(2008, 7, 1, 10, 0, 0));
        EXPECT_EQ(dateToFileTime({2008, 1, 1, 12, 0, 0}), utcFileTime(2008, 1, 1, 11, 0, 0));
    }
}

TEST(DateToFileTime, RefusesTimesBefore1601) {
    {
        const ZoneScope zone("UTC0");
        EXPECT_EQ(dateToFileTime({1601, 1, 1, 0, 0, 0}), platform::FileTime{0});
        EXPECT_EQ(dateToFileTime({1600, 12, 31, 23, 59, 59}), std::nullopt);
        EXPECT_EQ(dateToFileTime({8, 12, 5, 0, 0, 0}), std::nullopt);
    }
    {
        // Nine hours ahead: local 1601-01-01 is still 1600 in UTC.
        const ZoneScope zone(kTokyo);
        EXPECT_EQ(dateToFileTime({1601, 1, 1, 0, 0, 0}), std::nullopt);
        EXPECT_EQ(dateToFileTime({1601, 1, 1, 9, 0, 0}), platform::FileTime{0});
    }
}

class FileTimes : public ::testing::Test {
protected:
    void SetUp() override {
        file = dir.path() / "Recover1.eml";
        testing::writeFile(file, "mail");
        // A known access time, to see that it is left alone.
        timespec times[2] = {{1000000000, 0}, {1100000000, 0}};
        ASSERT_EQ(::utimensat(AT_FDCWD, file.c_str(), times, 0), 0);
    }
    struct stat status() const {
        struct stat st {};
        ::stat(file.c_str(), &st);
        return st;
    }
    testing::TempDir dir;
    std::filesystem::path file;
};

TEST_F(FileTimes, SetsTheLastWriteTimeAndLeavesTheAccessTime) {
    const ZoneScope zone(kTokyo);
    setCreationTime(file, {2008, 10, 23, 15, 30, 45});
    EXPECT_EQ(status().st_mtim.tv_sec, 1100000000) << "creation time is not settable here";
    setLastWriteTime(file, {2008, 10, 23, 15, 30, 45});
    const struct stat st = status();
    const std::int64_t expected =
        utcFileTime(2008, 10, 23, 6, 30, 45).ticks / platform::kTicksPerSecond -
        platform::kFileTimeEpochOffset;
    EXPECT_EQ(st.st_mtim.tv_sec, expected);
    EXPECT_EQ(st.st_mtim.tv_nsec, 0);
    EXPECT_EQ(st.st_atim.tv_sec, 1000000000);
}

TEST_F(FileTimes, LeavesTimesAloneWhenTheyCannotBeSet) {
    const ZoneScope zone("UTC0");
    setLastWriteTime(file, {1600, 1, 1, 0, 0, 0});
    setCreationAndLastWriteTime(file, {1600, 1, 1, 0, 0, 0});
    EXPECT_EQ(status().st_mtim.tv_sec, 1100000000);
    // A missing file: nothing happens, nothing is thrown.
    setLastWriteTime(dir.path() / "missing.eml", {2008, 1, 1, 0, 0, 0});
    setCreationTime(dir.path() / "missing.eml", {2008, 1, 1, 0, 0, 0});
    setCreationAndLastWriteTime(dir.path() / "missing.eml", {2008, 1, 1, 0, 0, 0});
    EXPECT_FALSE(std::filesystem::exists(dir.path() / "missing.eml"));
}

} // namespace
} // namespace keldor::engine
