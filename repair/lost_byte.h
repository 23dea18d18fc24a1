#pragma once
// The byte recovery writes in place of each message byte a deleted record
// lost to its chain link (the first four of every 512), and that the repairs
// look for. The message's own 0x00 bytes look the same; the repairs that
// decode text tell them apart by position.

namespace keldor::repair {

inline constexpr char kLost = '\0';

} // namespace keldor::repair
