#include "platform/file_times.h"

#include "platform/win/win32.h"

namespace keldor::platform {

namespace {

FILETIME toFileTime(FileTime when) {
    const auto ticks = static_cast<std::uint64_t>(when.ticks);
    FILETIME time{};
    time.dwLowDateTime = static_cast<DWORD>(ticks & 0xFFFFFFFFu);
    time.dwHighDateTime = static_cast<DWORD>(ticks >> 32);
    return time;
}

// Opens the closed file for reading and writing as the stamping has always
// done, and sets the one time given; a null time is left as it is.
bool stamp(const std::filesystem::path& file, const FILETIME* created, const FILETIME* written) {
    const win::UniqueHandle handle(
        ::CreateFileW(win::longPath(file).c_str(), GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ,
                      nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!handle.isValid()) {
        return false;
    }
    return ::SetFileTime(handle.get(), created, nullptr, written) != 0;
}

} // namespace

std::optional<FileTime> localToFileTime(int year, int month, int day, int hour, int minute,
                                        int second) {
    // LocalFileTimeToFileTime would apply the offset in force now, so a
    // summer mail stamped in winter would be an hour off; the zone's rule at
    // the mail's date is what the mail's sender saw, and what Linux applies.
    SYSTEMTIME local{};
    local.wYear = static_cast<WORD>(year);
    local.wMonth = static_cast<WORD>(month);
    local.wDay = static_cast<WORD>(day);
    local.wHour = static_cast<WORD>(hour);
    local.wMinute = static_cast<WORD>(minute);
    local.wSecond = static_cast<WORD>(second);
    // The zone's rules of the mail's year: the current rules alone would date
    // a mail of a year whose daylight saving began on another day wrongly.
    DYNAMIC_TIME_ZONE_INFORMATION zone{};
    TIME_ZONE_INFORMATION rules{};
    const bool ofTheYear = ::GetDynamicTimeZoneInformation(&zone) != TIME_ZONE_ID_INVALID &&
                           ::GetTimeZoneInformationForYear(local.wYear, &zone, &rules);
    SYSTEMTIME utc{};
    if (!::TzSpecificLocalTimeToSystemTime(ofTheYear ? &rules : nullptr, &local, &utc)) {
        return std::nullopt;
    }
    FILETIME time{};
    if (!::SystemTimeToFileTime(&utc, &time)) {
        return std::nullopt;
    }
    const std::uint64_t ticks =
        (static_cast<std::uint64_t>(time.dwHighDateTime) << 32) | time.dwLowDateTime;
    if (ticks > static_cast<std::uint64_t>(INT64_MAX)) {
        return std::nullopt;
    }
    return FileTime{static_cast<std::int64_t>(ticks)};
}

bool setCreationTime(const std::filesystem::path& file, FileTime when) {
    if (when.ticks < 0) {
        return false;
    }
    const FILETIME time = toFileTime(when);
    return stamp(file, &time, nullptr);
}

bool setLastWriteTime(const std::filesystem::path& file, FileTime when) {
    if (when.ticks < 0) {
        return false;
    }
    const FILETIME time = toFileTime(when);
    return stamp(file, nullptr, &time);
}

bool setCreationAndLastWriteTime(const std::filesystem::path& file, FileTime when) {
    if (when.ticks < 0) {
        return false;
    }
    const FILETIME time = toFileTime(when);
    return stamp(file, &time, &time);
}

} // namespace keldor::platform
