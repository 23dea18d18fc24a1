#include "ui/win32/frm_main.h"

#include "startup/mail_store_discovery.h"
#include "ui/captions.h"
#include "ui/win32/folder_browser.h"
#include "ui/win32/frm_about.h"
#include "ui/win32/frm_dbx.h"
#include "ui/win32/message_box.h"
#include "ui/win32/panel.h"
#include "ui/win32/resource.h"

#include <commctrl.h>
#include <shellapi.h>

#include <algorithm>
#include <iterator>

namespace keldor::ui::win32 {

namespace {

namespace captions = main_captions;
using engine::StatusControl;

constexpr int kWidth = 520;
constexpr int kHeaderHeight = 56;
constexpr int kFrameHeight = 282;
constexpr int kStatusHeight = 84;

constexpr Colour kFrameColour = rgbColour(255, 255, 255);
constexpr Colour kStatusColour = rgbColour(224, 224, 224);

constexpr DWORD kLabel = SS_LEFT;
constexpr DWORD kPathBox = WS_TABSTOP | ES_AUTOHSCROLL;
constexpr DWORD kCharacterBox = WS_TABSTOP | ES_CENTER | ES_AUTOHSCROLL;
constexpr DWORD kButton = WS_TABSTOP | BS_PUSHBUTTON;

struct PlacedControl {
    int panel;
    ControlSpec spec;
};

// Every control in creation order, which is also the tab order.
// clang-format off
const PlacedControl kControls[] = {
    {frmMain::picHeader, {frmMain::lblHeader, L"STATIC", captions::lblHeader, kLabel | SS_NOPREFIX, 0, 14, 8, 492, 22}},
    {frmMain::picHeader, {frmMain::lblBanner, L"STATIC", kBanner, SS_RIGHT | SS_NOPREFIX, 0, 14, 32, 492, 18}},

    {frmMain::picFrame, {frmMain::Label2, L"STATIC", captions::Label2, kLabel, 0, 12, 10, 496, 18}},
    {frmMain::picFrame, {frmMain::optDefault, L"BUTTON", nullptr, WS_TABSTOP | WS_GROUP | BS_AUTORADIOBUTTON, 0, 28, 32, 470, 22}},
    {frmMain::picFrame, {frmMain::optFolder, L"BUTTON", captions::optFolder, BS_AUTORADIOBUTTON, 0, 28, 54, 470, 22}},
    {frmMain::picFrame, {frmMain::txtDBXFile, L"EDIT", nullptr, kPathBox | WS_GROUP, WS_EX_CLIENTEDGE, 46, 79, 378, 24}},
    {frmMain::picFrame, {frmMain::cmdFindDBX, L"BUTTON", captions::cmdFindDBX, kButton, 0, 432, 78, 76, 26}},
    {frmMain::picFrame, {frmMain::Label5, L"STATIC", captions::Label5, kLabel, 0, 12, 114, 496, 18}},
    {frmMain::picFrame, {frmMain::txtEMLFolder, L"EDIT", nullptr, kPathBox, WS_EX_CLIENTEDGE, 28, 136, 396, 24}},
    {frmMain::picFrame, {frmMain::cmdFindEML, L"BUTTON", captions::cmdFindEML, kButton, 0, 432, 135, 76, 26}},
    {frmMain::picFrame, {frmMain::Label7, L"STATIC", captions::Label7, kLabel | SS_NOPREFIX, 0, 28, 164, 480, 36}},
    {frmMain::picFrame, {frmMain::Label1, L"STATIC", captions::Label1, kLabel, 0, 12, 206, 496, 18}},
    {frmMain::picFrame, {frmMain::Label3, L"STATIC", captions::Label3, kLabel, 0, 28, 233, 96, 20}},
    {frmMain::picFrame, {frmMain::txtNullAnk, L"EDIT", captions::txtNullAnk, kCharacterBox, WS_EX_CLIENTEDGE, 126, 229, 36, 24}},
    {frmMain::picFrame, {frmMain::Label4, L"STATIC", captions::Label4, kLabel, 0, 190, 233, 96, 20}},
    {frmMain::picFrame, {frmMain::txtNullKanji, L"EDIT", captions::txtNullKanji, kCharacterBox, WS_EX_CLIENTEDGE, 288, 229, 36, 24}},
    {frmMain::picFrame, {frmMain::Label6, L"STATIC", captions::Label6, kLabel, 0, 28, 258, 480, 18}},

    {frmMain::Picture1, {frmMain::lblMessage, L"STATIC", captions::lblMessage, kLabel | SS_NOPREFIX, 0, 12, 10, 396, 20}},
    {frmMain::Picture1, {frmMain::lblProc, L"STATIC", captions::lblProc, kLabel | SS_NOPREFIX, 0, 12, 10, 120, 20}},
    {frmMain::Picture1, {frmMain::lblRename, L"STATIC", captions::lblRename, kLabel | SS_NOPREFIX, 0, 12, 10, 120, 20}},
    {frmMain::Picture1, {frmMain::prgStatus, PROGRESS_CLASSW, nullptr, PBS_SMOOTH, 0, 12, 32, 340, 18}},
    {frmMain::Picture1, {frmMain::lblPercent, L"STATIC", captions::lblPercent, SS_RIGHT | SS_NOPREFIX, 0, 358, 33, 50, 18}},
    {frmMain::Picture1, {frmMain::lblStatus, L"STATIC", captions::lblStatus, kLabel | SS_NOPREFIX, 0, 12, 58, 396, 20}},
    {frmMain::Picture1, {frmMain::cmdStart, L"BUTTON", captions::cmdStart, WS_TABSTOP | BS_DEFPUSHBUTTON, 0, 420, 24, 88, 34}},
    {frmMain::Picture1, {frmMain::cmdStop, L"BUTTON", captions::cmdStop, kButton, 0, 420, 24, 88, 34}},
};
// clang-format on

constexpr int kHiddenAtStart[] = {frmMain::cmdStop,   frmMain::prgStatus, frmMain::lblPercent,
                                  frmMain::lblStatus, frmMain::lblProc,   frmMain::lblRename};

// The control of each StatusControl, in the enumeration's order.
constexpr int kStatusControls[] = {frmMain::lblMessage, frmMain::lblProc,    frmMain::lblRename,
                                   frmMain::prgStatus,  frmMain::lblPercent, frmMain::lblStatus,
                                   frmMain::cmdStart,   frmMain::cmdStop};

int statusControlId(StatusControl control) {
    const auto index = static_cast<std::size_t>(control);
    return index < std::size(kStatusControls) ? kStatusControls[index] : 0;
}

} // namespace

frmMain::frmMain(MainWindowSetup setup, HWND owner) : MainWindowLogic(std::move(setup)) {
    ::CreateDialogParamW(::GetModuleHandleW(nullptr), MAKEINTRESOURCEW(IDD_frmMain), owner,
                         dialogProc, reinterpret_cast<LPARAM>(this));
}

frmMain::~frmMain() {
    if (busy_) {
        ::SetCursor(::LoadCursorW(nullptr, IDC_ARROW));
    }
    if (window_ != nullptr && ::IsWindow(window_)) {
        ::DestroyWindow(window_);
    }
}

INT_PTR CALLBACK frmMain::dialogProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    auto* self = dialogObject<frmMain>(window, message, lParam);
    if (self == nullptr) {
        return FALSE;
    }
    if (message == WM_INITDIALOG) {
        self->create(window);
        return FALSE; // the focus is set by create()
    }
    if (message == WM_NCDESTROY) {
        self->window_ = nullptr;
        if (self->onClosed) {
            self->onClosed();
        }
        return FALSE;
    }
    return self->handleMessage(message, wParam, lParam);
}

