#pragma once
// One whole recovery of a mailbox file: open it, make the output folder,
// check the header, walk the deleted-record chain, write one file per message,
// repair each, rename them all, report.

#include "engine/rename_pass.h"
#include "engine/run_view.h"
#include "platform/files.h"
#include "repair/repair_options.h"

#include <cstdint>
#include <ctime>
#include <filesystem>
#include <functional>
#include <optional>
#include <vector>

namespace keldor::engine {

enum class RunOutcome {
    Completed,         // the run went through (also when nothing was found, or it was stopped)
    CouldNotOpen,      // the mailbox file could not be opened
    FolderNotCreated,  // the output folder did not exist after creating it
    NotOutlookExpress, // first header word wrong
    NotMessageFile,    // second header word wrong
    WriteFailed,       // a message file could not be written; the run stopped
};

// What the run did, for the front ends' own reports.
struct RunReport {
    RunOutcome outcome = RunOutcome::Completed;
    Text message;                       // the text of the failure message shown, if any
    std::filesystem::path outputFolder; // empty when it was not created
    std::int64_t recordCount = 0;       // records on the deleted-record chain
    int mailCount = 0;                  // message files written
    bool stopped = false;               // a stop was requested
    std::vector<RenamedFile> files;     // in the order written
};

// The platform's path separator as text.
#ifdef _WIN32
constexpr char16_t kPathSeparator = u'\\';
#else
constexpr char16_t kPathSeparator = u'/';
#endif

// directory + separator + name; no separator is added when directory already
// ends with one. An empty directory gives separator + name.
Text joinPath(TextView directory, TextView name);

// "メール復元" followed by the local date and time as YYYYMMDDhhmmss.
Text outputFolderName(const std::tm& localTime);

// Runs the whole recovery of `mailboxPath` through `view`. Never modifies the
// mailbox. Clears StopRequested at the start; stops at its checks when it is
// set. Shows its messages through the view and returns what happened.
// `folderName`, when given, is the name of the folder made under the
// view's output location instead of outputFolderName of now.
RunReport recoverMailbox(const std::filesystem::path& mailboxPath, RunView& view,
                         const repair::RepairOptions& options,
                         const std::optional<Text>& folderName = std::nullopt);

// The deleted-record chain as file offsets, in chain order. Ends at a zero
// link, a link whose record would run past the end of the file, or the first
// offset seen before; never lists more records than the file can hold.
// `onRecord` is called with the count after every record and may return
// false to stop the walk.
std::vector<std::uint64_t> listDeletedChain(const platform::ReadOnlyFile& file, std::uint32_t head,
                                            const std::function<bool(std::size_t)>& onRecord);

} // namespace keldor::engine
