#include "platform/win/win32.h"

#include <vector>

namespace keldor::platform::win {

std::wstring longPath(const std::filesystem::path& path) {
    const std::wstring& given = path.native();
    if (given.empty() || given.starts_with(L"\\\\?\\") || given.starts_with(L"\\\\.\\")) {
        return given;
    }
    // GetFullPathNameW works on any length; it tells the size it needs.
    std::vector<wchar_t> full(given.size() + MAX_PATH);
    for (;;) {
        const DWORD length = ::GetFullPathNameW(given.c_str(), static_cast<DWORD>(full.size()),
                                                full.data(), nullptr);
        if (length == 0) {
            return given;
        }
        if (length < full.size()) {
            full.resize(length);
            break;
        }
        full.resize(length + 1);
    }
    std::wstring absolute(full.begin(), full.end());
    if (absolute.starts_with(L"\\\\")) {
        return L"\\\\?\\UNC\\" + absolute.substr(2);
    }
    return L"\\\\?\\" + absolute;
}

bool runsOnWine() {
    const HMODULE ntdll = ::GetModuleHandleW(L"ntdll.dll");
    return ntdll != nullptr && ::GetProcAddress(ntdll, "wine_get_version") != nullptr;
}

} // namespace keldor::platform::win