void frmMain::create(HWND window) {
    window_ = window;
    const DpiScale scale;
    auto* font = reinterpret_cast<HFONT>(::SendMessageW(window_, WM_GETFONT, 0, 0));
    headerFont_ = derivedFont(font, true, 1.1);
    bannerFont_ = bannerFont(8, scale);

    setWindowText(window_, kApplicationTitle);
    const int iconSizes[] = {::GetSystemMetrics(SM_CXICON), ::GetSystemMetrics(SM_CXSMICON)};
    for (int i = 0; i < 2; ++i) {
        auto* icon = static_cast<HICON>(::LoadImageW(::GetModuleHandleW(nullptr),
                                                     MAKEINTRESOURCEW(IDI_KELDOR), IMAGE_ICON,
                                                     iconSizes[i], iconSizes[i], LR_SHARED));
        ::SendMessageW(window_, WM_SETICON, i == 0 ? ICON_BIG : ICON_SMALL,
                       reinterpret_cast<LPARAM>(icon));
    }

    createPanel(window_, picHeader, kFrameColour, 0, 0, kWidth, kHeaderHeight, scale);
    createPanel(window_, picFrame, kFrameColour, 0, kHeaderHeight, kWidth, kFrameHeight, scale);
    createPanel(window_, Picture1, kStatusColour, 0, kHeaderHeight + kFrameHeight, kWidth,
                kStatusHeight, scale);
    for (const PlacedControl& placed : kControls) {
        HFONT controlFont = placed.spec.id == lblHeader   ? headerFont_.get()
                            : placed.spec.id == lblBanner ? bannerFont_.get()
                                                          : font;
        createControl(findControl(window_, placed.panel), placed.spec, controlFont, scale);
    }
    for (const int hidden : kHiddenAtStart) {
        ::ShowWindow(control(hidden), SW_HIDE);
    }
    ::SendMessageW(control(optDefault), BM_SETCHECK, BST_CHECKED, 0);
    ::SendMessageW(control(prgStatus), PBM_SETRANGE32, 0, 100);
    ::EnableWindow(control(cmdStart), FALSE);
    buildMenu();

    // The client area holds the three panels; the frame and menu go around
    // it. Centred on the screen now, so that it first shows there.
    sizeAndCentre(window_, kWidth, kHeaderHeight + kFrameHeight + kStatusHeight, scale, nullptr);

    paintGradient(control(picHeader), kHeaderLeftColour, kHeaderRightColour,
                  GradientMode::Horizontal);
    load();
    ::SetFocus(control(optDefault));
}

