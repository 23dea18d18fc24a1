#pragma once
// The folder chooser for the output location.

#include "platform/bytes.h"

class QWidget;

namespace keldor::ui {

// Shows a modal folder chooser over `owner`, titled kBrowseForFolderTitle,
// and returns the full path of the chosen folder, or the empty text when the
// user cancelled.
Text browseForFolder(QWidget* owner);

} // namespace keldor::ui
