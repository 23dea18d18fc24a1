#include "engine/extract_run.h"

#include "engine/output_folder.h"
#include "engine/run_flags.h"
#include "engine/run_messages.h"

namespace keldor::engine {

namespace {

// The live index tree as a run's producer: the messages it lists, each
// passed on block by block as the file holds it.
class LiveTree final : public MessageProducer {
public:
    void list(const platform::ReadOnlyFile& mailbox, const dbx::MailboxHeader* header, PacedView&,
              RunReport& report) override {
        mailbox_ = &mailbox;
        report.headerCount = header->messageCount;
        index_ = listLiveMessages(mailbox, header->indexTreeRoot);
        report.listedCount = static_cast<std::int64_t>(index_.records.size());
        report.damage = index_.damage;
    }

    bool produce(MessageWriters& writers, WritingProgress& progress, RunReport& report) override {
        MessageWriter& writer = *writers.front();
        const auto total = static_cast<std::int64_t>(index_.records.size());
        for (std::size_t i = 0; i < index_.records.size() && !StopRequested; ++i) {
            if (!writeMessage(index_.records[i], writer, report)) {
                return false;
            }
            progress.step(static_cast<std::int64_t>(i) + 1, total);
        }
        return true;
    }

private:
    // One live message through the writer; false when a write failed.
    bool writeMessage(std::uint32_t record, MessageWriter& writer, RunReport& report) const {
        bool begun = false;
        const auto sink = [&](ByteView text) {
            // The file is begun with the first block, so that a record
            // without text leaves no file.
            if (!begun) {
                begun = true;
                if (!writer.begin()) {
                    return false;
                }
            }
            return writer.append(text);
        };
        const MessageEnd end = readLiveMessage(*mailbox_, record, sink, report.damage);
        if (end == MessageEnd::SinkFailed) {
            return false;
        }
        if (end == MessageEnd::NoText) {
            ++report.withoutText;
            return true;
        }
        if (!begun && !sink({})) { // a chain cut before its first block: an empty, cut file
            return false;
        }
        if (!writer.end()) {
            return false;
        }
        report.cut.push_back(end == MessageEnd::Cut);
        return true;
    }

    const platform::ReadOnlyFile* mailbox_ = nullptr;
    LiveIndex index_;
};

} // namespace

Text extractFolderName(const std::tm& localTime) {
    return stampedFolderName(kExtractFolderStem, localTime);
}

ExtractReport extractMailbox(const std::filesystem::path& mailboxPath, RunView& view,
                             const std::optional<Text>& folderName) {
    RunSettings settings;
    settings.folderName = folderName;
    return extractMailbox(mailboxPath, view, settings);
}

ExtractReport extractMailbox(const std::filesystem::path& mailboxPath, RunView& view,
                             const RunSettings& settings) {
    RunCommand command;
    command.folderStem = kExtractFolderStem;
    command.writingVerb = kExtractVerb;
    RunSettings listed = settings;
    listed.keepFileList = true;
    LiveTree tree;
    return runMailbox(mailboxPath, view, command, tree, listed);
}

} // namespace keldor::engine
