#pragma once
// Stamping a message file with its mail's date: the date text becomes a
// local date and time, that becomes a file time, and the file gets it as its
// creation and last-write time.

#include "platform/bytes.h"
#include "platform/file_times.h"

#include <filesystem>
#include <optional>

namespace keldor::engine {

// A local calendar date and time of day in whole seconds, without a zone.
struct LocalDateTime {
    int year = 0;
    int month = 0; // 1..12
    int day = 0;   // 1..31
    int hour = 0;  // 0..23
    int minute = 0;
    int second = 0;
    friend bool operator==(const LocalDateTime&, const LocalDateTime&) = default;
};

// "YYYY/MM/DD hh:mm:ss" as readMailInfo gives it: any number of blanks
// between date and time (at least one), one or two digits for the month, day
// and time fields, seconds optional. A one- or two-digit year falls in
// 1930..2029. nullopt for a marker or anything that is not a real calendar
// date and time of day.
[[nodiscard]] std::optional<LocalDateTime> parseDateText(TextView dateText);

// The UTC instant of a local date-time, with the zone offset that was in
// force at that date (daylight saving included). nullopt when the time
// cannot be expressed: before 1601-01-01 UTC or after the year 30827.
[[nodiscard]] std::optional<platform::FileTime> dateToFileTime(const LocalDateTime& when);

// Set the file's creation / last-write time to `when`; the other times stay.
// Nothing is changed, and nothing reported, when the file cannot be reached
// or `when` cannot be expressed as a file time.
void setCreationTime(const std::filesystem::path& file, const LocalDateTime& when);
void setLastWriteTime(const std::filesystem::path& file, const LocalDateTime& when);

// Both, creation time first, with one conversion of `when`.
void setCreationAndLastWriteTime(const std::filesystem::path& file, const LocalDateTime& when);

} // namespace keldor::engine
