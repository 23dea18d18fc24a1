// The Windows program's entry: one instance on screen; the first start finds
// the mail stores and shows the main window, a later one brings the running
// instance to the front and ends without a window.

#include "ui/main_window.h"
#include "ui/win32/frm_main.h"
#include "ui/win32/single_instance.h"

#include <commctrl.h>
#include <objbase.h>

int WINAPI wWinMain(HINSTANCE, HINSTANCE, PWSTR, int) {
    using namespace keldor::ui;
    using namespace keldor::ui::win32;

    ApplicationWindow application;
    const InstanceLock lock;
    if (lock.anotherInstanceRuns()) {
        activateRunningInstance(application);
        return 0;
    }

    const INITCOMMONCONTROLSEX controls{sizeof(INITCOMMONCONTROLSEX), ICC_STANDARD_CLASSES |
                                                                          ICC_LISTVIEW_CLASSES |
                                                                          ICC_PROGRESS_CLASS};
    ::InitCommonControlsEx(&controls);
    // The folder chooser and the file-open dialog use COM.
    ::CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED | COINIT_DISABLE_OLE1DDE);

    frmMain window(discoverMainWindowSetup(), application.handle());
    if (window.handle() == nullptr) {
        return 1; // the window's resources are missing: nothing to show
    }
    window.onClosed = [] { ::PostQuitMessage(0); };
    window.show();

    MSG message;
    while (::GetMessageW(&message, nullptr, 0, 0) > 0) {
        if (!window.translateDialogMessage(message)) {
            ::TranslateMessage(&message);
            ::DispatchMessageW(&message);
        }
    }
    ::CoUninitialize();
    return static_cast<int>(message.wParam);
}
