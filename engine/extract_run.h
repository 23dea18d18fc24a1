#pragma once
// One whole extraction of the live messages of a mailbox file: open it,
// check the header, make the output folder, write every live message byte
// for byte as one file, then rename and date them all as a recovery does.
// Nothing is repaired: live messages have lost nothing.

#include "engine/live_messages.h"
#include "engine/recovery_run.h"

#include <optional>

namespace keldor::engine {

struct ExtractReport {
    RunOutcome outcome = RunOutcome::Completed;
    Text message;                       // the text of the failure message shown, if any
    Text detail;                        // the folder tried and the system's reason, when not made
    std::filesystem::path outputFolder; // empty when it was not created
    std::int64_t headerCount = 0;       // live messages as the header counts them
    std::int64_t listedCount = 0;       // messages the index tree lists
    int mailCount = 0;                  // message files written
    int withoutText = 0;                // listed messages that hold no text (not written)
    bool stopped = false;               // a stop was requested
    LiveDamage damage;
    std::vector<RenamedFile> files; // in the order written
    std::vector<bool> cut;          // per written file: its block chain broke
};

// "メール抽出" followed by the local date and time as YYYYMMDDhhmmss.
Text extractFolderName(const std::tm& localTime);

// Extracts the live messages of `mailboxPath` into a new folder under the
// view's output location: `folderName` when given, else extractFolderName
// of now; a taken name gets "_2", "_3", …. The header is checked before the
// folder is made, so a refused file leaves nothing behind. Never modifies
// the mailbox; a damaged tree or chain ends that branch or message. Clears
// StopRequested at the start and stops after a message when it is set.
// Shows failures through the view (no closing report) and returns what
// happened.
ExtractReport extractMailbox(const std::filesystem::path& mailboxPath, RunView& view,
                             const std::optional<Text>& folderName = std::nullopt);

} // namespace keldor::engine
