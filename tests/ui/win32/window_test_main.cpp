// Runs the Win32 window tests in one process with the common controls and
// COM set up as the program sets them up.

#include "ui/win32/win32_ui.h"

#include <commctrl.h>
#include <objbase.h>

#include <gtest/gtest.h>

int main(int argc, char* argv[]) {
    const INITCOMMONCONTROLSEX controls{sizeof(INITCOMMONCONTROLSEX), ICC_STANDARD_CLASSES |
                                                                          ICC_LISTVIEW_CLASSES |
                                                                          ICC_PROGRESS_CLASS};
    ::InitCommonControlsEx(&controls);
    ::CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED | COINIT_DISABLE_OLE1DDE);
    ::testing::InitGoogleTest(&argc, argv);
    const int result = RUN_ALL_TESTS();
    ::CoUninitialize();
    return result;
}