void frmMain::buildMenu() {
    menu_ = ::CreateMenu();
    HMENU file = ::CreatePopupMenu();
    ::AppendMenuW(file, MF_STRING, mnuFileRescue, wide(captions::mnuFileRescue).c_str());
    ::AppendMenuW(file, MF_SEPARATOR, mnuFileLine1, nullptr);
    ::AppendMenuW(file, MF_STRING, mnuFileExit, wide(captions::mnuFileExit).c_str());
    HMENU help = ::CreatePopupMenu();
    ::AppendMenuW(help, MF_STRING, mnuHelpHelp, wide(captions::mnuHelpHelp).c_str());
    ::AppendMenuW(help, MF_SEPARATOR, mnuHelpLine1, nullptr);
    ::AppendMenuW(help, MF_STRING, mnuHelpAbout, wide(captions::mnuHelpAbout).c_str());
    ::AppendMenuW(menu_, MF_POPUP, reinterpret_cast<UINT_PTR>(file),
                  wide(captions::mnuFile).c_str());
    ::AppendMenuW(menu_, MF_POPUP, reinterpret_cast<UINT_PTR>(help),
                  wide(captions::mnuHelp).c_str());
    ::SetMenu(window_, menu_); // destroyed with the window
}

void frmMain::show() {
    ::ShowWindow(window_, SW_SHOWNORMAL);
    ::UpdateWindow(window_);
}

HWND frmMain::control(int id) const {
    return window_ != nullptr ? findControl(window_, id) : nullptr;
}

bool frmMain::translateDialogMessage(MSG& message) const {
    return window_ != nullptr && ::IsDialogMessageW(window_, &message) != FALSE;
}

