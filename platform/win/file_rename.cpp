#include "platform/file_names.h"

#include "platform/win/win32.h"

namespace keldor::platform {

std::error_code renameNoReplace(const std::filesystem::path& from,
                                const std::filesystem::path& to) {
    // Without MOVEFILE_REPLACE_EXISTING the move fails when the name is taken,
    // and the check and the move are one step of the file system. Moving a
    // file onto its own name would succeed; the name is taken all the same.
    const std::wstring source = win::longPath(from);
    const std::wstring target = win::longPath(to);
    if (source == target) {
        return std::make_error_code(std::errc::file_exists);
    }
    if (::MoveFileExW(source.c_str(), target.c_str(), 0)) {
        return {};
    }
    const DWORD error = ::GetLastError();
    if (error == ERROR_ALREADY_EXISTS || error == ERROR_FILE_EXISTS) {
        return std::make_error_code(std::errc::file_exists);
    }
    return {static_cast<int>(error), std::system_category()};
}

} // namespace keldor::platform
