#include "engine/extract_run.h"

#include "engine/dbx_layout.h"
#include "engine/output_folder.h"
#include "engine/run_flags.h"
#include "engine/run_messages.h"
#include "platform/text.h"

#include <array>

namespace keldor::engine {

namespace {

void showProgress(RunView& view, std::size_t done, std::size_t total, int written) {
    const int percent =
        static_cast<int>(static_cast<double>(done) / static_cast<double>(total) * 100.0);
    view.setProgress(percent);
    view.setText(StatusControl::Percent, platform::toText(percent) + u"%");
    view.setText(StatusControl::Status, platform::toText(written) + u"通のメールを抽出");
}

// Writes one live message to its temporary file. false when the write failed;
// report.message then says which file and why.
bool writeMessage(const platform::ReadOnlyFile& mailbox, std::uint32_t record,
                  const std::filesystem::path& folder, ExtractReport& report) {
    std::optional<platform::OutputFile> out;
    std::filesystem::path path;
    std::error_code error;
    const auto fail = [&] {
        out.reset();
        report.outcome = RunOutcome::WriteFailed;
        report.message = writeFailedMessage(path, error);
        return false;
    };
    const auto sink = [&](ByteView text) {
        if (!out) {
            // The file is made with the first block, so that a record
            // without text leaves no file.
            path = folder / temporaryFileName(report.mailCount + 1);
            out = platform::OutputFile::create(path, error);
            if (!out) {
                return false;
            }
            ++report.mailCount;
        }
        error = out->write(text);
        return !error;
    };
    const MessageEnd end = readLiveMessage(mailbox, record, sink, report.damage);
    if (end == MessageEnd::SinkFailed) {
        return fail();
    }
    if (end == MessageEnd::NoText) {
        ++report.withoutText;
        return true;
    }
    if (!out && !sink({})) { // a chain cut before its first block: an empty, cut file
        return fail();
    }
    error = out->close();
    if (error) {
        return fail();
    }
    report.cut.push_back(end == MessageEnd::Cut);
    return true;
}

} // namespace

Text extractFolderName(const std::tm& localTime) {
    return stampedFolderName(u"メール抽出", localTime);
}

ExtractReport extractMailbox(const std::filesystem::path& mailboxPath, RunView& view,
                             const std::optional<Text>& folderName) {
    ExtractReport report;
    const auto failed = [&](RunOutcome outcome, Text message, MessageIcon icon) {
        report.outcome = outcome;
        report.message = std::move(message);
        view.showMessage(report.message, icon, MessageButtons::Ok);
        return report;
    };

    std::error_code openError;
    const std::optional<platform::ReadOnlyFile> mailbox =
        platform::ReadOnlyFile::open(mailboxPath, openError);
    std::array<char, dbx::kHeaderSize> headerBlock{};
    const std::optional<std::size_t> headerRead =
        mailbox ? mailbox->readAt(0, headerBlock) : std::nullopt;
    if (!headerRead) {
        return failed(RunOutcome::CouldNotOpen, couldNotOpenMessage(mailboxPath),
                      MessageIcon::Warning);
    }
    const std::optional<dbx::MailboxHeader> header =
        dbx::parseHeader(ByteView(headerBlock.data(), *headerRead));
    const dbx::HeaderCheck check = dbx::checkHeader(header);
    if (check != dbx::HeaderCheck::Accepted) {
        return failed(check == dbx::HeaderCheck::NotOutlookExpressFile
                          ? RunOutcome::NotOutlookExpress
                          : RunOutcome::NotMessageFile,
                      headerMessage(check), MessageIcon::Warning);
    }
    report.headerCount = header->messageCount;

    std::error_code folderError;
    const Text folderPath =
        joinPath(view.outputLocation(), folderName ? *folderName : extractFolderName(localNow()));
    const std::optional<std::filesystem::path> folder = claimOutputFolder(folderPath, folderError);
    if (!folder) {
        report.detail = folderFailureDetail(folderPath, folderError);
        return failed(RunOutcome::FolderNotCreated, folderNotCreatedMessage(), MessageIcon::Error);
    }
    report.outputFolder = *folder;

    StopRequested = false;
    view.setVisible(StatusControl::StartButton, false);
    view.setVisible(StatusControl::StopButton, true);
    view.setBusy(true);
    const LiveIndex index = listLiveMessages(*mailbox, header->indexTreeRoot);
    report.listedCount = static_cast<std::int64_t>(index.records.size());
    report.damage = index.damage;

    view.setVisible(StatusControl::Message, false);
    view.setVisible(StatusControl::Proc, true);
    view.setVisible(StatusControl::Progress, true);
    view.setVisible(StatusControl::Percent, true);
    view.setVisible(StatusControl::Status, true);
    bool written = true;
    for (std::size_t i = 0; i < index.records.size() && written && !StopRequested; ++i) {
        written = writeMessage(*mailbox, index.records[i], *folder, report);
        showProgress(view, i + 1, index.records.size(), report.mailCount);
        view.processEvents();
    }

    view.setVisible(StatusControl::Proc, false);
    if (written) {
        view.setVisible(StatusControl::Rename, true);
        report.files = renameMessageFiles(*folder, report.mailCount, view);
    }
    restoreStatusArea(view);
    report.stopped = StopRequested;
    if (!written) {
        view.showMessage(report.message, MessageIcon::Error, MessageButtons::Ok);
    }
    return report;
}

} // namespace keldor::engine
