#pragma once
// Fills the first run of lost (0x00) bytes of one line of Japanese text so
// that the line still decodes, using the replacement characters.

#include "repair/part_codes.h"
#include "repair/repair_options.h"
#include "repair/step_end.h"

#include <vector>

namespace keldor::repair {

// Each changes `line` in place and never changes its size; each repairs only
// the first run of lost bytes. On PastLineEnd the line keeps what was filled.
[[nodiscard]] StepEnd repairJisLine(Bytes& line, const RepairOptions& options);
[[nodiscard]] StepEnd repairSjisLine(Bytes& line, const RepairOptions& options);
[[nodiscard]] StepEnd repairEucLine(Bytes& line, const RepairOptions& options);

using TextRepairer = StepEnd (*)(Bytes& line, const RepairOptions& options);

// The repairer of a charset; nullptr for Charset::None.
TextRepairer textRepairerFor(Charset charset);

// Repairs every run of lost bytes in one line of decoded text, last to
// first, where the repairer itself fills only the first: for text that was
// decoded from a transfer encoding, whose lines may span several runs.
// Stops when a run is not filled; what is left stays lost.
void repairTextRuns(Bytes& line, TextRepairer repairText, const RepairOptions& options);

// repairTextRuns over a line decoded from a transfer encoding, in which
// only the 0x00 bytes at indices where `lost` is true were lost: the others
// came from intact characters (an "=00", an "AAAA") and stay 0x00. What no
// repair filled becomes the half-width replacement, so that it still
// decodes to a character. `lost` may be shorter than the line; the bytes
// past it are none of them intact 0x00 bytes.
void repairDecodedTextLine(Bytes& line, const std::vector<bool>& lost, TextRepairer repairText,
                           const RepairOptions& options);

} // namespace keldor::repair
