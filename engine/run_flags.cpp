#include "engine/run_flags.h"

namespace keldor::engine {

std::atomic<bool> StopRequested{false};
std::atomic<bool> ExitAfterStop{false};

static_assert(std::atomic<bool>::is_always_lock_free, "the flags are set from signal handlers");

} // namespace keldor::engine
