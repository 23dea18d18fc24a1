#pragma once
// One instance of the program on screen: a named mutex tells a second start
// that the program runs; the hidden application window of the first is then
// found by its class and caption, and its last active window brought to the
// front.

#include "platform/win/win32.h"
#include "ui/win32/win32_ui.h"

namespace keldor::ui::win32 {

// The class of the hidden application window.
inline constexpr wchar_t kApplicationWindowClass[] = L"ThunderRT6Main";

// The hidden top-level window that owns every visible window of the
// program, captioned with the application title. Destroyed with the object.
class ApplicationWindow {
public:
    ApplicationWindow();
    ApplicationWindow(const ApplicationWindow&) = delete;
    ApplicationWindow& operator=(const ApplicationWindow&) = delete;
    ~ApplicationWindow();

    [[nodiscard]] HWND handle() const { return window_; }
    [[nodiscard]] Text title() const;
    void setTitle(TextView title);

private:
    HWND window_ = nullptr;
};

// The previous-instance test: a mutex in the session's namespace, held for
// the life of the object.
class InstanceLock {
public:
    InstanceLock();
    // True when another process of the program held the lock first.
    [[nodiscard]] bool anotherInstanceRuns() const { return anotherInstance_; }

private:
    platform::win::UniqueHandle mutex_;
    bool anotherInstance_ = false;
};

// Restores `window` when it is minimised.
void restoreIfMinimized(HWND window);

// Brings the running instance whose application window is `application`
// (nullptr: none was found, and nothing happens) to the front: restored if
// minimised, and its last active window (the main window, or the dialog or
// message box open over it) made the foreground window. The results of the
// calls are not examined.
void activatePreviousInstance(HWND application);

// The entry routine's second-start branch: renames this instance's own
// application window to "$" + title, so that the search cannot find it,
// finds the running instance's window and activates it.
void activateRunningInstance(ApplicationWindow& own);

} // namespace keldor::ui::win32
