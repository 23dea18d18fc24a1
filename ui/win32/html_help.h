#pragma once
// HTML Help, loaded from hhctrl.ocx when it is first needed, so that the
// program starts on a system without it.

#include "ui/win32/win32_ui.h"

namespace keldor::ui::win32 {

class HtmlHelp {
public:
    HtmlHelp() = default;
    HtmlHelp(const HtmlHelp&) = delete;
    HtmlHelp& operator=(const HtmlHelp&) = delete;
    ~HtmlHelp();

    // HH_DISPLAY_TOPIC of `file` over `owner`: false when the file does not
    // exist, HTML Help is missing, or no help window opened.
    bool displayTopic(HWND owner, const Text& file);
    // HH_CLOSE_ALL: every help window this program opened.
    void closeAll();

private:
    using HtmlHelpFunction = HWND(WINAPI*)(HWND, LPCWSTR, UINT, DWORD_PTR);
    bool load();

    HMODULE module_ = nullptr;
    HtmlHelpFunction function_ = nullptr;
};

} // namespace keldor::ui::win32
