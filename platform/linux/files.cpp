#include "platform/native_files.h"
#include "platform/text.h"

#include <cerrno>
#include <fcntl.h>
#include <string>
#include <sys/stat.h>
#include <unistd.h>
#include <utility>

namespace keldor::platform {

namespace {

std::error_code lastError() {
    return {errno, std::generic_category()};
}

int fd(const FileDescriptor& handle) {
    return static_cast<int>(handle.get());
}

// The size of the regular file behind `handle`, or an error when it is
// something else.
std::optional<std::uint64_t> regularFileSize(int handle, std::error_code& error) {
    struct stat info {};
    if (::fstat(handle, &info) != 0) {
        error = lastError();
        return std::nullopt;
    }
    if (!S_ISREG(info.st_mode)) {
        error = std::make_error_code(S_ISDIR(info.st_mode) ? std::errc::is_a_directory
                                                           : std::errc::invalid_argument);
        return std::nullopt;
    }
    return static_cast<std::uint64_t>(info.st_size);
}

// All of `bytes`, at `offset` when one is given, else at the file's position.
std::error_code writeAll(int handle, std::optional<std::uint64_t> offset, ByteView bytes) {
    std::size_t done = 0;
    while (done < bytes.size()) {
        const ssize_t n = offset ? ::pwrite(handle, bytes.data() + done, bytes.size() - done,
                                            static_cast<off_t>(*offset + done))
                                 : ::write(handle, bytes.data() + done, bytes.size() - done);
        if (n < 0) {
            if (errno == EINTR) {
                continue;
            }
            return lastError();
        }
        if (n == 0) {
            return std::make_error_code(std::errc::no_space_on_device);
        }
        done += static_cast<std::size_t>(n);
    }
    return {};
}

} // namespace

namespace native {

std::pair<FileDescriptor, std::uint64_t> openRegularFile(const std::filesystem::path& path,
                                                         Access access, std::error_code& error) {
    const int flags = access == Access::Read ? O_RDONLY : O_RDWR;
    FileDescriptor handle(::open(path.c_str(), flags | O_CLOEXEC));
    if (!handle.isOpen()) {
        error = lastError();
        return {};
    }
    const auto size = regularFileSize(fd(handle), error);
    if (!size) {
        return {};
    }
    return {std::move(handle), *size};
}

FileDescriptor createTruncated(const std::filesystem::path& path, std::error_code& error) {
    FileDescriptor handle(::open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0666));
    if (!handle.isOpen()) {
        error = lastError();
    }
    return handle;
}

FileDescriptor createScratch(const std::filesystem::path& folder, std::error_code& error) {
    FileDescriptor handle(::open(folder.c_str(), O_TMPFILE | O_RDWR | O_CLOEXEC, 0600));
    if (handle.isOpen()) {
        return handle;
    }
    if (errno != EOPNOTSUPP && errno != EISDIR && errno != EINVAL) {
        error = lastError();
        return handle;
    }
    // A file system without unnamed files (FAT, some network ones): a named
    // one, unlinked at once, so that it is gone when it is closed.
    static unsigned serial = 0;
    for (int attempt = 0; attempt < 100; ++attempt) {
        const std::filesystem::path name = folder / (".keldor-" + std::to_string(::getpid()) + "-" +
                                                     std::to_string(++serial) + ".tmp");
        handle = FileDescriptor(::open(name.c_str(), O_CREAT | O_EXCL | O_RDWR | O_CLOEXEC, 0600));
        if (handle.isOpen()) {
            ::unlink(name.c_str());
            return handle;
        }
        if (errno != EEXIST) {
            break;
        }
    }
    error = lastError();
    return handle;
}

std::optional<std::size_t> readAt(const FileDescriptor& file, std::uint64_t offset,
                                  std::span<char> out) {
    std::size_t done = 0;
    while (done < out.size()) {
        const ssize_t n = ::pread(fd(file), out.data() + done, out.size() - done,
                                  static_cast<off_t>(offset + done));
        if (n < 0) {
            if (errno == EINTR) {
                continue;
            }
            return std::nullopt;
        }
        if (n == 0) {
            break;
        }
        done += static_cast<std::size_t>(n);
    }
    return done;
}

std::error_code writeAt(const FileDescriptor& file, std::uint64_t offset, ByteView bytes) {
    return writeAll(fd(file), offset, bytes);
}

std::error_code append(const FileDescriptor& file, ByteView bytes) {
    return writeAll(fd(file), std::nullopt, bytes);
}

std::error_code closeHandle(std::intptr_t handle) {
    return ::close(static_cast<int>(handle)) != 0 ? lastError() : std::error_code{};
}

} // namespace native

std::vector<FolderEntry> listFiles(const std::filesystem::path& folder) {
    std::vector<FolderEntry> files;
    std::error_code error;
    for (std::filesystem::directory_iterator it(folder, error), end; !error && it != end;
         it.increment(error)) {
        std::error_code entryError;
        if (!it->is_regular_file(entryError)) {
            continue;
        }
        const std::uintmax_t size = it->file_size(entryError);
        files.push_back(FolderEntry{pathText(it->path().filename()),
                                    entryError ? 0 : static_cast<std::uint64_t>(size)});
    }
    return files;
}

bool makeFolder(const std::filesystem::path& folder) {
    if (::mkdir(folder.c_str(), 0777) == 0) {
        return true;
    }
    struct stat info {};
    return ::stat(folder.c_str(), &info) == 0 && S_ISDIR(info.st_mode);
}

NewFolder createNewFolder(const std::filesystem::path& folder, std::error_code& error) {
    if (::mkdir(folder.c_str(), 0777) == 0) {
        return NewFolder::Created;
    }
    if (errno == EEXIST) {
        return NewFolder::AlreadyThere;
    }
    error = lastError();
    return NewFolder::Failed;
}

Text errorReason(const std::error_code& error) {
    return fromUtf8(error.message());
}

} // namespace keldor::platform
