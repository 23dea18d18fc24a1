#pragma once
// Header field and parameter names as their writer spelt them: matching
// them without regard to letter case, and filling their lost (0x00) bytes
// in the letter case that the surviving letters show.

#include "platform/bytes.h"

#include <string_view>

namespace keldor::repair {

// Whether `text` fits `line` at the 0-based `at`, letters matched without
// regard to case and a lost byte fitting any byte. `lostAny` tells whether
// a lost byte took part. Never reads past the line.
[[nodiscard]] bool fitsFolded(ByteView line, std::size_t at, std::string_view text,
                              bool* lostAny = nullptr);

// Replaces the lost bytes under `text` at the 0-based `at` by its bytes
// (fitsFolded first). A lost letter takes the case its writer shows: where
// the surviving letters of its word and kind (first letters of words, or
// the others) agree with `text`'s case, `text`'s; where they are all lower
// or all upper case, that case; otherwise the case of the nearest of them.
// "Content-transfer-en" and four lost bytes become "Content-transfer-encoding".
void fillInWritersCase(Bytes& line, std::size_t at, std::string_view text);

} // namespace keldor::repair
