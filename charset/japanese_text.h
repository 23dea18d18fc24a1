#pragma once
// Bytes of Japanese mail text to UTF-16: ISO-2022-JP, Shift_JIS, EUC-JP and
// UTF-8. All of them are lenient: damaged input gives characters, one per
// byte or byte pair that could not be read, never an error, except where a
// function below says it gives nullopt. The output never holds more code
// units than the input has bytes.

#include "platform/bytes.h"

#include <optional>

namespace keldor::charset {

// ISO-2022-JP. Knows ESC ( B, ESC ( J, ESC ( I, ESC $ @, ESC $ B, SO and SI;
// any other escape byte is dropped and what follows it is read in the
// current mode. Raw Shift_JIS between the escapes (ASCII mode) is read as
// Shift_JIS. A kanji pair cut off by the end of the input, or one that has no
// character, gives U+30FB.
// nullopt: in ASCII mode the last byte is a Shift_JIS lead byte
// (0x81..0x9F, 0xE0..0xEF).
[[nodiscard]] std::optional<Text> jisToText(ByteView bytes);

// jisToText on a text that carries one ISO-2022-JP byte per character (the
// low eight bits of each code unit; anything above U+00FF loses its high bits).
[[nodiscard]] std::optional<Text> jisCharsToText(TextView chars);

// Shift_JIS as code page 932; invalid sequences give U+30FB.
[[nodiscard]] Text sjisToText(ByteView bytes);

// EUC-JP, two bytes per character from 0x81 on. The single shifts (0x8E,
// 0x8F) are not known: they are read as the first byte of an ordinary pair.
// A pair without a character, or cut off by the end, gives U+30FB.
[[nodiscard]] Text eucToText(ByteView bytes);

// UTF-8 without validation: continuation bytes are taken whatever their top
// bits, a stray continuation byte starts a three-byte sequence, and a
// four-byte sequence (lead 0xF0..0xF7) becomes a surrogate pair (U+FFFD
// above U+10FFFF). Leads 0xF8..0xFF are read as three-byte leads.
// nullopt: a sequence runs past the end of the input.
[[nodiscard]] std::optional<Text> utf8ToText(ByteView bytes);

// The Shift_JIS code of a JIS X 0208 pair (row and cell bytes 0x21..0x7E),
// by the arithmetic of JIS X 0208; pairs outside the rows and cells go
// through the same formulas. nullopt when a computed byte falls outside
// 0x00..0xFF.
[[nodiscard]] std::optional<Bytes> jisPairToSjis(int j1, int j2);

} // namespace keldor::charset
