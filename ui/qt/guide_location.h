#pragma once
// Where the Linux window finds the user guide that Help opens: the guide's
// start page installed beside the program, or laid beside it by the build.

#include "platform/text.h"

namespace keldor::ui {

// The start page for a program in `programFolder`: "<prefix>/share/keldor/
// guide/ja/index.html" for a program in "<prefix>/bin", else "guide/ja/
// index.html" in the program folder (a program run out of its build
// folder); the installed place when neither is there.
Text guideStartPage(TextView programFolder);

} // namespace keldor::ui
