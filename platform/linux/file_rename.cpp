#include "platform/file_names.h"

#include <cerrno>
#include <cstdio>
#include <fcntl.h>
#include <unistd.h>

namespace keldor::platform {

std::error_code renameNoReplace(const std::filesystem::path& from,
                                const std::filesystem::path& to) {
    if (::renameat2(AT_FDCWD, from.c_str(), AT_FDCWD, to.c_str(), RENAME_NOREPLACE) == 0) {
        return {};
    }
    const int renameError = errno;
    if (renameError != EINVAL && renameError != ENOSYS && renameError != EOPNOTSUPP) {
        return {renameError, std::generic_category()};
    }
    // The file system cannot rename without replacing: a hard link fails when
    // the name is taken, and the old name goes only once the new one stands.
    if (::link(from.c_str(), to.c_str()) != 0) {
        const int linkError = errno;
        return {linkError, std::generic_category()};
    }
    if (::unlink(from.c_str()) != 0) {
        const int unlinkError = errno;
        ::unlink(to.c_str());
        return {unlinkError, std::generic_category()};
    }
    return {};
}

} // namespace keldor::platform
