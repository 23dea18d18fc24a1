#pragma once
// The two program-wide flags by which the window (or Ctrl-C in the command-line
// program) asks a running recovery to stop. Atomic so that a signal handler
// may set them.

#include <atomic>

namespace keldor::engine {

// Set by Stop or close; cleared by the run when it starts; tested between records,
// after each finished message and before each file of the rename pass.
extern std::atomic<bool> StopRequested;

// Set when the user closes the window during a run: the run skips its report.
extern std::atomic<bool> ExitAfterStop;

} // namespace keldor::engine
