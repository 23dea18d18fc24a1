#pragma once

namespace keldor::repair {

// How a repair step on one line ended. A step that would read or write past
// the end of the line stops there: the line keeps what was filled so far.
enum class StepEnd { Completed, PastLineEnd };

} // namespace keldor::repair
