#include "ui/win32/win32_ui.h"

#include <cmath>
#include <cwchar>
#include <vector>

namespace keldor::ui::win32 {

Text windowText(HWND window) {
    const int length = ::GetWindowTextLengthW(window);
    if (length <= 0) {
        return {};
    }
    std::vector<wchar_t> buffer(static_cast<std::size_t>(length) + 1);
    const int copied = ::GetWindowTextW(window, buffer.data(), static_cast<int>(buffer.size()));
    return fromWide(std::wstring_view(buffer.data(), static_cast<std::size_t>(copied)));
}

void setWindowText(HWND window, TextView text) {
    ::SetWindowTextW(window, wide(text).c_str());
}

DpiScale::DpiScale() {
    if (HDC screen = ::GetDC(nullptr)) {
        dpi_ = ::GetDeviceCaps(screen, LOGPIXELSY);
        ::ReleaseDC(nullptr, screen);
    }
    if (dpi_ <= 0) {
        dpi_ = 96;
    }
}

int DpiScale::operator()(int pixelsAt96) const {
    return ::MulDiv(pixelsAt96, dpi_, 96);
}

HWND createControl(HWND parent, const ControlSpec& spec, HFONT font, const DpiScale& scale) {
    const std::wstring caption = spec.caption != nullptr ? wide(spec.caption) : std::wstring();
    HWND control = ::CreateWindowExW(spec.exStyle, spec.className, caption.c_str(),
                                     WS_CHILD | WS_VISIBLE | spec.style, scale(spec.x),
                                     scale(spec.y), scale(spec.width), scale(spec.height), parent,
                                     reinterpret_cast<HMENU>(static_cast<INT_PTR>(spec.id)),
                                     ::GetModuleHandleW(nullptr), nullptr);
    if (control != nullptr && font != nullptr) {
        ::SendMessageW(control, WM_SETFONT, reinterpret_cast<WPARAM>(font), FALSE);
    }
    return control;
}

HWND findControl(HWND root, int id) {
    struct Search {
        int id;
        HWND found;
    } search{id, nullptr};
    // EnumChildWindows visits every descendant, so controls inside panels too.
    ::EnumChildWindows(
        root,
        [](HWND child, LPARAM data) -> BOOL {
            auto* s = reinterpret_cast<Search*>(data);
            if (::GetDlgCtrlID(child) == s->id) {
                s->found = child;
                return FALSE;
            }
            return TRUE;
        },
        reinterpret_cast<LPARAM>(&search));
    return search.found;
}

void centreWindow(HWND window, HWND over) {
    RECT area{};
    if (over == nullptr || !::GetWindowRect(over, &area) || ::IsIconic(over)) {
        ::SystemParametersInfoW(SPI_GETWORKAREA, 0, &area, 0);
    }
    RECT own{};
    ::GetWindowRect(window, &own);
    const int width = own.right - own.left;
    const int height = own.bottom - own.top;
    const int x = area.left + (area.right - area.left - width) / 2;
    const int y = area.top + (area.bottom - area.top - height) / 2;
    ::SetWindowPos(window, nullptr, x, y, 0, 0, SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
}

UniqueFont derivedFont(HFONT base, bool bold, double scale) {
    LOGFONTW font{};
    if (base == nullptr || ::GetObjectW(base, sizeof font, &font) == 0) {
        ::GetObjectW(::GetStockObject(DEFAULT_GUI_FONT), sizeof font, &font);
    }
    if (bold) {
        font.lfWeight = FW_BOLD;
    }
    font.lfHeight = static_cast<LONG>(std::lround(font.lfHeight * scale));
    return UniqueFont(::CreateFontIndirectW(&font));
}

UniqueFont bannerFont(int points, const DpiScale& scale) {
    LOGFONTW font{};
    font.lfHeight = -::MulDiv(points, scale.dpi(), 72);
    font.lfWeight = FW_BOLD;
    font.lfItalic = TRUE;
    font.lfCharSet = DEFAULT_CHARSET;
    std::wcscpy(font.lfFaceName, L"Arial");
    return UniqueFont(::CreateFontIndirectW(&font));
}

void sizeAndCentre(HWND window, int width, int height, const DpiScale& scale, HWND over) {
    RECT outer{0, 0, scale(width), scale(height)};
    ::AdjustWindowRectEx(&outer, static_cast<DWORD>(::GetWindowLongPtrW(window, GWL_STYLE)),
                         ::GetMenu(window) != nullptr,
                         static_cast<DWORD>(::GetWindowLongPtrW(window, GWL_EXSTYLE)));
    ::SetWindowPos(window, nullptr, 0, 0, outer.right - outer.left, outer.bottom - outer.top,
                   SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);
    centreWindow(window, over);
}

} // namespace keldor::ui::win32