INT_PTR frmMain::handleMessage(UINT message, WPARAM wParam, LPARAM) {
    switch (message) {
    case WM_COMMAND:
        commandReceived(LOWORD(wParam), HIWORD(wParam));
        return TRUE;
    case WM_CLOSE:
        requestClose();
        return TRUE;
    case WM_SETCURSOR:
        if (busy_) {
            ::SetCursor(::LoadCursorW(nullptr, IDC_WAIT));
            ::SetWindowLongPtrW(window_, DWLP_MSGRESULT, TRUE);
            return TRUE;
        }
        return FALSE;
    case WM_DESTROY:
        if (helpOpened()) {
            help_.closeAll();
        }
        return FALSE;
    default:
        return FALSE;
    }
}

void frmMain::commandReceived(int id, int code) {
    switch (id) {
    case optDefault:
    case optFolder:
        if (code == BN_CLICKED) {
            updateStartButton();
        }
        break;
    case txtDBXFile:
    case txtEMLFolder: {
        const MainTextBox which = id == txtDBXFile ? MainTextBox::DbxFile : MainTextBox::EmlFolder;
        if (code == EN_CHANGE) {
            updateStartButton();
        } else if (code == EN_SETFOCUS || code == EN_KILLFOCUS) {
            focusChanged(which, code == EN_SETFOCUS);
        }
        break;
    }
    case cmdFindDBX:
        findDbxClicked();
        break;
    case cmdFindEML:
        findEmlClicked();
        break;
    case IDOK: // Enter outside a button presses the default button
    case cmdStart:
        if (::IsWindowVisible(control(cmdStart)) && ::IsWindowEnabled(control(cmdStart))) {
            startClicked();
        }
        break;
    case IDCANCEL: // Esc presses the cancel button
    case cmdStop:
        if (::IsWindowVisible(control(cmdStop)) && ::IsWindowEnabled(control(cmdStop))) {
            stopClicked();
        }
        break;
    case mnuFileRescue:
        // A menu item greyed while a run goes or Start is off sends nothing;
        // an accelerator would, so the state is checked here too.
        if (::IsWindowEnabled(control(cmdStart)) && ::IsWindowVisible(control(cmdStart))) {
            rescueClicked();
        }
        break;
    case mnuFileExit:
        requestClose();
        break;
    case mnuHelpHelp:
        helpClicked();
        break;
    case mnuHelpAbout:
        aboutClicked();
        break;
    default:
        break;
    }
}

void frmMain::requestClose() {
    if (window_ != nullptr && closeRequested()) {
        ::DestroyWindow(window_);
    }
}

void frmMain::aboutClicked() {
    frmAbout about;
    about.showModal(window_);
}

HWND frmMain::box(MainTextBox which) const {
    switch (which) {
    case MainTextBox::DbxFile:
        return control(txtDBXFile);
    case MainTextBox::EmlFolder:
        return control(txtEMLFolder);
    case MainTextBox::NullAnk:
        return control(txtNullAnk);
    case MainTextBox::NullKanji:
        return control(txtNullKanji);
    }
    return nullptr;
}

Text frmMain::boxText(MainTextBox which) const {
    return windowText(box(which));
}

void frmMain::setBoxText(MainTextBox which, const Text& text) {
    setWindowText(box(which), text); // EN_CHANGE follows, as for typing
}

void frmMain::focusBox(MainTextBox which) {
    ::SendMessageW(window_, WM_NEXTDLGCTL, reinterpret_cast<WPARAM>(box(which)), TRUE);
}

bool frmMain::folderModeSelected() const {
    return ::SendMessageW(control(optFolder), BM_GETCHECK, 0, 0) == BST_CHECKED;
}

void frmMain::selectFolderMode() {
    ::SendMessageW(control(optDefault), BM_SETCHECK, BST_UNCHECKED, 0);
    ::SendMessageW(control(optFolder), BM_SETCHECK, BST_CHECKED, 0);
}

void frmMain::setOptDefaultCaption(const Text& caption) {
    setWindowText(control(optDefault), caption);
}

void frmMain::setStartEnabled(bool enabled) {
    ::EnableWindow(control(cmdStart), enabled ? TRUE : FALSE);
    enableRescueItem();
}

