// The file classes on top of each system's calls (native_files.h): the
// bounds, the buffering and the first-error rule are the same everywhere.

#include "platform/files.h"

#include "platform/native_files.h"

#include <utility>

namespace keldor::platform {

namespace {
constexpr std::size_t kOutputBufferSize = 64 * 1024;
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
    if (!isOpen()) {
        return {};
    }
    const std::intptr_t handle = handle_;
    handle_ = -1;
    return native::closeHandle(handle);
}

std::optional<ReadOnlyFile> ReadOnlyFile::open(const std::filesystem::path& path,
                                               std::error_code& error) {
    auto [handle, size] = native::openRegularFile(path, native::Access::Read, error);
    if (!handle.isOpen()) {
        return std::nullopt;
    }
    return ReadOnlyFile(std::move(handle), size);
}

std::optional<std::size_t> ReadOnlyFile::readAt(std::uint64_t offset, std::span<char> out) const {
    return native::readAt(handle_, offset, out);
}

std::optional<ReadWriteFile> ReadWriteFile::open(const std::filesystem::path& path,
                                                 std::error_code& error) {
    auto [handle, size] = native::openRegularFile(path, native::Access::ReadWrite, error);
    if (!handle.isOpen()) {
        return std::nullopt;
    }
    return ReadWriteFile(std::move(handle), size);
}

std::optional<std::size_t> ReadWriteFile::readAt(std::uint64_t offset, std::span<char> out) const {
    if (!handle_.isOpen()) {
        return std::nullopt;
    }
    return native::readAt(handle_, offset, out);
}

std::error_code ReadWriteFile::writeAt(std::uint64_t offset, ByteView bytes) {
    if (!handle_.isOpen()) {
        return std::make_error_code(std::errc::bad_file_descriptor);
    }
    if (offset > size_ || bytes.size() > size_ - offset) {
        return std::make_error_code(std::errc::invalid_argument);
    }
    return native::writeAt(handle_, offset, bytes);
}

std::error_code ReadWriteFile::close() {
    return handle_.close();
}

std::optional<OutputFile> OutputFile::create(const std::filesystem::path& path,
                                             std::error_code& error) {
    FileDescriptor handle = native::createTruncated(path, error);
    if (!handle.isOpen()) {
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
    if (!error_ && !buffer_.empty()) {
        error_ = native::append(handle_, buffer_);
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

std::optional<ScratchFile> ScratchFile::create(const std::filesystem::path& folder,
                                               std::error_code& error) {
    FileDescriptor handle = native::createScratch(folder, error);
    if (!handle.isOpen()) {
        return std::nullopt;
    }
    return ScratchFile(std::move(handle));
}

std::error_code ScratchFile::append(ByteView bytes) {
    const std::error_code error = native::writeAt(handle_, size_, bytes);
    if (!error) {
        size_ += bytes.size();
    }
    return error;
}

std::optional<std::size_t> ScratchFile::readAt(std::uint64_t offset, std::span<char> out) const {
    return native::readAt(handle_, offset, out);
}

} // namespace keldor::platform
