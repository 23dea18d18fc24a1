#include "platform/files.h"

#include "platform/text.h"

#include <cerrno>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#include <utility>

namespace keldor::platform {

namespace {
constexpr std::size_t kOutputBufferSize = 64 * 1024;

std::error_code lastError() {
    return {errno, std::generic_category()};
}

int fd(const FileDescriptor& handle) {
    return static_cast<int>(handle.get());
}

std::optional<std::size_t> readAllAt(int handle, std::uint64_t offset, std::span<char> out) {
    std::size_t done = 0;
    while (done < out.size()) {
        const ssize_t n = ::pread(handle, out.data() + done, out.size() - done,
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
} // namespace

FileDescriptor& FileDescriptor::operator=(FileDescriptor&& other) noexcept {
    if (this != &other) {
        close();
        handle_ = other.handle_;
        other.handle_ = -1;
    }
    return *this;
}

std::error_code FileDescriptor::close() {
    if (handle_ < 0) {
        return {};
    }
    const int result = ::close(static_cast<int>(handle_));
    handle_ = -1;
    return result != 0 ? lastError() : std::error_code{};
}

namespace {
// Opens an existing regular file with `flags`; a closed descriptor (with
// the reason in `error`) when it cannot be opened or is something else.
std::pair<FileDescriptor, std::uint64_t> openRegularFile(const std::filesystem::path& path,
                                                         int flags, std::error_code& error) {
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
} // namespace

std::optional<ReadOnlyFile> ReadOnlyFile::open(const std::filesystem::path& path,
                                               std::error_code& error) {
    auto [handle, size] = openRegularFile(path, O_RDONLY, error);
    if (!handle.isOpen()) {
        return std::nullopt;
    }
    return ReadOnlyFile(std::move(handle), size);
}

std::optional<std::size_t> ReadOnlyFile::readAt(std::uint64_t offset, std::span<char> out) const {
    return readAllAt(fd(handle_), offset, out);
}

std::optional<ReadWriteFile> ReadWriteFile::open(const std::filesystem::path& path,
                                                 std::error_code& error) {
    auto [handle, size] = openRegularFile(path, O_RDWR, error);
    if (!handle.isOpen()) {
        return std::nullopt;
    }
    return ReadWriteFile(std::move(handle), size);
}

std::optional<std::size_t> ReadWriteFile::readAt(std::uint64_t offset, std::span<char> out) const {
    if (!handle_.isOpen()) {
        return std::nullopt;
    }
    return readAllAt(fd(handle_), offset, out);
}

std::error_code ReadWriteFile::writeAt(std::uint64_t offset, ByteView bytes) {
    if (!handle_.isOpen()) {
        return std::make_error_code(std::errc::bad_file_descriptor);
    }
    if (offset > size_ || bytes.size() > size_ - offset) {
        return std::make_error_code(std::errc::invalid_argument);
    }
    std::size_t done = 0;
    while (done < bytes.size()) {
        const ssize_t n = ::pwrite(fd(handle_), bytes.data() + done, bytes.size() - done,
                                   static_cast<off_t>(offset + done));
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

std::error_code ReadWriteFile::close() {
    return handle_.close();
}

std::optional<OutputFile> OutputFile::create(const std::filesystem::path& path,
                                             std::error_code& error) {
    FileDescriptor handle(::open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0666));
    if (!handle.isOpen()) {
        error = lastError();
        return std::nullopt;
    }
    return OutputFile(std::move(handle));
}

OutputFile& OutputFile::operator=(OutputFile&& other) noexcept {
    if (this != &other) {
        close();
        handle_ = std::move(other.handle_);
        buffer_ = std::move(other.buffer_);
        error_ = other.error_;
    }
    return *this;
}

OutputFile::~OutputFile() {
    close();
}

std::error_code OutputFile::write(ByteView bytes) {
    if (error_ || !handle_.isOpen()) {
        return error_ ? error_ : std::make_error_code(std::errc::bad_file_descriptor);
    }
    buffer_.append(bytes);
    if (buffer_.size() >= kOutputBufferSize) {
        return flush();
    }
    return {};
}

std::error_code OutputFile::flush() {
    std::size_t done = 0;
    while (!error_ && done < buffer_.size()) {
        const ssize_t n = ::write(fd(handle_), buffer_.data() + done, buffer_.size() - done);
        if (n < 0) {
            if (errno != EINTR) {
                error_ = lastError();
            }
            continue;
        }
        if (n == 0) {
            error_ = std::make_error_code(std::errc::no_space_on_device);
            break;
        }
        done += static_cast<std::size_t>(n);
    }
    buffer_.clear();
    return error_;
}

std::error_code OutputFile::close() {
    if (!handle_.isOpen()) {
        return error_;
    }
    flush();
    const std::error_code closed = handle_.close();
    if (closed && !error_) {
        error_ = closed;
    }
    return error_;
}

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