// Where Start is enabled and no run goes (the exit item is greyed during one).
void frmMain::enableRescueItem() {
    const bool idle = (::GetMenuState(menu_, mnuFileExit, MF_BYCOMMAND) & MF_GRAYED) == 0;
    const bool enabled = idle && ::IsWindowEnabled(control(cmdStart));
    ::EnableMenuItem(menu_, mnuFileRescue, MF_BYCOMMAND | (enabled ? MF_ENABLED : MF_GRAYED));
}

void frmMain::setInputsEnabled(bool enabled) {
    const UINT state = MF_BYCOMMAND | (enabled ? MF_ENABLED : MF_GRAYED);
    for (const int item : {mnuFileExit, mnuHelpHelp, mnuHelpAbout}) {
        ::EnableMenuItem(menu_, static_cast<UINT>(item), state);
    }
    enableRescueItem();
    ::DrawMenuBar(window_);
    ::EnableWindow(control(cmdFindDBX), enabled ? TRUE : FALSE);
    ::EnableWindow(control(cmdFindEML), enabled ? TRUE : FALSE);
    enablePanel(control(picFrame), enabled);
}

void frmMain::closeWindow() {
    requestClose();
}

Text frmMain::pickMailboxFile() {
    frmDBX picker(startup::IdentityList);
    return picker.showModal(window_);
}

Text frmMain::browseForFolder() {
    return win32::browseForFolder(window_);
}

Text frmMain::programFolder() const {
    std::wstring module(MAX_PATH, L'\0');
    for (;;) {
        const DWORD length =
            ::GetModuleFileNameW(nullptr, module.data(), static_cast<DWORD>(module.size()));
        if (length < module.size()) {
            module.resize(length);
            break;
        }
        module.resize(module.size() * 2);
    }
    // A program in a drive root keeps the root's backslash ("C:\").
    return fromWide(std::filesystem::path(module).parent_path().native());
}

bool frmMain::openHelpFile(const Text& path) {
    return help_.displayTopic(window_, path);
}

void frmMain::setText(StatusControl which, const Text& text) {
    setWindowText(control(statusControlId(which)), text);
}

void frmMain::setVisible(StatusControl which, bool visible) {
    ::ShowWindow(control(statusControlId(which)), visible ? SW_SHOWNA : SW_HIDE);
    moveFocusOffHidden();
}

void frmMain::moveFocusOffHidden() {
    HWND start = control(cmdStart);
    HWND stop = control(cmdStop);
    HWND focused = ::GetFocus();
    if ((focused == start || focused == stop) && !::IsWindowVisible(focused)) {
        HWND other = focused == start ? stop : start;
        if (::IsWindowVisible(other)) {
            ::SendMessageW(window_, WM_NEXTDLGCTL, reinterpret_cast<WPARAM>(other), TRUE);
        }
    }
}

void frmMain::setProgress(int percent) {
    ::SendMessageW(control(prgStatus), PBM_SETPOS, static_cast<WPARAM>(std::clamp(percent, 0, 100)),
                   0);
}

void frmMain::setBusy(bool busy) {
    busy_ = busy;
    ::SetCursor(::LoadCursorW(nullptr, busy ? IDC_WAIT : IDC_ARROW));
}

void frmMain::processEvents() {
    MSG message;
    while (::PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE)) {
        if (message.message == WM_QUIT) {
            // Not ours to take: the message loop ends the program after the run.
            ::PostQuitMessage(static_cast<int>(message.wParam));
            return;
        }
        if (!translateDialogMessage(message)) {
            ::TranslateMessage(&message);
            ::DispatchMessageW(&message);
        }
    }
}

engine::MessageAnswer frmMain::showMessage(const Text& text, engine::MessageIcon icon,
                                           engine::MessageButtons buttons) {
    return showMessageBox(window_, text, icon, buttons);
}

void frmMain::openFolder(const std::filesystem::path& folder) {
    const std::wstring argument = L"\"" + folder.native() + L"\"";
    ::ShellExecuteW(nullptr, L"open", L"explorer.exe", argument.c_str(), nullptr, SW_SHOWNORMAL);
}

} // namespace keldor::ui::win32
