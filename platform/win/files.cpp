#include "platform/native_files.h"
#include "platform/win/win32.h"

#include <algorithm>
#include <string>
#include <utility>

namespace keldor::platform {

namespace {
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

// All of `bytes`, at `offset` when one is given, else at the file's position.
std::error_code writeAll(HANDLE handle, std::optional<std::uint64_t> offset, ByteView bytes) {
    std::size_t done = 0;
    while (done < bytes.size()) {
        OVERLAPPED position = offset ? at(*offset + done) : OVERLAPPED{};
        DWORD written = 0;
        const DWORD wanted = static_cast<DWORD>(std::min(bytes.size() - done, kMaxTransfer));
        if (!::WriteFile(handle, bytes.data() + done, wanted, &written,
                         offset ? &position : nullptr)) {
            return win::lastError();
        }
        if (written == 0) {
            return std::make_error_code(std::errc::no_space_on_device);
        }
        done += written;
    }
    return {};
}
} // namespace

namespace native {

std::pair<FileDescriptor, std::uint64_t> openRegularFile(const std::filesystem::path& path,
                                                         Access access, std::error_code& error) {
    const DWORD rights = access == Access::Read ? GENERIC_READ : GENERIC_READ | GENERIC_WRITE;
    // FILE_SHARE_READ only: others may read the mailbox meanwhile, nobody
    // may write it; a file someone holds open for writing is refused.
    FileDescriptor handle(
        toDescriptor(::CreateFileW(win::longPath(path).c_str(), rights, FILE_SHARE_READ, nullptr,
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

FileDescriptor createTruncated(const std::filesystem::path& path, std::error_code& error) {
    FileDescriptor handle(
        toDescriptor(::CreateFileW(win::longPath(path).c_str(), GENERIC_WRITE, FILE_SHARE_READ,
                                   nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr)));
    if (!handle.isOpen()) {
        error = win::lastError();
    }
    return handle;
}

FileDescriptor createScratch(const std::filesystem::path& folder, std::error_code& error) {
    // Hidden, kept in memory where the system can, and deleted when the
    // handle closes, also when the process ends without closing it.
    static unsigned serial = 0;
    for (int attempt = 0; attempt < 100; ++attempt) {
        const std::filesystem::path name =
            folder / (L"~keldor" + std::to_wstring(::GetCurrentProcessId()) + L"-" +
                      std::to_wstring(++serial) + L".tmp");
        FileDescriptor handle(toDescriptor(::CreateFileW(
            win::longPath(name).c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr, CREATE_NEW,
            FILE_ATTRIBUTE_TEMPORARY | FILE_ATTRIBUTE_HIDDEN | FILE_FLAG_DELETE_ON_CLOSE,
            nullptr)));
        if (handle.isOpen()) {
            return handle;
        }
        const std::error_code failure = win::lastError();
        if (failure.value() != ERROR_FILE_EXISTS && failure.value() != ERROR_ALREADY_EXISTS) {
            error = failure;
            return handle;
        }
    }
    error = std::make_error_code(std::errc::file_exists);
    return {};
}

std::optional<std::size_t> readAt(const FileDescriptor& file, std::uint64_t offset,
                                  std::span<char> out) {
    std::size_t done = 0;
    while (done < out.size()) {
        OVERLAPPED position = at(offset + done);
        DWORD got = 0;
        const DWORD wanted = static_cast<DWORD>(std::min(out.size() - done, kMaxTransfer));
        if (!::ReadFile(nativeHandle(file), out.data() + done, wanted, &got, &position)) {
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

std::error_code writeAt(const FileDescriptor& file, std::uint64_t offset, ByteView bytes) {
    return writeAll(nativeHandle(file), offset, bytes);
}

std::error_code append(const FileDescriptor& file, ByteView bytes) {
    return writeAll(nativeHandle(file), std::nullopt, bytes);
}

std::error_code closeHandle(std::intptr_t handle) {
    return ::CloseHandle(reinterpret_cast<HANDLE>(handle)) ? std::error_code{} : win::lastError();
}

} // namespace native

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
