#pragma once
// Fills the first run of lost (0x00) bytes of one line of Japanese text so
// that the line still decodes, using the replacement characters.

#include "repair/repair_options.h"
#include "repair/step_end.h"

namespace keldor::repair {

// Each changes `line` in place and never changes its size; each repairs only
// the first run of lost bytes. On PastLineEnd the line keeps what was filled.
[[nodiscard]] StepEnd repairJisLine(Bytes& line, const RepairOptions& options);
[[nodiscard]] StepEnd repairSjisLine(Bytes& line, const RepairOptions& options);
[[nodiscard]] StepEnd repairEucLine(Bytes& line, const RepairOptions& options);

} // namespace keldor::repair
