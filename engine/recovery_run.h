#pragma once
// One whole recovery of a mailbox file: open it, make the output folder,
// check the header, walk the deleted-record chain, write one file per message,
// repair each, rename them all, report.

#include "engine/run_frame.h"

#include <cstdint>
#include <ctime>
#include <filesystem>
#include <functional>
#include <vector>

namespace keldor::engine {

// "メール復元" followed by the local date and time as YYYYMMDDhhmmss.
Text outputFolderName(const std::tm& localTime);

// Runs the whole recovery of `mailboxPath` through `view`: the frame's run
// with the deleted chain as producer, every message repaired. Never modifies
// the mailbox. Clears StopRequested at the start; stops at its checks when
// it is set. Lets the view handle its events at the run's points as paced by
// `settings`, and always at the last point of a phase. Shows its messages
// through the view and returns what happened.
RunReport recoverMailbox(const std::filesystem::path& mailboxPath, RunView& view,
                         const repair::RepairOptions& options, const RunSettings& settings = {});

// The deleted-record chain as file offsets, in chain order. Ends at a zero
// link, a link whose record would run past the end of the file, or the first
// offset seen before; never lists more records than the file can hold.
// `onRecord` is called with the count after every record and may return
// false to stop the walk.
std::vector<std::uint64_t> listDeletedChain(const platform::ReadOnlyFile& file, std::uint32_t head,
                                            const std::function<bool(std::size_t)>& onRecord);

} // namespace keldor::engine
