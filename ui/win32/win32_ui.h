#pragma once
// What the Win32 windows share: the Windows headers, text in and out of
// controls, owners for GDI objects, the DPI scale, and controls made from
// one-line descriptions.

#include "platform/bytes.h"
#include "platform/win/win32.h"

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

// The bold italic Latin font of the product banner, `points` high.
UniqueFont bannerFont(int points, const DpiScale& scale);

// Gives `window` a client area of `width` x `height` pixels at 96 DPI
// (besides its frame and menu), then centres it on `over` as centreWindow does.
void sizeAndCentre(HWND window, int width, int height, const DpiScale& scale, HWND over);

// The object behind a dialog, handed over as the lParam of WM_INITDIALOG
// and kept with the dialog; nullptr before that message and after the
// dialog's WM_NCDESTROY.
template <typename Window> Window* dialogObject(HWND dialog, UINT message, LPARAM lParam) {
    if (message == WM_INITDIALOG) {
        ::SetWindowLongPtrW(dialog, DWLP_USER, lParam);
    }
    auto* object = reinterpret_cast<Window*>(::GetWindowLongPtrW(dialog, DWLP_USER));
    if (message == WM_NCDESTROY) {
        ::SetWindowLongPtrW(dialog, DWLP_USER, 0);
    }
    return object;
}

} // namespace keldor::ui::win32
