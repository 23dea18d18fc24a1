#include "engine/output_folder.h"

#include "platform/files.h"
#include "platform/text.h"

#include <cstdio>

namespace keldor::engine {

namespace {
// Far more runs than can start in one second; it only bounds the search when
// every name is taken by files of that name.
constexpr int kMaxSuffix = 10000;
} // namespace

std::tm localNow() {
    const std::time_t now = std::time(nullptr);
    std::tm local{};
#ifdef _WIN32
    localtime_s(&local, &now);
#else
    localtime_r(&now, &local);
#endif
    return local;
}

Text stampedFolderName(TextView prefix, const std::tm& localTime) {
    char stamp[32];
    std::snprintf(stamp, sizeof stamp, "%04d%02d%02d%02d%02d%02d", localTime.tm_year + 1900,
                  localTime.tm_mon + 1, localTime.tm_mday, localTime.tm_hour, localTime.tm_min,
                  localTime.tm_sec);
    return Text(prefix) + platform::asciiText(stamp);
}

std::optional<std::filesystem::path> claimOutputFolder(const Text& path, std::error_code& error) {
    for (int suffix = 1; suffix <= kMaxSuffix; ++suffix) {
        const std::filesystem::path candidate = platform::toPath(
            suffix == 1 ? path : path + u"_" + platform::toText(static_cast<std::int64_t>(suffix)));
        switch (platform::createNewFolder(candidate, error)) {
        case platform::NewFolder::Created:
            return candidate;
        case platform::NewFolder::AlreadyThere:
            continue;
        case platform::NewFolder::Failed:
            return std::nullopt;
        }
    }
    error = std::make_error_code(std::errc::file_exists);
    return std::nullopt;
}

} // namespace keldor::engine
