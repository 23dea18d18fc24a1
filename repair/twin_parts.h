#pragma once
// A multipart/alternative holds the same text twice, as text/plain and as
// text/html. Lost bytes of either part are brought back from the other
// where the other's text decides them.

#include "platform/bytes.h"

#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <span>

namespace keldor::repair {

// How much of a message the twin repair reads: an alternative that begins
// later is left to the line repairs.
inline constexpr std::size_t kTwinScanLimit = 1024 * 1024;

// For every multipart/alternative in `message` whose text/plain and
// text/html parts have undamaged headers (7bit, 8bit, quoted-printable or
// base64; ISO-2022-JP, Shift_JIS, EUC-JP, US-ASCII or ISO-8859-1), fills
// lost (0x00) bytes of one part where the other part's text decides them:
// a byte is filled only when every fill of its lost run that makes the
// part decode to the other part's text, with at least 8 agreeing
// characters before and after the run and over every place the text
// before it matches, gives that byte. Parts are read up to 256 KiB each.
// Changes nothing but lost bytes, never the size; damaged structure or
// text only leaves more bytes lost. Returns how many bytes it filled.
std::int64_t restoreTwinParts(std::span<char> message);

// The same over the first kTwinScanLimit bytes of a message file, the
// filled bytes written back in place. A file that cannot be read or
// written is left as it is (0).
std::int64_t restoreTwinPartsInFile(const std::filesystem::path& file);

} // namespace keldor::repair
