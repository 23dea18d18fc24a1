#include "ui/win32/frm_dbx.h"

#include "ui/captions.h"
#include "ui/win32/folder_image_list.h"
#include "ui/win32/resource.h"

#include <commctrl.h>
#include <commdlg.h>

#include <vector>

namespace keldor::ui::win32 {

namespace {

namespace captions = picker_captions;

constexpr int kWidth = 420;
constexpr int kHeight = 340;
constexpr int kNameColumnWidth = 290;
constexpr int kSizeColumnWidth = 90;
constexpr std::size_t kPathBufferLength = 32768; // the longest path the wide API takes

constexpr DWORD kButton = WS_TABSTOP | BS_PUSHBUTTON;

// clang-format off
const ControlSpec kControls[] = {
    {frmDBX::Label3, L"STATIC", captions::Label3, SS_LEFT, 0, 12, 12, 396, 18},
    {frmDBX::Label1, L"STATIC", captions::Label1, SS_LEFT, 0, 12, 41, 80, 18},
    {frmDBX::cmbUser, WC_COMBOBOXW, nullptr, WS_TABSTOP | WS_VSCROLL | CBS_DROPDOWNLIST, 0, 96, 38, 312, 200},
    {frmDBX::Label2, L"STATIC", captions::Label2, SS_LEFT, 0, 12, 70, 200, 18},
    {frmDBX::lvwDBXFile, WC_LISTVIEWW, nullptr, WS_TABSTOP | LVS_REPORT | LVS_SINGLESEL | LVS_SHOWSELALWAYS | LVS_NOSORTHEADER, WS_EX_CLIENTEDGE, 12, 90, 396, 200},
    {frmDBX::cmdOpen, L"BUTTON", captions::cmdOpen, kButton, 0, 12, 302, 110, 26},
    {frmDBX::cmdOK, L"BUTTON", captions::cmdOK, WS_TABSTOP | BS_DEFPUSHBUTTON, 0, 236, 302, 84, 26},
    {frmDBX::cmdCancel, L"BUTTON", captions::cmdCancel, kButton, 0, 324, 302, 84, 26},
};
// clang-format on

void addColumn(HWND list, int index, const char16_t* caption, int width, int format) {
    std::wstring text = wide(caption);
    LVCOLUMNW column{};
    column.mask = LVCF_TEXT | LVCF_WIDTH | LVCF_FMT | LVCF_SUBITEM;
    column.fmt = format;
    column.cx = width;
    column.pszText = text.data();
    column.iSubItem = index;
    ::SendMessageW(list, LVM_INSERTCOLUMNW, static_cast<WPARAM>(index),
                   reinterpret_cast<LPARAM>(&column));
}

// "description\0pattern\0...\0\0", as lpstrFilter takes it.
std::wstring filterString(const OpenDialogSetup& setup) {
    std::wstring filter;
    for (const OpenDialogSetup::Filter& entry : setup.filters) {
        filter += wide(entry.description);
        filter += L'\0';
        filter += wide(entry.pattern);
        filter += L'\0';
    }
    filter += L'\0';
    return filter;
}

} // namespace

frmDBX::frmDBX(startup::Identities identities) : PickerLogic(std::move(identities)) {}

Text frmDBX::showModal(HWND owner) {
    ::DialogBoxParamW(::GetModuleHandleW(nullptr), MAKEINTRESOURCEW(IDD_frmDBX), owner, dialogProc,
                      reinterpret_cast<LPARAM>(this));
    return selectedPath();
}

INT_PTR CALLBACK frmDBX::dialogProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    auto* self = dialogObject<frmDBX>(window, message, lParam);
    if (self == nullptr) {
        return FALSE;
    }
    if (message == WM_INITDIALOG) {
        self->create(window);
        return TRUE; // the first control takes the focus
    }
    if (message == WM_NCDESTROY) {
        self->window_ = nullptr;
        return FALSE;
    }
    return self->handleMessage(message, wParam, lParam);
}

void frmDBX::create(HWND window) {
    window_ = window;
    const DpiScale scale;
    auto* font = reinterpret_cast<HFONT>(::SendMessageW(window_, WM_GETFONT, 0, 0));
    setWindowText(window_, captions::frmDBX);
    for (const ControlSpec& spec : kControls) {
        createControl(window_, spec, font, scale);
    }

    HWND list = control(lvwDBXFile);
    ::SendMessageW(list, LVM_SETEXTENDEDLISTVIEWSTYLE, LVS_EX_FULLROWSELECT, LVS_EX_FULLROWSELECT);
    // The list view owns the image list and destroys it with itself.
    ::SendMessageW(list, LVM_SETIMAGELIST, LVSIL_SMALL,
                   reinterpret_cast<LPARAM>(createFolderImageList()));
    addColumn(list, 0, captions::nameColumn, scale(kNameColumnWidth), LVCFMT_LEFT);
    addColumn(list, 1, captions::sizeColumn, scale(kSizeColumnWidth), LVCFMT_RIGHT);

    sizeAndCentre(window_, kWidth, kHeight, scale, ::GetWindow(window_, GW_OWNER));

    // Every opening starts again from load, with the default identity.
    load();
}

