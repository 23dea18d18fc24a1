// Two processes of keldor.exe: the second finds the first by its
// application window, brings it to the front and ends without a window.

#include "platform/text.h"
#include "tests/support/test_support.h"
#include "tests/ui/win32/window_test_support.h"
#include "ui/win32/frm_main.h"
#include "ui/win32/single_instance.h"
#include "ui/win32/win32_ui.h"

#include <gtest/gtest.h>

#include <chrono>
#include <functional>
#include <string>
#include <thread>

namespace keldor::testing {
namespace {

using ui::win32::kApplicationWindowClass;

constexpr auto kPatience = std::chrono::seconds(20);

// Polls `done` until it holds or the patience runs out.
bool waitFor(const std::function<bool()>& done) {
    const auto deadline = std::chrono::steady_clock::now() + kPatience;
    while (!done()) {
        if (std::chrono::steady_clock::now() > deadline) {
            return false;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
    }
    return true;
}

class Program {
public:
    Program() {
        std::wstring command = L"\"" + ui::win32::wide(platform::fromUtf8(KELDOR_GUI_PATH)) + L"\"";
        STARTUPINFOW startup{};
        startup.cb = sizeof startup;
        started_ = ::CreateProcessW(nullptr, command.data(), nullptr, nullptr, FALSE, 0, nullptr,
                                    nullptr, &startup, &process_) != FALSE;
        if (started_) {
            ::CloseHandle(process_.hThread);
        }
    }
    Program(const Program&) = delete;
    Program& operator=(const Program&) = delete;
    ~Program() {
        if (started_) {
            if (::WaitForSingleObject(process_.hProcess, 0) == WAIT_TIMEOUT) {
                ::TerminateProcess(process_.hProcess, 1);
                ::WaitForSingleObject(process_.hProcess, 5000);
            }
            ::CloseHandle(process_.hProcess);
        }
    }
    [[nodiscard]] bool started() const { return started_; }
    [[nodiscard]] DWORD id() const { return process_.dwProcessId; }
    // The exit code once it has ended within the patience, or nullopt. This
    // thread's windows keep answering meanwhile: activating the other
    // instance deactivates them.
    std::optional<DWORD> waitForExit() const {
        if (!waitFor([this] {
                pumpMessages();
                return ::WaitForSingleObject(process_.hProcess, 0) == WAIT_OBJECT_0;
            })) {
            return std::nullopt;
        }
        DWORD code = 0;
        ::GetExitCodeProcess(process_.hProcess, &code);
        return code;
    }

private:
    PROCESS_INFORMATION process_{};
    bool started_ = false;
};

// A visible top-level window of `process` owned by `owner`, or nullptr.
HWND ownedWindowOf(DWORD process, HWND owner) {
    struct Search {
        DWORD process;
        HWND owner;
        HWND found;
    } search{process, owner, nullptr};
    ::EnumWindows(
        [](HWND window, LPARAM data) -> BOOL {
            auto* s = reinterpret_cast<Search*>(data);
            DWORD owningProcess = 0;
            ::GetWindowThreadProcessId(window, &owningProcess);
            if (owningProcess == s->process && ::GetWindow(window, GW_OWNER) == s->owner &&
                ::IsWindowVisible(window)) {
                s->found = window;
                return FALSE;
            }
            return TRUE;
        },
        reinterpret_cast<LPARAM>(&search));
    return search.found;
}

// The running instance's main window, once it shows.
HWND mainWindowOf(const Program& program) {
    HWND mainWindow = nullptr;
    waitFor([&] {
        HWND application = ::FindWindowW(kApplicationWindowClass, L"Keldor");
        mainWindow = application != nullptr ? ownedWindowOf(program.id(), application) : nullptr;
        return mainWindow != nullptr;
    });
    return mainWindow;
}

TEST(Win32SingleInstance, SecondStartRestoresAndRaisesTheFirstAndEnds) {
    Program first;
    ASSERT_TRUE(first.started());
    HWND mainWindow = mainWindowOf(first);
    ASSERT_NE(mainWindow, nullptr) << "the first instance never showed its main window";
    HWND application = ::GetWindow(mainWindow, GW_OWNER);
    EXPECT_FALSE(::IsWindowVisible(application)) << "the application window is hidden";

    ::ShowWindow(mainWindow, SW_MINIMIZE);
    ASSERT_TRUE(waitFor([&] { return ::IsIconic(mainWindow) != FALSE; }));

    Program second;
    ASSERT_TRUE(second.started());
    EXPECT_EQ(second.waitForExit(), std::optional<DWORD>(0));
    EXPECT_EQ(ownedWindowOf(second.id(), nullptr), nullptr);
    EXPECT_TRUE(waitFor([&] { return ::IsIconic(mainWindow) == FALSE; }))
        << "the first instance stayed minimised";
    EXPECT_TRUE(waitFor([&] { return ::GetForegroundWindow() == mainWindow; }))
        << "the first instance did not come to the front";
    EXPECT_EQ(::FindWindowW(kApplicationWindowClass, L"$Keldor"), nullptr)
        << "the second instance's application window outlived it";

    // Idle, the first instance closes at once and ends.
    ::PostMessageW(mainWindow, WM_CLOSE, 0, 0);
    EXPECT_EQ(first.waitForExit(), std::optional<DWORD>(0));
}

TEST(Win32SingleInstance, SecondStartRaisesTheDialogOpenOverTheMainWindow) {
    Program first;
    ASSERT_TRUE(first.started());
    HWND mainWindow = mainWindowOf(first);
    ASSERT_NE(mainWindow, nullptr);
    ::PostMessageW(mainWindow, WM_COMMAND, ui::win32::frmMain::mnuHelpAbout, 0);
    HWND about = nullptr;
    ASSERT_TRUE(waitFor([&] { return (about = ownedWindowOf(first.id(), mainWindow)) != nullptr; }))
        << "the about box did not open";

    // Something else in front: a window of this process.
    HWND other = ::CreateWindowExW(0, L"STATIC", L"other", WS_POPUP | WS_CAPTION | WS_VISIBLE, 10,
                                   10, 200, 100, nullptr, nullptr, nullptr, nullptr);
    ::SetForegroundWindow(other);
    ASSERT_TRUE(waitFor([&] { return ::GetForegroundWindow() == other; }));

    Program second;
    ASSERT_TRUE(second.started());
    EXPECT_EQ(second.waitForExit(), std::optional<DWORD>(0));
    EXPECT_TRUE(waitFor([&] { return ::GetForegroundWindow() == about; }))
        << "the about box did not come to the front";
    ::DestroyWindow(other);
}

} // namespace
} // namespace keldor::testing
