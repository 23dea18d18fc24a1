#pragma once
// The modal about box on the Win32 API: product title, version,
// description, rights line and legal notice under the header gradient.

#include "ui/win32/win32_ui.h"

namespace keldor::ui::win32 {

class frmAbout {
public:
    enum Control : int {
        picHeader = 1201,
        Image1,
        lblHeaderTitle,
        lblBanner,
        lblTitle,
        lblVersion,
        lblDescription,
        txtDescription,
        lblCopyright,
        linSeparetor0,
        linSeparetor1,
        lblDisclaimer,
        cmdOK = IDOK, // default and cancel button: Enter and Esc
    };

    frmAbout() = default;
    frmAbout(const frmAbout&) = delete;
    frmAbout& operator=(const frmAbout&) = delete;

    // Shows the box modally over `owner`, centred on it, until OK, Enter or Esc.
    void showModal(HWND owner);
    // The box while it is shown, or nullptr.
    [[nodiscard]] HWND handle() const { return window_; }

private:
    static INT_PTR CALLBACK dialogProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
    void create(HWND window);
    void load();

    HWND window_ = nullptr;
    UniqueFont titleFont_;
    UniqueFont boldFont_;
    UniqueFont bannerFont_;
    UniqueFont smallFont_;
};

} // namespace keldor::ui::win32
