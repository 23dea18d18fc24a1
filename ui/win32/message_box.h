#pragma once
// Modal message boxes titled "Keldor" over a window.

#include "engine/run_view.h"
#include "ui/win32/win32_ui.h"

namespace keldor::ui::win32 {

// MessageBoxW with the application title, the icon and the buttons asked
// for. Ok for an Ok box; Yes only when Yes was pressed of a Yes/No box.
engine::MessageAnswer showMessageBox(HWND owner, const Text& text, engine::MessageIcon icon,
                                     engine::MessageButtons buttons);

} // namespace keldor::ui::win32
