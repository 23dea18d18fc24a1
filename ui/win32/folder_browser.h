#pragma once
// The shell's folder chooser for the output location.

#include "ui/win32/win32_ui.h"

namespace keldor::ui::win32 {

// SHBrowseForFolderW over `owner`, titled kBrowseForFolderTitle, file-system
// folders only: the full path of the chosen folder (a drive root with its
// backslash), or the empty text on Cancel or for an item without a path.
Text browseForFolder(HWND owner);

} // namespace keldor::ui::win32
