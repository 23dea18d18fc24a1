#include "platform/files.h"

#include "platform/win/win32.h"

#include <algorithm>
#include <limits>
#include <utility>

namespace keldor::platform {

namespace {
constexpr std::size_t kOutputBufferSize = 64 * 1024;
// ReadFile and WriteFile take a 32-bit count.
constexpr std::size_t kMaxTransfer = 1u << 30;

HANDLE nativeHandle(const FileDescriptor& handle) {
    return reinterpret_cast<HANDLE>(handle.get());
}

std::intptr_t toDescriptor(HANDLE handle) {
    return reinterpret_cast<std::intptr_t>(handle);
}

OVERLAPPED at(std::uint64_t offset) {
    OVERLAPPED position{};
    position.Offset = static_cast<DWORD>(offset & 0xFFFFFFFFu);
    position.OffsetHigh = static_cast<DWORD>(offset >> 32);
    return position;
}

std::optional<std::size_t> readAllAt(HANDLE handle, std::uint64_t offset, std::span<char> out) {
    std::size_t done = 0;
    while (done < out.size()) {
        OVERLAPPED position = at(offset + done);
        DWORD got = 0;
        const DWORD wanted = static_cast<DWORD>(std::min(out.size() - done, kMaxTransfer));
        if (!::ReadFile(handle, out.data() + done, wanted, &got, &position)) {
            if (::GetLastError() == ERROR_HANDLE_EOF) {
                break;
            }
            return std::nullopt;
        }
        if (got == 0) {
            break;
        }
        done += got;
    }
    return done;
}

// Opens an existing regular file; a closed descriptor (with the reason in
// `error`) when it cannot be opened or is a folder or a device.
std::pair<FileDescriptor, std::uint64_t> openRegularFile(const std::filesystem::path& path,
                                                         DWORD access, std::error_code& error) {
    // FILE_SHARE_READ only: others may read the mailbox meanwhile, nobody
    // may write it; a file someone holds open for writing is refused.
    FileDescriptor handle(
        toDescriptor(::CreateFileW(win::longPath(path).c_str(), access, FILE_SHARE_READ, nullptr,
                                   OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr)));
    if (!handle.isOpen()) {
        // A folder cannot be opened without FILE_FLAG_BACKUP_SEMANTICS; say
        // so as on Linux rather than "access denied".
        const std::error_code openError = win::lastError();
        const DWORD attributes = ::GetFileAttributesW(win::longPath(path).c_str());
        error = attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY)
                    ? std::make_error_code(std::errc::is_a_directory)
                    : openError;
        return {};
    }
    if (::GetFileType(nativeHandle(handle)) != FILE_TYPE_DISK) {
        error = std::make_error_code(std::errc::invalid_argument);
        return {};
    }
    BY_HANDLE_FILE_INFORMATION info{};
    if (!::GetFileInformationByHandle(nativeHandle(handle), &info)) {
        error = win::lastError();
        return {};
    }
    if (info.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) {
        error = std::make_error_code(std::errc::is_a_directory);
        return {};
    }
    const std::uint64_t size =
        (static_cast<std::uint64_t>(info.nFileSizeHigh) << 32) | info.nFileSizeLow;
    return {std::move(handle), size};
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
    if (!isOpen()) {
        return {};
    }
    const BOOL closed = ::CloseHandle(reinterpret_cast<HANDLE>(handle_));
    handle_ = -1;
    return closed ? std::error_code{} : win::lastError();
}

std::optional<ReadOnlyFile> ReadOnlyFile::open(const std::filesystem::path& path,
                                               std::error_code& error) {
    auto [handle, size] = openRegularFile(path, GENERIC_READ, error);
    if (!handle.isOpen()) {
        return std::nullopt;
    }
    return ReadOnlyFile(std::move(handle), size);
}

std::optional<std::size_t> ReadOnlyFile::readAt(std::uint64_t offset, std::span<char> out) const {
    return readAllAt(nativeHandle(handle_), offset, out);
}

std::optional<ReadWriteFile> ReadWriteFile::open(const std::filesystem::path& path,
                                                 std::error_code& error) {
    auto [handle, size] = openRegularFile(path, GENERIC_READ | GENERIC_WRITE, error);
    if (!handle.isOpen()) {
        return std::nullopt;
    }
    return ReadWriteFile(std::move(handle), size);
}

std::optional<std::size_t> ReadWriteFile::readAt(std::uint64_t offset, std::span<char> out) const {
    if (!handle_.isOpen()) {
        return std::nullopt;
    }
    return readAllAt(nativeHandle(handle_), offset, out);
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
        OVERLAPPED position = at(offset + done);
        DWORD written = 0;
        const DWORD wanted = static_cast<DWORD>(std::min(bytes.size() - done, kMaxTransfer));
        if (!::WriteFile(nativeHandle(handle_), bytes.data() + done, wanted, &written, &position)) {
            return win::lastError();
        }
        if (written == 0) {
            return std::make_error_code(std::errc::no_space_on_device);
        }
        done += written;
    }
    return {};
}

