#include "platform/file_times.h"

#include <cerrno>
#include <ctime>
#include <fcntl.h>
#include <sys/stat.h>

namespace keldor::platform {

std::optional<FileTime> localToFileTime(int year, int month, int day, int hour, int minute,
                                        int second) {
    std::tm fields{};
    fields.tm_year = year - 1900;
    fields.tm_mon = month - 1;
    fields.tm_mday = day;
    fields.tm_hour = hour;
    fields.tm_min = minute;
    fields.tm_sec = second;
    fields.tm_isdst = -1; // the zone's rule at that date decides
    errno = 0;
    const std::time_t utc = std::mktime(&fields);
    if (utc == static_cast<std::time_t>(-1) && errno != 0) {
        return std::nullopt;
    }
    const std::int64_t seconds = static_cast<std::int64_t>(utc) + kFileTimeEpochOffset;
    if (seconds < 0) {
        return std::nullopt;
    }
    return FileTime{seconds * kTicksPerSecond};
}

// Linux file systems record a birth time but offer no call to set it.
bool setCreationTime(const std::filesystem::path&, FileTime) {
    return false;
}

bool setLastWriteTime(const std::filesystem::path& file, FileTime when) {
    if (when.ticks < 0) {
        return false;
    }
    timespec times[2] = {};
    times[0].tv_nsec = UTIME_OMIT; // access time stays as it is
    times[1].tv_sec = static_cast<time_t>(when.ticks / kTicksPerSecond - kFileTimeEpochOffset);
    times[1].tv_nsec = static_cast<long>(when.ticks % kTicksPerSecond * 100);
    return ::utimensat(AT_FDCWD, file.c_str(), times, 0) == 0;
}

bool setCreationAndLastWriteTime(const std::filesystem::path& file, FileTime when) {
    return setLastWriteTime(file, when);
}

} // namespace keldor::platform
