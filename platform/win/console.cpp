#include "platform/console.h"

#include "platform/text.h"
#include "platform/win/win32.h"

#include <algorithm>
#include <atomic>

namespace keldor::platform {

namespace {

// ntstatus.h's value, which the system's own Ctrl-C handling exits with.
constexpr UINT kControlCExit = 0xC000013A;
// WriteConsoleW is limited in what one call may take on older systems.
constexpr std::size_t kConsoleChunk = 8192;

HANDLE handleOf(Stream stream) {
    return ::GetStdHandle(stream == Stream::Out ? STD_OUTPUT_HANDLE : STD_ERROR_HANDLE);
}

std::atomic<int> interrupts{0};
void (*firstPress)() = nullptr;

BOOL WINAPI onControl(DWORD event) {
    if (event != CTRL_C_EVENT && event != CTRL_BREAK_EVENT) {
        return FALSE; // closing the console or logging off ends the program as usual
    }
    if (interrupts.fetch_add(1) >= 1) {
        ::ExitProcess(kControlCExit);
    }
    if (firstPress != nullptr) {
        firstPress();
    }
    return TRUE;
}

} // namespace

bool isConsole(Stream stream) {
    DWORD mode = 0;
    const HANDLE handle = handleOf(stream);
    return handle != nullptr && handle != INVALID_HANDLE_VALUE && ::GetConsoleMode(handle, &mode);
}

void writeText(Stream stream, std::string_view utf8) {
    const HANDLE handle = handleOf(stream);
    if (handle == nullptr || handle == INVALID_HANDLE_VALUE) {
        return;
    }
    if (isConsole(stream)) {
        const Text text = fromUtf8(utf8);
        std::size_t done = 0;
        while (done < text.size()) {
            const DWORD wanted = static_cast<DWORD>(std::min(text.size() - done, kConsoleChunk));
            DWORD written = 0;
            if (!::WriteConsoleW(handle, reinterpret_cast<const wchar_t*>(text.data() + done),
                                 wanted, &written, nullptr) ||
                written == 0) {
                return;
            }
            done += written;
        }
        return;
    }
    std::size_t done = 0;
    while (done < utf8.size()) {
        DWORD written = 0;
        const DWORD wanted =
            static_cast<DWORD>(std::min<std::size_t>(utf8.size() - done, 1u << 20));
        if (!::WriteFile(handle, utf8.data() + done, wanted, &written, nullptr) || written == 0) {
            return;
        }
        done += written;
    }
}

void installInterruptHandler(void (*onFirstPress)()) {
    firstPress = onFirstPress;
    ::SetConsoleCtrlHandler(onControl, TRUE);
}

} // namespace keldor::platform