std::error_code ReadWriteFile::close() {
    return handle_.close();
}

std::optional<OutputFile> OutputFile::create(const std::filesystem::path& path,
                                             std::error_code& error) {
    FileDescriptor handle(
        toDescriptor(::CreateFileW(win::longPath(path).c_str(), GENERIC_WRITE, FILE_SHARE_READ,
                                   nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr)));
    if (!handle.isOpen()) {
        error = win::lastError();
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
        DWORD written = 0;
        const DWORD wanted = static_cast<DWORD>(std::min(buffer_.size() - done, kMaxTransfer));
        if (!::WriteFile(nativeHandle(handle_), buffer_.data() + done, wanted, &written, nullptr)) {
            error_ = win::lastError();
            break;
        }
        if (written == 0) {
            error_ = std::make_error_code(std::errc::no_space_on_device);
            break;
        }
        done += written;
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
    std::wstring pattern = win::longPath(folder);
    if (!pattern.ends_with(L'\\')) {
        pattern += L'\\';
    }
    pattern += L'*';
    WIN32_FIND_DATAW found{};
    const win::UniqueFindHandle search(::FindFirstFileExW(pattern.c_str(), FindExInfoBasic, &found,
                                                          FindExSearchNameMatch, nullptr, 0));
    if (!search.isValid()) {
        return files;
    }
    do {
        if (found.dwFileAttributes & (FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_DEVICE)) {
            continue;
        }
        const std::uint64_t size =
            (static_cast<std::uint64_t>(found.nFileSizeHigh) << 32) | found.nFileSizeLow;
        files.push_back(
            FolderEntry{Text(found.cFileName, found.cFileName + ::wcslen(found.cFileName)), size});
    } while (::FindNextFileW(search.get(), &found));
    return files;
}

bool makeFolder(const std::filesystem::path& folder) {
    const std::wstring path = win::longPath(folder);
    if (::CreateDirectoryW(path.c_str(), nullptr)) {
        return true;
    }
    const DWORD attributes = ::GetFileAttributesW(path.c_str());
    return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY);
}

NewFolder createNewFolder(const std::filesystem::path& folder, std::error_code& error) {
    if (::CreateDirectoryW(win::longPath(folder).c_str(), nullptr)) {
        return NewFolder::Created;
    }
    const std::error_code failure = win::lastError();
    if (failure.value() == ERROR_ALREADY_EXISTS || failure.value() == ERROR_FILE_EXISTS) {
        return NewFolder::AlreadyThere;
    }
    error = failure;
    return NewFolder::Failed;
}

Text errorReason(const std::error_code& error) {
    if (error.category() != std::system_category()) {
        std::string message = error.message();
        return Text(message.begin(), message.end()); // the C library's texts are ASCII
    }
    wchar_t* buffer = nullptr;
    const DWORD length = ::FormatMessageW(
        FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS,
        nullptr, static_cast<DWORD>(error.value()), 0, reinterpret_cast<wchar_t*>(&buffer), 0,
        nullptr);
    Text reason;
    if (length != 0 && buffer != nullptr) {
        reason.assign(buffer, buffer + length);
    }
    ::LocalFree(buffer);
    while (!reason.empty() && (reason.back() == u'\r' || reason.back() == u'\n' ||
                               reason.back() == u' ' || reason.back() == u'.')) {
        reason.pop_back();
    }
    if (reason.empty()) {
        std::string code = "Windows error " + std::to_string(error.value());
        reason.assign(code.begin(), code.end());
    }
    return reason;
}

} // namespace keldor::platform
