#include "platform/file_times.h"

#include <fcntl.h>
#include <sys/stat.h>

namespace keldor::platform {

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
