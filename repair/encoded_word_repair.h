#pragma once
// Repairs MIME encoded words ("=?charset?B?...?=") damaged by lost bytes in
// one header line.

#include "repair/repair_options.h"
#include "repair/step_end.h"

namespace keldor::repair {

// Changes `line` (a header line with its CR LF) in place, never its size.
// Bytes outside the encoded word around the first lost byte are left alone.
[[nodiscard]] StepEnd repairEncodedWord(Bytes& line, const RepairOptions& options);

} // namespace keldor::repair
