#include "engine/recovery_run.h"

#include "engine/dbx_layout.h"
#include "engine/deleted_reassembly.h"
#include "engine/output_folder.h"
#include "engine/run_flags.h"
#include "engine/run_messages.h"

#include <algorithm>
#include <array>
#include <optional>

namespace keldor::engine {

namespace {

constexpr std::size_t kRecordsPerProgressStep = 100;

// Brent's cycle finding over the chain, so that a loop is noticed after at
// most about twice its length without remembering every offset seen.
class LoopWatch {
public:
    // True when `offset` closes a loop.
    bool seenBefore(std::uint64_t offset) {
        if (offset == anchor_) {
            return true;
        }
        if (++steps_ == power_) {
            anchor_ = offset;
            power_ *= 2;
            steps_ = 0;
        }
        return false;
    }
    [[nodiscard]] std::size_t loopLength() const { return steps_ + 1; }

private:
    std::uint64_t anchor_ = UINT64_MAX;
    std::size_t power_ = 1;
    std::size_t steps_ = 0;
};

// The deleted chain as a run's producer: pass 1 lists the chain, pass 2
// reads it back from its end and puts the messages together, the four lost
// bytes of each record replaced by what is certain of them.
class DeletedChain final : public MessageProducer {
public:
    void list(const platform::ReadOnlyFile& mailbox, const dbx::MailboxHeader* header,
              PacedView& view, RunReport& report) override;
    bool produce(MessageWriters& writers, WritingProgress& progress, RunReport& report) override;

private:
    const platform::ReadOnlyFile* mailbox_ = nullptr;
    std::vector<std::uint64_t> records_;
};

void DeletedChain::list(const platform::ReadOnlyFile& mailbox, const dbx::MailboxHeader* header,
                        PacedView& view, RunReport& report) {
    mailbox_ = &mailbox;
    records_ = listDeletedChain(mailbox, header->deletedChainHead, [&view](std::size_t count) {
        if (count % kRecordsPerProgressStep == 0) {
            view.setText(StatusControl::Message,
                         listedRecordsText(static_cast<std::int64_t>(count)));
            view.showPhase(RunPhase::Listing, static_cast<std::int64_t>(count), 0);
            view.processEvents();
        }
        return !StopRequested;
    });
    report.recordCount = static_cast<std::int64_t>(records_.size());
}

bool DeletedChain::produce(MessageWriters& writers, WritingProgress& progress, RunReport&) {
    MessageWriter& writer = *writers.front();
    const dbx::RecordReader reader(*mailbox_);
    const auto total = static_cast<std::int64_t>(records_.size());
    std::size_t index = records_.size();
    DeletedReassembly reassembly(writer, [&] {
        progress.step(total - static_cast<std::int64_t>(index), total);
    });
    dbx::DeletedRecord record;
    while (index-- > 0) {
        // A record that cannot be read back (the file changed under us, an
        // I/O error) reads as an empty record: it ends the current message.
        reader.read(records_[index], record);
        if (!reassembly.add(record, index == 0)) {
            return false;
        }
        if (!reassembly.messageOpen() && StopRequested) {
            return true;
        }
    }
    return true;
}

} // namespace

Text outputFolderName(const std::tm& localTime) {
    return stampedFolderName(kRecoverFolderStem, localTime);
}

std::vector<std::uint64_t> listDeletedChain(const platform::ReadOnlyFile& file, std::uint32_t head,
                                            const std::function<bool(std::size_t)>& onRecord) {
    std::vector<std::uint64_t> records;
    if (head == 0) {
        return records;
    }
    const std::uint64_t capacity = file.size() / dbx::kRecordSize;
    const dbx::RecordReader reader(file);
    LoopWatch loop;
    std::uint64_t offset = head;
    for (std::optional<std::uint32_t> link;
         records.size() < capacity && (link = reader.readChainLink(offset));) {
        if (loop.seenBefore(offset)) {
            // Cut the list where the loop first came round again.
            // `offset` would be entry records.size(); the loop closes there.
            const std::size_t length = loop.loopLength();
            const auto entry = [&](std::size_t index) {
                return index < records.size() ? records[index] : offset;
            };
            std::size_t start = 0;
            while (entry(start) != entry(start + length)) {
                ++start;
            }
            records.resize(start + length);
            break;
        }
        records.push_back(offset);
        if (!onRecord(records.size()) || *link == 0) {
            break;
        }
        offset = *link;
    }
    return records;
}

RunReport recoverMailbox(const std::filesystem::path& mailboxPath, RunView& window,
                         const repair::RepairOptions& options, const RunSettings& settings) {
    RunCommand command;
    command.folderStem = kRecoverFolderStem;
    command.writingVerb = kRecoverVerb;
    command.listingMessage = kListingDeletedRecords;
    command.folderBeforeHeader = true;
    command.closingMessage = true;
    command.repairs = {&options};
    DeletedChain chain;
    return runMailbox(mailboxPath, window, command, chain, settings);
}

} // namespace keldor::engine
