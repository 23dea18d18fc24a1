#include "ui/win32/folder_browser.h"

#include "ui/captions.h"

#include <shlobj.h>

namespace keldor::ui::win32 {

Text browseForFolder(HWND owner) {
    const std::wstring title = wide(kBrowseForFolderTitle);
    BROWSEINFOW browse{};
    browse.hwndOwner = owner;
    browse.lpszTitle = title.c_str();
    browse.ulFlags = BIF_RETURNONLYFSDIRS;
    PIDLIST_ABSOLUTE item = ::SHBrowseForFolderW(&browse);
    if (item == nullptr) {
        return {};
    }
    wchar_t path[MAX_PATH] = {};
    const bool hasPath = ::SHGetPathFromIDListW(item, path) != FALSE;
    ::CoTaskMemFree(item);
    return hasPath ? fromWide(path) : Text();
}

} // namespace keldor::ui::win32
