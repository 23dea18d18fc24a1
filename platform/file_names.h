#pragma once
// Naming files in the output folder: names Windows would refuse are refused
// here too (so a folder recovered on one system copies to the other intact),
// names too long for the file system are shortened, and a rename never
// replaces a file that is already there.

#include "platform/bytes.h"

#include <filesystem>
#include <system_error>

namespace keldor::platform {

// The most a file name may hold: 255 bytes of UTF-8 on Linux (and under
// Wine, whose files are Linux files), 255 UTF-16
// code units on Windows.
inline constexpr std::size_t kMaxFileNameLength = 255;

// True for a name that Windows refuses or that this file system cannot hold
// as written: empty; a control character (U+0001..U+001F) or NUL; one of
// \ / : * ? " < > |; a name ending in a blank or a dot; a device name (CON,
// PRN, AUX, NUL, COM1..COM9, LPT1..LPT9, with or without an extension); an
// unpaired surrogate (where names are
// UTF-8: Linux, and Wine); longer than kMaxFileNameLength.
[[nodiscard]] bool isRefusedFileName(TextView name);

// stem + ending, with stem cut at a character boundary where the whole would
// not fit kMaxFileNameLength; unchanged where it fits. `ending` (an extension,
// say, with a numbered suffix) is always kept whole.
[[nodiscard]] Text fitFileName(TextView stem, TextView ending);

// Renames `from` to `to` unless `to` exists. std::errc::file_exists when it
// does (nothing changed); another error for any other failure. Never
// replaces an existing file, not even for an instant.
[[nodiscard]] std::error_code renameNoReplace(const std::filesystem::path& from,
                                              const std::filesystem::path& to);

} // namespace keldor::platform
