#pragma once

#include "platform/bytes.h"

namespace keldor::charset {

// Two-byte Shift_JIS codes to their JIS X 0208 row/cell bytes as written
// inside ISO-2022-JP, code by code. The input is taken in pairs; a last odd
// byte is dropped. Lead bytes are not range-checked: codes from 0xF0 on give
// first bytes above 0x7E, as the arithmetic gives them.
Bytes sjisToJis(ByteView sjis);

} // namespace keldor::charset
