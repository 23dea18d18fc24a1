#pragma once
// Character set conversion for the tests, apart from the code under test:
// glibc's iconv on Linux; on Windows the system's code page 932 with the
// JIS arithmetic for ISO-2022-JP and EUC-JP written out here.

#include <optional>
#include <string>
#include <string_view>

namespace keldor::testing {

// Converts `in` from one charset to another ("UTF-8", "UTF-32LE",
// "ISO-2022-JP", "SHIFT_JIS", "CP932", "EUC-JP"). nullopt on any byte that
// does not convert, strictly. Output in ISO-2022-JP ends in ASCII.
std::optional<std::string> convertCharset(std::string_view in, const char* from, const char* to);

} // namespace keldor::testing
