#pragma once
// Code page 932: Shift_JIS as Windows extends it (NEC and IBM extensions),
// including the single bytes Windows maps and iconv does not:
// 0x80 -> U+0080, 0xA0 -> U+F8F0, 0xFD..0xFF -> U+F8F1..U+F8F3.

#include "platform/bytes.h"

#include <optional>

namespace keldor::platform {

// The character that stands for bytes that do not decode.
constexpr char16_t kCp932Invalid = u'\u30FB'; // KATAKANA MIDDLE DOT

// True for the first byte of a two-byte code (0x81..0x9F, 0xE0..0xFC).
bool isCp932LeadByte(unsigned byte);

// Bytes to text. Never fails. A lead byte followed by a byte in the trail
// range (0x40..0x7E, 0x80..0xFC) is one code: it becomes its character, or
// U+30FB when the pair is unassigned. A lead byte followed by anything else,
// or standing last, becomes U+30FB on its own and the next byte is decoded
// afresh.
Text cp932ToText(ByteView bytes);

// Text to bytes. nullopt when a character has no code page 932 form
// (including surrogates).
std::optional<Bytes> textToCp932(TextView text);

} // namespace keldor::platform
