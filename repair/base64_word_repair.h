#pragma once
// Repairs the base64 text of one encoded word in a header line: decodes it
// while tracking which decoded bytes depend on a lost character, lets the
// text repairer of the word's character set fill them, and encodes the
// result back into the same places.

#include "repair/repair_options.h"
#include "repair/step_end.h"

#include <cstddef>

namespace keldor::repair {

// The encoded text is line[start, end): the characters between "?B?" and the
// closing "?=". A group of four characters that lost one of them, or whose
// bytes the text repair changed, is rewritten: its base64 characters and
// lost bytes; "=" and other bytes stay. Every other group is left as it is,
// so intact text comes back byte for byte. Never changes the line's size; a
// range that reaches past the line is not touched (PastLineEnd), an empty or
// reversed one is left alone.
[[nodiscard]] StepEnd repairBase64Jis(Bytes& line, std::size_t start, std::size_t end,
                                      const RepairOptions& options);
[[nodiscard]] StepEnd repairBase64Sjis(Bytes& line, std::size_t start, std::size_t end,
                                       const RepairOptions& options);
[[nodiscard]] StepEnd repairBase64Euc(Bytes& line, std::size_t start, std::size_t end,
                                      const RepairOptions& options);

} // namespace keldor::repair
