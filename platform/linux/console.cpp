#include "platform/console.h"

#include <atomic>
#include <cerrno>
#include <csignal>
#include <unistd.h>

namespace keldor::platform {

namespace {

int descriptor(Stream stream) {
    return stream == Stream::Out ? STDOUT_FILENO : STDERR_FILENO;
}

std::atomic<int> interrupts{0};
void (*firstPress)() = nullptr;

extern "C" void onInterrupt(int) {
    if (interrupts.fetch_add(1) >= 1) {
        _exit(130);
    }
    if (firstPress != nullptr) {
        firstPress();
    }
}

} // namespace

bool isConsole(Stream stream) {
    return ::isatty(descriptor(stream)) == 1;
}

void writeText(Stream stream, std::string_view utf8) {
    std::size_t done = 0;
    while (done < utf8.size()) {
        const ssize_t n = ::write(descriptor(stream), utf8.data() + done, utf8.size() - done);
        if (n < 0 && errno == EINTR) {
            continue;
        }
        if (n <= 0) {
            return;
        }
        done += static_cast<std::size_t>(n);
    }
}

void installInterruptHandler(void (*onFirstPress)()) {
    firstPress = onFirstPress;
    struct sigaction action {};
    action.sa_handler = onInterrupt;
    sigemptyset(&action.sa_mask);
    sigaction(SIGINT, &action, nullptr);
}

} // namespace keldor::platform
