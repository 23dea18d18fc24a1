#pragma once
// The folder chooser for the output location.

#include "platform/bytes.h"

class QWidget;

namespace keldor::ui {

// Title shown in the dialog.
inline constexpr char16_t kBrowseForFolderTitle[] = u"フォルダを選択してください";

// Shows a modal folder chooser over `owner` and returns the full path of the
// chosen folder, or the empty text when the user cancelled.
Text browseForFolder(QWidget* owner);

} // namespace keldor::ui
