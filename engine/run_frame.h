#pragma once
// What every run of a mailbox file shares, whatever it looks for: the
// mailbox opened for reading only, the header checked, a fresh output
// folder claimed, the status area driven, every message written through one
// message writer, the rename pass, the window put back and the report. What
// differs between the commands is the producer, which finds the messages and
// hands them to the writer.

#include "engine/block_scan.h"
#include "engine/dbx_layout.h"
#include "engine/live_messages.h"
#include "engine/message_writer.h"
#include "engine/paced_view.h"
#include "engine/rename_pass.h"
#include "engine/run_view.h"
#include "platform/files.h"
#include "repair/repair_options.h"
#include "repair/restored_counts.h"

#include <cstdint>
#include <filesystem>
#include <memory>
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

// What the run did, for the front ends' own reports. The counts a command
// does not make stay 0.
struct RunReport {
    RunOutcome outcome = RunOutcome::Completed;
    Text message;                       // the text of the failure message shown, if any
    Text detail;                        // the folder tried and the system's reason, when not made
    std::filesystem::path outputFolder; // empty when it was not created
    int mailCount = 0;                  // message files written
    bool stopped = false;               // a stop was requested
    std::vector<RenamedFile> files;     // in the order written; only with RunSettings::keepFileList
    std::vector<int> outputCounts;      // files written into each output folder, in order
    repair::RestoredCounts restored;    // lost bytes brought back from a second copy

    // recover
    std::int64_t recordCount = 0; // records on the deleted-record chain

    // extract
    std::int64_t headerCount = 0; // live messages as the header counts them
    std::int64_t listedCount = 0; // messages the index tree lists
    int withoutText = 0;          // listed messages that hold no text (not written)
    LiveDamage damage;
    std::vector<bool> cut; // per written file: its block chain broke

    // scan
    ScanCounts scan;
    std::vector<OffsetGroup> offsetGroups;
    std::int64_t deletedWritten = 0; // of mailCount, the deleted messages
};

// How a run goes about its work. The defaults are the program's; tests and
// benchmarks change them.
struct RunSettings {
    // When the window's event loop runs at the points the run names.
    EventPacing pacing;
    // The longest message held in memory; 0: every message goes through its file.
    std::size_t inMemoryLimit = kInMemoryMessageLimit;
    // Fill RunReport::files; costs memory in proportion to the mails found.
    bool keepFileList = false;
    // The name of the folder made under the view's output location; when
    // not given, the command's stem and the local time of now.
    std::optional<Text> folderName;
};

// What a command asks of the frame.
struct RunCommand {
    Text folderStem;  // "メール復元": the output folder is this and the time
    Text writingVerb; // "復元": the status line reads "n通のメールを復元"
    // lblMessage while the messages are listed; empty: left as it is.
    Text listingMessage;
    // The output folder is made before the header is checked and stays
    // when the file is refused (recover); otherwise a refused file leaves
    // nothing behind.
    bool folderBeforeHeader = false;
    // The run ends with its own message: none found, or how many and
    // whether to open the folder.
    bool closingMessage = false;
    // The header is read and must be a mailbox's; otherwise the file is
    // taken as it is.
    bool checksHeader = true;
    // The folders inside the output folder that the messages go to, each
    // with its own numbering and rename pass; none: the output folder itself.
    std::vector<Text> outputFolders;
    // The repairs every message gets, per output (the last one given holds
    // for the rest); nullptr: written as read.
    std::vector<const repair::RepairOptions*> repairs;
};

// The writers of a run, one per output folder in the command's order.
using MessageWriters = std::vector<std::unique_ptr<MessageWriter>>;

// How far the writing has come, told to the view as the status area shows it.
class WritingProgress {
public:
    WritingProgress(RunView& view, const RunCommand& command, const MessageWriters& writers)
        : view_(view), command_(command), writers_(writers) {}
    // `done` of `total` units of the producer's work; then the window gets in.
    void step(std::int64_t done, std::int64_t total);

private:
    RunView& view_;
    const RunCommand& command_;
    const MessageWriters& writers_;
};

// Finds the messages of a mailbox and hands them to the writer.
class MessageProducer {
public:
    virtual ~MessageProducer() = default;
    // The listing phase, with Stop in place of Start and the busy pointer:
    // finds what is to be written. Stops early when StopRequested is
    // set; may tell the view its own progress. `header`: nullptr when the
    // command reads none.
    virtual void list(const platform::ReadOnlyFile& mailbox, const dbx::MailboxHeader* header,
                      PacedView& view, RunReport& report) = 0;
    // The writing phase: every message through the writer of its output,
    // progress after each. Stops after a message when StopRequested is set.
    // false when a write failed.
    virtual bool produce(MessageWriters& writers, WritingProgress& progress,
                         RunReport& report) = 0;
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

// Runs `command` on `mailboxPath` through `window` with `producer`. Never
// modifies the mailbox. Clears StopRequested before the work starts and
// stops at its checks when it is set. Shows its messages through the view
// and returns what happened.
RunReport runMailbox(const std::filesystem::path& mailboxPath, RunView& window,
                     const RunCommand& command, MessageProducer& producer,
                     const RunSettings& settings);

} // namespace keldor::engine
