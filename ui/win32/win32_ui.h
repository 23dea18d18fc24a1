#pragma once
// What the Win32 windows share: the Windows headers, text in and out of
// controls, owners for GDI objects, the DPI scale, and controls made from
// one-line descriptions.

#ifndef NOMINMAX
#define NOMINMAX
#endif
#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif
#include <windows.h>

#include "platform/bytes.h"

#include <string>

namespace keldor::ui::win32 {

// Text is UTF-16 and so is wchar_t on Windows: the conversions only change
// the code unit type.
inline std::wstring wide(TextView text) {
    return std::wstring(text.begin(), text.end());
}
inline Text fromWide(std::wstring_view text) {
    return Text(text.begin(), text.end());
}

// The whole text of a window or control.
Text windowText(HWND window);
void setWindowText(HWND window, TextView text);

// A GDI object (font, brush, bitmap), deleted when the owner goes.
template <typename Handle> class GdiObject {
public:
    GdiObject() = default;
    explicit GdiObject(Handle handle) : handle_(handle) {}
    GdiObject(GdiObject&& other) noexcept : handle_(other.handle_) { other.handle_ = nullptr; }
    GdiObject& operator=(GdiObject&& other) noexcept {
        if (this != &other) {
            reset(other.handle_);
            other.handle_ = nullptr;
        }
        return *this;
    }
    GdiObject(const GdiObject&) = delete;
    GdiObject& operator=(const GdiObject&) = delete;
    ~GdiObject() { reset(); }

    [[nodiscard]] Handle get() const { return handle_; }
    void reset(Handle handle = nullptr) {
        if (handle_ != nullptr) {
            ::DeleteObject(handle_);
        }
        handle_ = handle;
    }

private:
    Handle handle_ = nullptr;
};

using UniqueFont = GdiObject<HFONT>;
using UniqueBrush = GdiObject<HBRUSH>;
using UniqueBitmap = GdiObject<HBITMAP>;

// The screen's pixels per inch against the 96 of the layouts.
class DpiScale {
public:
    DpiScale();
    [[nodiscard]] int operator()(int pixelsAt96) const;
    [[nodiscard]] int dpi() const { return dpi_; }

private:
    int dpi_ = 96;
};

// A control of a window, as the window's layout table gives it: place and
// size in pixels at 96 DPI, relative to its parent.
struct ControlSpec {
    int id;
    const wchar_t* className;
    const char16_t* caption; // nullptr: no caption
    DWORD style;             // beside WS_CHILD | WS_VISIBLE
    DWORD exStyle;
    int x, y, width, height;
};

// Creates the control in `parent` with `font`, scaled by `scale`.
HWND createControl(HWND parent, const ControlSpec& spec, HFONT font, const DpiScale& scale);

// The control `id` anywhere below `root` (inside panels too), or nullptr.
HWND findControl(HWND root, int id);

// Places `window` (outer size) centred on `over`'s rectangle, or on the work
// area of the primary monitor when `over` is nullptr.
void centreWindow(HWND window, HWND over);

// A font like `base`, in bold and `scale` times its height.
UniqueFont derivedFont(HFONT base, bool bold, double scale);

} // namespace keldor::ui::win32
