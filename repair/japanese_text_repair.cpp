#include "repair/japanese_text_repair.h"

namespace keldor::repair {

// Not built yet: lines are left as they are.
StepEnd repairJisLine(Bytes&, const RepairOptions&) { return StepEnd::Completed; }
StepEnd repairSjisLine(Bytes&, const RepairOptions&) { return StepEnd::Completed; }
StepEnd repairEucLine(Bytes&, const RepairOptions&) { return StepEnd::Completed; }

} // namespace keldor::repair
