#pragma once
// imlFolder: the picker's six small folder icons, drawn with GDI from the
// shared drawing of ui/folder_icons.h.

#include "ui/win32/win32_ui.h"

#include <commctrl.h>

namespace keldor::ui::win32 {

// An image list of the six icons at the system's small-icon size, in the
// kinds' order. The caller (or the list view it is given to) destroys it.
HIMAGELIST createFolderImageList();

} // namespace keldor::ui::win32
