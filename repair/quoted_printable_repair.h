#pragma once
// Repairs quoted-printable bodies of text in a Japanese charset (HTML and
// plain text) on their decoded text, so that a lost byte becomes a
// replacement character rather than a break in the charset's encoding.

#include "repair/part_codes.h"
#include "repair/repair_options.h"

#include <vector>

namespace keldor::repair {

// Repairs a whole quoted-printable body in ISO-2022-JP, Shift_JIS or
// EUC-JP, its lines as read with their lost bytes still 0x00. Puts back
// line breaks that a lost run took from the middle of a line; decodes the body while tracking which
// decoded bytes depended on a lost byte (a lost run can hold the "=" of an escape whose digits
// survived); repairs each decoded text line with the charset's text
// repairer; and writes the result back in quoted-printable form over the
// lost bytes and the surviving bytes of an escape or character that a run
// cut, dropping or adding half-width characters in single-byte text so
// that it fits, and writing the half-width character where it still does
// not. Leaves a lost byte lost only where nothing fits. Never changes a
// line's size; Charset::None leaves the lines as they are.
void repairQuotedPrintableTextBody(std::vector<Bytes>& lines, Charset charset,
                                   const RepairOptions& options);

} // namespace keldor::repair
