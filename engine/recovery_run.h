#pragma once
// One whole recovery of a mailbox file: open it, make the output folder,
// check the header, walk the deleted-record chain, write one file per message,
// repair each, rename them all, report.

#include "engine/paced_view.h"
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
    Text detail;                        // the folder tried and the system's reason, when not made
    std::filesystem::path outputFolder; // empty when it was not created
    std::int64_t recordCount = 0;       // records on the deleted-record chain
    int mailCount = 0;                  // message files written
    bool stopped = false;               // a stop was requested
    std::vector<RenamedFile> files;     // in the order written; only with RunSettings::keepFileList
};

// How a run goes about its work. The defaults are the program's; tests and
// benchmarks change them.
// Messages up to this size are put together and repaired in memory, then
// written in one go; longer ones are streamed to their file and repaired
// there. The same bytes either way.
inline constexpr std::size_t kInMemoryMessageLimit = 1024 * 1024;

struct RunSettings {
    // When the window's event loop runs at the points the run names.
    EventPacing pacing;
    // The longest message held in memory; 0: every message goes through its file.
    std::size_t inMemoryLimit = kInMemoryMessageLimit;
    // Fill RunReport::files; costs memory in proportion to the mails found.
    bool keepFileList = false;
    // The name of the folder made under the view's output location; when
    // not given, outputFolderName of now.
    std::optional<Text> folderName;
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
// set. Lets the view handle its events at the run's points as paced by
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
