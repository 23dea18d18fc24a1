#pragma once
// Setting the times of a closed file given by its path.

#include <cstdint>
#include <filesystem>
#include <optional>

namespace keldor::platform {

// A point in time as Windows keeps file times: 100-ns intervals since
// 1601-01-01 00:00:00 UTC. Never negative.
struct FileTime {
    std::int64_t ticks = 0;
    friend bool operator==(const FileTime&, const FileTime&) = default;
};

// Seconds between 1601-01-01 and 1970-01-01, both UTC.
inline constexpr std::int64_t kFileTimeEpochOffset = 11644473600;
inline constexpr std::int64_t kTicksPerSecond = 10000000;

// The UTC instant of a local calendar date and time of day (month 1..12),
// with the offset of the system's time zone that was in force at that date,
// daylight saving included, so that a mail stamped in winter gets the same
// times as one stamped in summer. nullopt when the system cannot convert it.
std::optional<FileTime> localToFileTime(int year, int month, int day, int hour, int minute,
                                        int second);

// Sets the file's creation time, leaving its other times alone. Where the
// file system keeps no settable creation time (Linux) nothing is changed.
// false when the time was not set, for whatever reason.
bool setCreationTime(const std::filesystem::path& file, FileTime when);

// Sets the file's last-write (modification) time, leaving its access time
// alone. false when the file could not be reached or the time not set.
bool setLastWriteTime(const std::filesystem::path& file, FileTime when);

// Both of the above with one opening of the file: the creation time (where
// the file system keeps a settable one) and the last-write time become
// `when`, the access time stays. false when the last-write time was not set.
bool setCreationAndLastWriteTime(const std::filesystem::path& file, FileTime when);

} // namespace keldor::platform
