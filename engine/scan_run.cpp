#include "engine/scan_run.h"

#include "engine/deleted_reassembly.h"
#include "engine/output_folder.h"
#include "engine/run_flags.h"
#include "engine/run_messages.h"

namespace keldor::engine {

namespace {

// The outputs of a rescue, in RunCommand::outputFolders' order.
constexpr std::size_t kLiveOutput = 0;
constexpr std::size_t kDeletedOutput = 1;

// The block scan as a run's producer.
class BlockScan final : public MessageProducer {
public:
    void list(const platform::ReadOnlyFile& mailbox, const dbx::MailboxHeader*, PacedView& view,
              RunReport& report) override {
        mailbox_ = &mailbox;
        int shown = -1;
        scan_ = scanMailboxBlocks(mailbox, [&](std::uint64_t done, std::uint64_t total) {
            const int percent =
                total == 0 ? 100
                           : static_cast<int>(static_cast<double>(done) /
                                              static_cast<double>(total) * 100.0);
            if (percent != shown) {
                shown = percent;
                view.setText(StatusControl::Message, scanningText(percent));
            }
            view.showPhase(RunPhase::Listing, static_cast<std::int64_t>(done),
                           static_cast<std::int64_t>(total));
            view.processEvents();
            return !StopRequested;
        });
        report.scan = scan_.counts();
        report.offsetGroups = scan_.groups();
        report.recordCount = static_cast<std::int64_t>(scan_.counts().deletedBlocks);
    }

    bool produce(MessageWriters& writers, WritingProgress& progress, RunReport& report) override {
        const auto total = static_cast<std::int64_t>(scan_.messageCount());
        for (std::size_t i = 0; i < scan_.messageCount() && !StopRequested; ++i) {
            const ScannedMessage message = scan_.message(i);
            // A piece without the start of its mail is counted, not written:
            // it would be a file of no header, and stale blocks of old mail
            // would bury the messages under such files.
            const bool done = message.fragment ? true
                              : message.kind == BlockKind::Live
                                  ? writeLive(message, *writers[kLiveOutput])
                                  : writeDeleted(message, *writers[kDeletedOutput]);
            if (!done) {
                return false;
            }
            progress.step(static_cast<std::int64_t>(i) + 1, total);
        }
        report.deletedWritten = writers[kDeletedOutput]->written().count;
        return true;
    }

private:
    // Byte for byte, as the index tree's reading writes it.
    bool writeLive(const ScannedMessage& message, MessageWriter& writer) const {
        if (!writer.begin()) {
            return false;
        }
        const PieceReadEnd end = readScannedMessage(
            *mailbox_, scan_, message, [&](ByteView bytes) { return writer.append(bytes); });
        // A block that can no longer be read ends the message where it is.
        return end != PieceReadEnd::SinkFailed && writer.end();
    }

    // Through the same reassembly as the deleted chain's records: a hole
    // becomes a record of lost bytes.
    bool writeDeleted(const ScannedMessage& message, MessageWriter& writer) const {
        DeletedReassembly reassembly(writer, [] {});
        std::size_t left = message.pieceCount;
        bool written = true;
        forEachScannedRecord(*mailbox_, scan_, message, [&](const dbx::DeletedRecord* record) {
            --left;
            written = record != nullptr ? reassembly.add(*record, left == 0) : reassembly.addLost();
            return written;
        });
        return written && reassembly.finish();
    }

    const platform::ReadOnlyFile* mailbox_ = nullptr;
    ScanResult scan_;
};

} // namespace

Text rescueFolderName(const std::tm& localTime) {
    return stampedFolderName(kRescueFolderStem, localTime);
}

RunReport scanMailbox(const std::filesystem::path& mailboxPath, RunView& view,
                      const repair::RepairOptions& options, const RunSettings& settings) {
    RunCommand command;
    command.folderStem = kRescueFolderStem;
    command.writingVerb = kRescueVerb;
    command.listingMessage = scanningText(0);
    command.checksHeader = false;
    command.closingMessage = true;
    command.outputFolders = {Text(kLiveMailFolder), Text(kDeletedMailFolder)};
    command.repairs = {nullptr, &options};
    BlockScan scan;
    return runMailbox(mailboxPath, view, command, scan, settings);
}

} // namespace keldor::engine