INT_PTR frmDBX::handleMessage(UINT message, WPARAM wParam, LPARAM lParam) {
    switch (message) {
    case WM_COMMAND:
        switch (LOWORD(wParam)) {
        case cmbUser:
            if (HIWORD(wParam) == CBN_SELCHANGE) {
                if (const std::optional<std::size_t> index = chosenUser()) {
                    identityChosen(*index);
                }
            }
            return TRUE;
        case cmdOK:
            okClicked();
            return TRUE;
        case cmdOpen:
            openClicked();
            return TRUE;
        case cmdCancel:
            ::EndDialog(window_, IDCANCEL);
            return TRUE;
        default:
            return FALSE;
        }
    case WM_NOTIFY: {
        const auto* header = reinterpret_cast<const NMHDR*>(lParam);
        if (header->idFrom == static_cast<UINT_PTR>(lvwDBXFile) && header->code == NM_DBLCLK) {
            okClicked(); // a double-click acts as OK
            return TRUE;
        }
        return FALSE;
    }
    default:
        return FALSE;
    }
}

void frmDBX::addUser(const Text& name) {
    ::SendMessageW(control(cmbUser), CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(wide(name).c_str()));
}

void frmDBX::selectUser(std::size_t index) {
    ::SendMessageW(control(cmbUser), CB_SETCURSEL, static_cast<WPARAM>(index), 0);
}

std::optional<std::size_t> frmDBX::chosenUser() const {
    const LRESULT index = ::SendMessageW(control(cmbUser), CB_GETCURSEL, 0, 0);
    return index == CB_ERR ? std::nullopt
                           : std::optional<std::size_t>(static_cast<std::size_t>(index));
}

void frmDBX::clearRows() {
    ::SendMessageW(control(lvwDBXFile), LVM_DELETEALLITEMS, 0, 0);
}

void frmDBX::addRows(const std::vector<PickerRow>& rows) {
    HWND list = control(lvwDBXFile);
    for (const PickerRow& row : rows) {
        std::wstring name = wide(row.name);
        LVITEMW item{};
        item.mask = LVIF_TEXT | LVIF_IMAGE;
        item.iItem = static_cast<int>(::SendMessageW(list, LVM_GETITEMCOUNT, 0, 0));
        item.pszText = name.data();
        item.iImage = static_cast<int>(row.icon);
        const auto at = static_cast<int>(
            ::SendMessageW(list, LVM_INSERTITEMW, 0, reinterpret_cast<LPARAM>(&item)));
        std::wstring size = wide(row.size);
        LVITEMW sizeItem{};
        sizeItem.iSubItem = 1;
        sizeItem.pszText = size.data();
        ::SendMessageW(list, LVM_SETITEMTEXTW, static_cast<WPARAM>(at),
                       reinterpret_cast<LPARAM>(&sizeItem));
    }
}

std::optional<Text> frmDBX::selectedRowName() const {
    HWND list = control(lvwDBXFile);
    const auto row = static_cast<int>(
        ::SendMessageW(list, LVM_GETNEXTITEM, static_cast<WPARAM>(-1), LVNI_SELECTED));
    if (row < 0) {
        return std::nullopt;
    }
    std::vector<wchar_t> buffer(kPathBufferLength);
    LVITEMW item{};
    item.iSubItem = 0;
    item.pszText = buffer.data();
    item.cchTextMax = static_cast<int>(buffer.size());
    const auto length = static_cast<std::size_t>(::SendMessageW(
        list, LVM_GETITEMTEXTW, static_cast<WPARAM>(row), reinterpret_cast<LPARAM>(&item)));
    return fromWide(std::wstring_view(buffer.data(), length));
}

Text frmDBX::showOpenDialog(const OpenDialogSetup& setup) {
    const std::wstring filter = filterString(setup);
    const std::wstring initialFolder = wide(setup.initialFolder);
    std::vector<wchar_t> file(kPathBufferLength, L'\0');
    OPENFILENAMEW open{};
    open.lStructSize = sizeof open;
    open.hwndOwner = window_;
    open.lpstrFilter = filter.c_str();
    open.nFilterIndex = static_cast<DWORD>(setup.filterIndex + 1); // 1-based
    open.lpstrFile = file.data();
    open.nMaxFile = static_cast<DWORD>(file.size());
    open.lpstrInitialDir = initialFolder.empty() ? nullptr : initialFolder.c_str();
    open.Flags = OFN_HIDEREADONLY;
    if (!::GetOpenFileNameW(&open)) {
        return {}; // cancelled, or the dialog failed
    }
    return fromWide(file.data());
}

void frmDBX::closeWithChoice() {
    ::EndDialog(window_, IDOK);
}

} // namespace keldor::ui::win32
