#include "ui/win32/frm_about.h"

#include "ui/about_texts.h"
#include "ui/captions.h"
#include "ui/win32/panel.h"
#include "ui/win32/resource.h"

namespace keldor::ui::win32 {

namespace {

constexpr int kWidth = 440;
constexpr int kHeight = 360;
constexpr int kHeaderHeight = 64;
constexpr int kSeparatorY = 292;
constexpr int kImageSize = 32;

// The description box shows CR LF line breaks as they are.
constexpr DWORD kDescriptionBox = WS_TABSTOP | WS_VSCROLL | ES_MULTILINE | ES_READONLY;

// clang-format off
// Controls of the header band, inside picHeader.
const ControlSpec kHeaderControls[] = {
    {frmAbout::Image1, L"STATIC", nullptr, SS_ICON | SS_CENTERIMAGE, 0, 14, 16, kImageSize, kImageSize},
    {frmAbout::lblHeaderTitle, L"STATIC", kApplicationTitle, SS_LEFT | SS_NOPREFIX, 0, 64, 8, 240, 30},
    {frmAbout::lblBanner, L"STATIC", kBanner, SS_LEFT | SS_NOPREFIX, 0, 64, 38, 360, 20},
};

const ControlSpec kControls[] = {
    {frmAbout::lblTitle, L"STATIC", nullptr, SS_LEFT | SS_NOPREFIX, 0, 16, 74, 408, 20},
    {frmAbout::lblVersion, L"STATIC", nullptr, SS_LEFT | SS_NOPREFIX, 0, 16, 96, 408, 20},
    {frmAbout::lblDescription, L"STATIC", about_captions::lblDescription, SS_LEFT | SS_NOPREFIX, 0, 16, 122, 408, 18},
    {frmAbout::txtDescription, L"EDIT", nullptr, kDescriptionBox, WS_EX_CLIENTEDGE, 16, 142, 408, 118},
    {frmAbout::lblCopyright, L"STATIC", nullptr, SS_LEFT | SS_NOPREFIX, 0, 16, 266, 408, 18},
    // The etched double line: dark over light, one pixel apart (placed at load).
    {frmAbout::linSeparetor0, L"STATIC", nullptr, SS_GRAYRECT, 0, 0, kSeparatorY, kWidth, 1},
    {frmAbout::linSeparetor1, L"STATIC", nullptr, SS_WHITERECT, 0, 0, kSeparatorY + 1, kWidth, 1},
    {frmAbout::lblDisclaimer, L"STATIC", nullptr, SS_LEFT | SS_NOPREFIX, 0, 16, 298, 300, 54},
    {frmAbout::cmdOK, L"BUTTON", about_captions::cmdOK, WS_TABSTOP | BS_DEFPUSHBUTTON, 0, kWidth - 104, kHeight - 44, 88, 28},
};
// clang-format on

} // namespace

void frmAbout::showModal(HWND owner) {
    ::DialogBoxParamW(::GetModuleHandleW(nullptr), MAKEINTRESOURCEW(IDD_frmAbout), owner,
                      dialogProc, reinterpret_cast<LPARAM>(this));
}

INT_PTR CALLBACK frmAbout::dialogProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    auto* self = dialogObject<frmAbout>(window, message, lParam);
    if (self == nullptr) {
        return FALSE;
    }
    switch (message) {
    case WM_INITDIALOG:
        self->create(window);
        ::SetFocus(::GetDlgItem(window, cmdOK));
        return FALSE;
    case WM_COMMAND:
        if (LOWORD(wParam) == IDOK || LOWORD(wParam) == IDCANCEL) {
            ::EndDialog(window, IDOK);
            return TRUE;
        }
        return FALSE;
    case WM_NCDESTROY:
        self->window_ = nullptr;
        return FALSE;
    default:
        return FALSE;
    }
}

void frmAbout::create(HWND window) {
    window_ = window;
    const DpiScale scale;
    auto* font = reinterpret_cast<HFONT>(::SendMessageW(window_, WM_GETFONT, 0, 0));
    titleFont_ = derivedFont(font, true, 16.0 / 9.0);
    boldFont_ = derivedFont(font, true, 1.0);
    smallFont_ = derivedFont(font, false, 0.85);
    bannerFont_ = bannerFont(9, scale);

    HWND header = createPanel(window_, picHeader, rgbColour(255, 255, 255), 0, 0, kWidth,
                              kHeaderHeight, scale);
    for (const ControlSpec& spec : kHeaderControls) {
        HFONT controlFont = spec.id == lblHeaderTitle ? titleFont_.get()
                            : spec.id == lblBanner    ? bannerFont_.get()
                                                      : font;
        createControl(header, spec, controlFont, scale);
    }
    for (const ControlSpec& spec : kControls) {
        HFONT controlFont = spec.id == lblTitle        ? boldFont_.get()
                            : spec.id == lblDisclaimer ? smallFont_.get()
                                                       : font;
        createControl(window_, spec, controlFont, scale);
    }
    auto* icon = static_cast<HICON>(::LoadImageW(::GetModuleHandleW(nullptr),
                                                 MAKEINTRESOURCEW(IDI_KELDOR), IMAGE_ICON,
                                                 scale(kImageSize), scale(kImageSize), LR_SHARED));
    ::SendMessageW(findControl(header, Image1), STM_SETICON, reinterpret_cast<WPARAM>(icon), 0);

    sizeAndCentre(window_, kWidth, kHeight, scale, ::GetWindow(window_, GW_OWNER));
    load();
}

void frmAbout::load() {
    paintGradient(::GetDlgItem(window_, picHeader), kHeaderLeftColour, kHeaderRightColour,
                  GradientMode::Horizontal);
    setWindowText(window_, kApplicationTitle);
    setWindowText(::GetDlgItem(window_, lblCopyright), aboutRightsLine());
    setWindowText(::GetDlgItem(window_, lblTitle), aboutTitleLine(kApplicationTitle));
    setWindowText(::GetDlgItem(window_, lblVersion),
                  aboutVersionLine(kApplicationTitle, programVersion()));
    setWindowText(::GetDlgItem(window_, txtDescription),
                  aboutDescription(kApplicationTitle, programVersion()));
    setWindowText(::GetDlgItem(window_, lblDisclaimer), aboutDisclaimer());

    // Both lines span the box's inner width; line 1 sits one pixel below line 0.
    RECT inner{};
    ::GetClientRect(window_, &inner);
    HWND line0 = ::GetDlgItem(window_, linSeparetor0);
    RECT place{};
    ::GetWindowRect(line0, &place);
    ::MapWindowPoints(nullptr, window_, reinterpret_cast<POINT*>(&place), 2);
    ::SetWindowPos(line0, nullptr, 0, place.top, inner.right, 1, SWP_NOZORDER | SWP_NOACTIVATE);
    ::SetWindowPos(::GetDlgItem(window_, linSeparetor1), nullptr, 0, place.top + 1, inner.right, 1,
                   SWP_NOZORDER | SWP_NOACTIVATE);
}

} // namespace keldor::ui::win32
