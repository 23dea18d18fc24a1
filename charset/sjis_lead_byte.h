#pragma once
// The first byte of a two-byte Shift_JIS character as mail text and its
// repairs take it: 0x81..0x9F and 0xE0..0xEF, the lead bytes of the 94 rows
// of JIS X 0208. Code page 932's user-defined and IBM rows from 0xF0 on do
// not count here; platform::isCp932LeadByte counts them, for decoding code
// page 932 itself.

namespace keldor::charset {

constexpr bool isSjisLeadByte(unsigned b) {
    return (b >= 0x81 && b <= 0x9F) || (b >= 0xE0 && b <= 0xEF);
}

} // namespace keldor::charset
