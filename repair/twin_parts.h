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

// For every multipart/alternative in `message` (at most 8) whose text/plain
// and text/html parts can still be told with their charset (ISO-2022-JP,
// Shift_JIS, EUC-JP, US-ASCII or ISO-8859-1) and transfer encoding (7bit,
// 8bit, quoted-printable or base64), fills lost (0x00) bytes of one part
// where the other part's text decides them: a byte is filled only when
// every fill of its lost run that makes the part decode to the other
// part's text, with at least 8 agreeing characters before and after the
// run, at every place where the text before the run stands in the other
// part, gives that byte. Bytes inside a tag, tabs and line breaks are
// never taken as decided; in quoted-printable and base64 parts a run is
// filled whole or not at all. Parts are read up to 256 KiB each, and the
// search is bounded per run and per message. Changes nothing but lost
// bytes, never the size; damaged structure or text only leaves more bytes
// lost. Returns how many bytes it filled.
std::int64_t restoreTwinParts(std::span<char> message);

// The same over the first kTwinScanLimit bytes of a message file, the
// filled bytes written back in place. A file that cannot be read or
// written is left as it is (0).
std::int64_t restoreTwinPartsInFile(const std::filesystem::path& file);

} // namespace keldor::repair
