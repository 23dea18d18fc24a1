#pragma once
// One whole rescue of a damaged mailbox file, or of a disk image holding
// one: the frame's run with the block scan as producer. Neither the header
// nor the deleted chain is trusted. The live messages go byte for byte into
// one folder, the deleted ones, put together and repaired as a recovery
// does, into another, both inside one new output folder.

#include "engine/run_frame.h"

#include <ctime>

namespace keldor::engine {

// "メール救出" followed by the local date and time as YYYYMMDDhhmmss.
Text rescueFolderName(const std::tm& localTime);

// Scans `mailboxPath` once and writes every message whose blocks were found
// into a new folder under the view's output location (the settings' folder
// name, else rescueFolderName of now; a taken name gets "_2", "_3", …):
// live messages into kLiveMailFolder, deleted ones into kDeletedMailFolder.
// Never modifies the file. Clears StopRequested at the start; stops during
// the scan and after a message when it is set. Shows its messages through
// the view, ends with the same closing message as a recovery, and returns
// what happened.
RunReport scanMailbox(const std::filesystem::path& mailboxPath, RunView& view,
                      const repair::RepairOptions& options, const RunSettings& settings = {});

} // namespace keldor::engine
