// Date texts to local date-times, local date-times to file times under a
// fixed time zone, and the times a file is given.

#include "engine/file_times.h"

#include "tests/support/test_support.h"

#include <gtest/gtest.h>

#include <optional>
#include <string>

namespace keldor::engine {
namespace {

using testing::utf8;

constexpr const char* kTokyo = "JST-9";
constexpr const char* kBerlin = "CET-1CEST,M3.5.0,M10.5.0/3";

using testing::ZoneScope;

// Seconds since 1970 of a UTC calendar time (the proleptic Gregorian count of
// days, so that it needs no time zone of the system).
std::int64_t utcSeconds(int year, int month, int day, int hour, int minute, int second) {
    const int y = month <= 2 ? year - 1 : year;
    const int era = (y >= 0 ? y : y - 399) / 400;
    const int yearOfEra = y - era * 400;
    const int dayOfYear = (153 * (month + (month > 2 ? -3 : 9)) + 2) / 5 + day - 1;
    const int dayOfEra = yearOfEra * 365 + yearOfEra / 4 - yearOfEra / 100 + dayOfYear;
    const std::int64_t days = static_cast<std::int64_t>(era) * 146097 + dayOfEra - 719468;
    return days * 86400 + hour * 3600 + minute * 60 + second;
}

// The file time of a UTC calendar time.
platform::FileTime utcFileTime(int year, int month, int day, int hour, int minute, int second) {
    const std::int64_t seconds = utcSeconds(year, month, day, hour, minute, second);
    return {(seconds + platform::kFileTimeEpochOffset) * platform::kTicksPerSecond};
}

constexpr const char* kZoneNotHere = "the system's time zone is not the one this case needs";

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
        if (zone.applied()) {
            EXPECT_EQ(dateToFileTime({2008, 10, 23, 15, 30, 45}),
                      utcFileTime(2008, 10, 23, 6, 30, 45));
        }
    }
    {
        // Summer and winter dates each with their own offset, whenever this runs.
        const ZoneScope zone(kBerlin);
        if (!zone.applied()) {
            GTEST_SKIP() << kZoneNotHere;
        }
        EXPECT_EQ(dateToFileTime({2008, 7, 1, 12, 0, 0}), utcFileTime(2008, 7, 1, 10, 0, 0));
        EXPECT_EQ(dateToFileTime({2008, 1, 1, 12, 0, 0}), utcFileTime(2008, 1, 1, 11, 0, 0));
    }
}

TEST(DateToFileTime, RefusesTimesBefore1601) {
    EXPECT_EQ(dateToFileTime({1600, 12, 31, 23, 59, 59}), std::nullopt);
    EXPECT_EQ(dateToFileTime({8, 12, 5, 0, 0, 0}), std::nullopt);
    {
        const ZoneScope zone("UTC0");
        if (zone.applied()) {
            EXPECT_EQ(dateToFileTime({1601, 1, 1, 0, 0, 0}), platform::FileTime{0});
        }
    }
    {
        // Nine hours ahead: local 1601-01-01 is still 1600 in UTC.
        const ZoneScope zone(kTokyo);
        if (!zone.applied()) {
            GTEST_SKIP() << kZoneNotHere;
        }
        EXPECT_EQ(dateToFileTime({1601, 1, 1, 0, 0, 0}), std::nullopt);
        EXPECT_EQ(dateToFileTime({1601, 1, 1, 9, 0, 0}), platform::FileTime{0});
    }
}

class FileTimes : public ::testing::Test {
protected:
    static constexpr std::int64_t kAccessed = 1000000000;
    static constexpr std::int64_t kWritten = 1100000000;
    void SetUp() override {
        file = dir.path() / "Recover1.eml";
        testing::writeFile(file, "mail");
        // Known times, to see which ones are left alone.
        testing::setFileStamps(file, kAccessed, kWritten);
    }
    testing::FileStamps stamps() const { return testing::fileStamps(file); }
    testing::TempDir dir;
    std::filesystem::path file;
};

TEST_F(FileTimes, SetsCreationAndLastWriteTimeAndLeavesTheAccessTime) {
    const ZoneScope zone(kTokyo);
    if (!zone.applied()) {
        GTEST_SKIP() << kZoneNotHere;
    }
    const std::int64_t expected = utcSeconds(2008, 10, 23, 6, 30, 45);
    setCreationTime(file, {2008, 10, 23, 15, 30, 45});
    EXPECT_EQ(stamps().modified, kWritten) << "the creation time alone";
    if (const auto created = stamps().created) {
        EXPECT_EQ(*created, expected);
    }
    setLastWriteTime(file, {2008, 10, 23, 15, 30, 45});
    const testing::FileStamps st = stamps();
    EXPECT_EQ(st.modified, expected);
    EXPECT_EQ(st.modifiedNanoseconds, 0);
    EXPECT_EQ(st.accessed, kAccessed);
    if (st.created) {
        EXPECT_EQ(*st.created, expected) << "the last-write time alone";
    }
    setCreationAndLastWriteTime(file, {2008, 10, 23, 15, 30, 46});
    EXPECT_EQ(stamps().modified, expected + 1);
    EXPECT_EQ(stamps().accessed, kAccessed);
    if (const auto created = stamps().created) {
        EXPECT_EQ(*created, expected + 1) << "both at once";
    }
}

TEST_F(FileTimes, LeavesTimesAloneWhenTheyCannotBeSet) {
    setLastWriteTime(file, {1600, 1, 1, 0, 0, 0});
    setCreationTime(file, {1600, 1, 1, 0, 0, 0});
    setCreationAndLastWriteTime(file, {1600, 1, 1, 0, 0, 0});
    EXPECT_EQ(stamps().modified, kWritten);
    if (const auto created = stamps().created) {
        EXPECT_EQ(*created, kWritten);
    }
    // A missing file: nothing happens, nothing is thrown.
    setLastWriteTime(dir.path() / "missing.eml", {2008, 1, 1, 0, 0, 0});
    setCreationTime(dir.path() / "missing.eml", {2008, 1, 1, 0, 0, 0});
    setCreationAndLastWriteTime(dir.path() / "missing.eml", {2008, 1, 1, 0, 0, 0});
    EXPECT_FALSE(std::filesystem::exists(dir.path() / "missing.eml"));
}

} // namespace
} // namespace keldor::engine
