#include "ui/qt/guide_location.h"

#include <array>
#include <filesystem>
#include <system_error>

namespace keldor::ui {

Text guideStartPage(TextView programFolder) {
    namespace fs = std::filesystem;
    const fs::path folder = platform::toPath(programFolder);
    const fs::path startPage = fs::path("guide") / "ja" / "index.html";
    const std::array<fs::path, 2> candidates = {
        (folder / ".." / "share" / "keldor" / startPage).lexically_normal(),
        (folder / startPage).lexically_normal(),
    };
    for (const fs::path& candidate : candidates) {
        std::error_code error;
        if (fs::is_regular_file(candidate, error)) {
            return platform::pathText(candidate);
        }
    }
    return platform::pathText(candidates.front());
}

} // namespace keldor::ui
