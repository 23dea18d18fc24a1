#pragma once
// One whole extraction of the live messages of a mailbox file: the frame's
// run with the index tree as producer. Every live message is written byte
// for byte as one file, then renamed and dated as a recovery's are. Nothing
// is repaired: live messages have lost nothing.

#include "engine/run_frame.h"

#include <optional>

namespace keldor::engine {

// The same report as every run's; extract fills headerCount, listedCount,
// withoutText, damage and cut.
using ExtractReport = RunReport;

// "メール抽出" followed by the local date and time as YYYYMMDDhhmmss.
Text extractFolderName(const std::tm& localTime);

// Extracts the live messages of `mailboxPath` into a new folder under the
// view's output location: `folderName` when given, else extractFolderName
// of now; a taken name gets "_2", "_3", …. The header is checked before the
// folder is made, so a refused file leaves nothing behind. Never modifies
// the mailbox; a damaged tree or chain ends that branch or message. Clears
// StopRequested at the start and stops after a message when it is set.
// Shows failures through the view (no closing report) and returns what
// happened, with every file in RunReport::files.
ExtractReport extractMailbox(const std::filesystem::path& mailboxPath, RunView& view,
                             const std::optional<Text>& folderName = std::nullopt);

// The same with the run's settings; the report always lists the files.
ExtractReport extractMailbox(const std::filesystem::path& mailboxPath, RunView& view,
                             const RunSettings& settings);

} // namespace keldor::engine
