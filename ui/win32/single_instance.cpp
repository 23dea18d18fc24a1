#include "ui/win32/single_instance.h"

#include "ui/captions.h"

namespace keldor::ui::win32 {

namespace {

constexpr wchar_t kInstanceMutex[] = L"Local\\Keldor.Instance";

LRESULT CALLBACK applicationProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    return ::DefWindowProcW(window, message, wParam, lParam);
}

} // namespace

ApplicationWindow::ApplicationWindow() {
    WNDCLASSEXW windowClass{};
    windowClass.cbSize = sizeof windowClass;
    windowClass.lpfnWndProc = applicationProc;
    windowClass.hInstance = ::GetModuleHandleW(nullptr);
    windowClass.lpszClassName = kApplicationWindowClass;
    ::RegisterClassExW(&windowClass); // fails harmlessly when already registered
    // A top-level popup that is never shown: it owns the visible windows.
    window_ =
        ::CreateWindowExW(0, kApplicationWindowClass, wide(kApplicationTitle).c_str(), WS_POPUP, 0,
                          0, 0, 0, nullptr, nullptr, ::GetModuleHandleW(nullptr), nullptr);
}

ApplicationWindow::~ApplicationWindow() {
    if (window_ != nullptr) {
        ::DestroyWindow(window_);
    }
}

Text ApplicationWindow::title() const {
    return windowText(window_);
}

void ApplicationWindow::setTitle(TextView title) {
    setWindowText(window_, title);
}

InstanceLock::InstanceLock() : mutex_(::CreateMutexW(nullptr, FALSE, kInstanceMutex)) {
    anotherInstance_ = mutex_.isValid() && ::GetLastError() == ERROR_ALREADY_EXISTS;
}

void restoreIfMinimized(HWND window) {
    if (::IsIconic(window)) {
        ::ShowWindow(window, SW_SHOWNORMAL);
    }
}

void activatePreviousInstance(HWND application) {
    if (application == nullptr) {
        return;
    }
    restoreIfMinimized(application);
    HWND target = ::GetLastActivePopup(application);
    restoreIfMinimized(target);
    const DWORD foregroundThread = ::GetWindowThreadProcessId(::GetForegroundWindow(), nullptr);
    const DWORD ownThread = ::GetCurrentThreadId();
    // Sharing the foreground thread's input state lets this process hand the
    // foreground to the other one.
    ::AttachThreadInput(ownThread, foregroundThread, TRUE);
    ::SetForegroundWindow(target);
    ::AttachThreadInput(ownThread, foregroundThread, FALSE);
}

void activateRunningInstance(ApplicationWindow& own) {
    const Text title = own.title();
    own.setTitle(u"$" + title);
    activatePreviousInstance(::FindWindowW(kApplicationWindowClass, wide(title).c_str()));
}

} // namespace keldor::ui::win32
