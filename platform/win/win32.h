#pragma once
// What the Windows side of the platform layer shares: owners for handles,
// the long form of a path, and the last error as a std::error_code.

#ifndef NOMINMAX
#define NOMINMAX
#endif
#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif
#include <windows.h>

#include <filesystem>
#include <string>
#include <system_error>

namespace keldor::platform::win {

// GetLastError() at the place it is called, as an error code.
inline std::error_code lastError() {
    return {static_cast<int>(::GetLastError()), std::system_category()};
}

// A kernel object handle (file, process), closed when the owner goes.
class UniqueHandle {
public:
    UniqueHandle() = default;
    explicit UniqueHandle(HANDLE handle) : handle_(handle) {}
    UniqueHandle(UniqueHandle&& other) noexcept : handle_(other.release()) {}
    UniqueHandle& operator=(UniqueHandle&& other) noexcept {
        if (this != &other) {
            reset(other.release());
        }
        return *this;
    }
    UniqueHandle(const UniqueHandle&) = delete;
    UniqueHandle& operator=(const UniqueHandle&) = delete;
    ~UniqueHandle() { reset(); }

    [[nodiscard]] HANDLE get() const { return handle_; }
    [[nodiscard]] bool isValid() const {
        return handle_ != nullptr && handle_ != INVALID_HANDLE_VALUE;
    }
    HANDLE release() {
        HANDLE handle = handle_;
        handle_ = INVALID_HANDLE_VALUE;
        return handle;
    }
    void reset(HANDLE handle = INVALID_HANDLE_VALUE) {
        if (isValid()) {
            ::CloseHandle(handle_);
        }
        handle_ = handle;
    }

private:
    HANDLE handle_ = INVALID_HANDLE_VALUE;
};

// A FindFirstFileW search, closed when the owner goes.
class UniqueFindHandle {
public:
    explicit UniqueFindHandle(HANDLE handle) : handle_(handle) {}
    UniqueFindHandle(const UniqueFindHandle&) = delete;
    UniqueFindHandle& operator=(const UniqueFindHandle&) = delete;
    ~UniqueFindHandle() {
        if (isValid()) {
            ::FindClose(handle_);
        }
    }
    [[nodiscard]] HANDLE get() const { return handle_; }
    [[nodiscard]] bool isValid() const { return handle_ != INVALID_HANDLE_VALUE; }

private:
    HANDLE handle_;
};

// The path in the form the wide file functions take beyond MAX_PATH: made
// absolute and normalised by the system (separators, "." and ".."), then
// prefixed with \\?\ (\\?\UNC\ for a share). Already prefixed paths and
// device paths are passed as they are.
std::wstring longPath(const std::filesystem::path& path);

// True when the program runs under Wine rather than on Windows itself.
bool runsOnWine();

} // namespace keldor::platform::win
