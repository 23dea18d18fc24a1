#pragma once
// The command line's two output streams and its interrupt key. Text is
// handed over as UTF-8; a Windows console gets it as UTF-16, so Japanese
// shows whatever the console's code page, and a redirected stream gets the
// UTF-8 bytes as they are on both systems.

#include <string_view>

namespace keldor::platform {

enum class Stream { Out, Err };

// True when the stream is a terminal (Linux) or a console (Windows), not a
// file or a pipe.
[[nodiscard]] bool isConsole(Stream stream);

// Writes all of `utf8`; a failed write (a closed pipe, a full disk) is dropped.
void writeText(Stream stream, std::string_view utf8);

// The first Ctrl-C (or Ctrl-Break on Windows) calls `onFirstPress`, which must
// only set a flag; the second ends the program at once, as an interrupted
// program ends on the system (status 130 on Linux, STATUS_CONTROL_C_EXIT on
// Windows).
void installInterruptHandler(void (*onFirstPress)());

} // namespace keldor::platform
