#pragma once
// The two transfer encodings of MIME encoded words, decoded leniently: they
// never reject input, because the words come from mail with lost bytes.

#include "platform/bytes.h"

namespace keldor::charset {

// Base64 (the B encoding). The output length is 3/4 of the input length,
// rounded half to even, less one or two for a closing "=" or "==". Every
// character takes its place in a group of four; one outside the alphabet
// (blank, "=", line break, anything non-ASCII) counts as zero bits. A
// group cut off by the end gives 0x00 bytes.
[[nodiscard]] Bytes decodeBase64(TextView encoded);

// Quoted-printable (the Q encoding). "=" with two characters after it gives
// the byte of their leading hexadecimal digits (0 when there is none), or
// nothing for "=" CR LF; an "=" among the last two characters, and every
// other character, gives the low eight bits of its code. "_" stays "_".
[[nodiscard]] Bytes decodeQuotedPrintable(TextView encoded);

} // namespace keldor::charset
