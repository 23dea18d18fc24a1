#pragma once
// Header field values to text: MIME encoded words of the Japanese charsets,
// and ISO-2022-JP that stands in a header unencoded.

#include "platform/bytes.h"

#include <optional>

namespace keldor::charset {

// Decodes the encoded words "=?iso-2022-jp?", "=?shift_jis?", "=?euc-jp?" and
// "=?utf-8?" in the B and Q encodings (prefixes matched without regard to
// case) in place, all words of one prefix before the next, and then, if the
// text holds an escape character, reads the whole text as ISO-2022-JP carried
// one byte per character. The input is the value as read from the file
// (code page 932 text).
// Lenient: a word without "?=" takes the rest of the text, words of other
// charsets stay as they are, blanks between words stay, "_" stays "_".
// nullopt: a word's bytes do not convert (see jisToText, utf8ToText).
[[nodiscard]] std::optional<Text> decodeHeaderText(TextView value);

} // namespace keldor::charset
