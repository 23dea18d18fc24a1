#pragma once
// Small conversions between UTF-16 text, UTF-8 (terminal, JSON, Linux file
// names) and numbers. Mail bytes never pass through here: charset/ owns them.

#include "platform/bytes.h"

#include <cstdint>
#include <filesystem>
#include <string>

namespace keldor::platform {

// UTF-16 to UTF-8. A lone surrogate becomes U+FFFD.
std::string toUtf8(TextView text);

// UTF-8 to UTF-16. A malformed sequence becomes U+FFFD for each byte it spans.
Text fromUtf8(std::string_view utf8);

// Decimal digits without leading zeros, with a minus sign where negative.
Text toText(std::int64_t number);

// ASCII only: each byte becomes the code unit of the same value.
Text asciiText(std::string_view ascii);

// The value of a hexadecimal digit (either case), or -1.
int hexDigitValue(char32_t c);

// The value of a base64 digit ("A"-"Z", "a"-"z", "0"-"9", "+", "/"), or -1.
int base64DigitValue(char32_t c);

// The path of a text (UTF-8 on Linux, UTF-16 on Windows) and back.
std::filesystem::path toPath(TextView text);
Text pathText(const std::filesystem::path& path);

} // namespace keldor::platform
