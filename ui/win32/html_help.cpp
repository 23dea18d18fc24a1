#include "ui/win32/html_help.h"

namespace keldor::ui::win32 {

namespace {

constexpr UINT kDisplayTopic = 0x0000; // HH_DISPLAY_TOPIC
constexpr UINT kCloseAll = 0x0012;     // HH_CLOSE_ALL

} // namespace

HtmlHelp::~HtmlHelp() {
    if (module_ != nullptr) {
        ::FreeLibrary(module_);
    }
}

bool HtmlHelp::load() {
    if (function_ == nullptr && module_ == nullptr) {
        module_ = ::LoadLibraryW(L"hhctrl.ocx");
        if (module_ != nullptr) {
            function_ = reinterpret_cast<HtmlHelpFunction>(
                reinterpret_cast<void*>(::GetProcAddress(module_, "HtmlHelpW")));
        }
    }
    return function_ != nullptr;
}

bool HtmlHelp::displayTopic(HWND owner, const Text& file) {
    const std::wstring path = wide(file);
    const DWORD attributes = ::GetFileAttributesW(path.c_str());
    if (attributes == INVALID_FILE_ATTRIBUTES || (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0) {
        return false;
    }
    if (!load()) {
        return false;
    }
    return function_(owner, path.c_str(), kDisplayTopic, 0) != nullptr;
}

void HtmlHelp::closeAll() {
    if (function_ != nullptr) {
        function_(nullptr, nullptr, kCloseAll, 0);
    }
}

} // namespace keldor::ui::win32
