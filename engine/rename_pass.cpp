#include "engine/rename_pass.h"

#include <string>

namespace keldor::engine {

std::filesystem::path temporaryFileName(int number) {
    return std::filesystem::path("Recover" + std::to_string(number) + ".eml");
}

// Naming by subject is not built yet: every file keeps its temporary name.
std::vector<RenamedFile> renameMessageFiles(const std::filesystem::path& outputFolder,
                                            int mailCount, RunView&) {
    std::vector<RenamedFile> files;
    for (int n = 1; n <= mailCount; ++n) {
        files.push_back({n, outputFolder / temporaryFileName(n), {}, {}, false});
    }
    return files;
}

} // namespace keldor::engine
