#include "engine/run_frame.h"

#include "engine/header_echoes.h"
#include "engine/output_folder.h"
#include "engine/run_flags.h"
#include "engine/run_messages.h"
#include "platform/text.h"

#include <algorithm>
#include <array>
#include <functional>

namespace keldor::engine {

namespace {

// A run that could not start: its message shown, nothing else done.
RunReport& refuse(RunReport& report, RunView& view, RunOutcome outcome, Text message,
                  MessageIcon icon) {
    report.outcome = outcome;
    report.message = std::move(message);
    view.showMessage(report.message, icon, MessageButtons::Ok);
    return report;
}

// The header as far as the file has one; the outcome that refuses it, if any.
std::optional<RunOutcome> readHeader(const platform::ReadOnlyFile& mailbox,
                                     std::optional<dbx::MailboxHeader>& header) {
    std::array<char, dbx::kHeaderSize> block{};
    const std::optional<std::size_t> read = mailbox.readAt(0, block);
    if (!read) {
        return RunOutcome::CouldNotOpen;
    }
    header = dbx::parseHeader(ByteView(block.data(), *read));
    switch (dbx::checkHeader(header)) {
    case dbx::HeaderCheck::Accepted:
        return std::nullopt;
    case dbx::HeaderCheck::NotOutlookExpressFile:
        return RunOutcome::NotOutlookExpress;
    case dbx::HeaderCheck::NotMessageFile:
        return RunOutcome::NotMessageFile;
    }
    return RunOutcome::NotOutlookExpress;
}

} // namespace

Text joinPath(TextView directory, TextView name) {
    Text path(directory);
    if (path.empty() || path.back() != kPathSeparator) {
        path += kPathSeparator;
    }
    path += name;
    return path;
}

// Pass 2 truncates: a message is shown done only when it is.
void WritingProgress::step(std::int64_t done, std::int64_t total) {
    const int percent =
        static_cast<int>(static_cast<double>(done) / static_cast<double>(total) * 100.0);
    view_.setProgress(percent);
    view_.setText(StatusControl::Percent, percentText(percent));
    std::int64_t written = 0;
    for (const auto& writer : writers_) {
        written += writer->written().count;
    }
    view_.setText(StatusControl::Status, mailStatusText(written, command_.writingVerb));
    view_.showPhase(RunPhase::Writing, done, total);
    view_.processEvents();
}

RunReport runMailbox(const std::filesystem::path& mailboxPath, RunView& window,
                     const RunCommand& command, MessageProducer& producer,
                     const RunSettings& settings) {
    RunReport report;
    PacedView view(window, settings.pacing);

    // 1. The mailbox, for reading only.
    std::error_code openError;
    const std::optional<platform::ReadOnlyFile> mailbox =
        platform::ReadOnlyFile::open(mailboxPath, openError);
    if (!mailbox) {
        return refuse(report, view, RunOutcome::CouldNotOpen, couldNotOpenMessage(mailboxPath),
                      MessageIcon::Warning);
    }

    // 2. A fresh output folder, this run's alone: a run started in the same
    // second gets "_2", "_3", … rather than writing over this one's files.
    // 3. The header; a short file gives what it has. Recovery makes its
    // folder first; the other commands check first, so that a refused file
    // leaves nothing behind.
    const auto claimFolder = [&]() -> bool {
        std::error_code folderError;
        const Text folderPath =
            joinPath(view.outputLocation(),
                     settings.folderName ? *settings.folderName
                                         : stampedFolderName(command.folderStem, localNow()));
        const std::optional<std::filesystem::path> claimed =
            claimOutputFolder(folderPath, folderError);
        if (!claimed) {
            report.detail = folderFailureDetail(folderPath, folderError);
            refuse(report, view, RunOutcome::FolderNotCreated, folderNotCreatedMessage(),
                   MessageIcon::Error);
            return false;
        }
        report.outputFolder = *claimed;
        return true;
    };
    const auto checkHeader = [&](std::optional<dbx::MailboxHeader>& header) -> bool {
        const std::optional<RunOutcome> refused = readHeader(*mailbox, header);
        if (!refused) {
            return true;
        }
        if (*refused == RunOutcome::CouldNotOpen) {
            refuse(report, view, *refused, couldNotOpenMessage(mailboxPath), MessageIcon::Warning);
        } else {
            refuse(report, view, *refused,
                   headerMessage(*refused == RunOutcome::NotOutlookExpress
                                     ? dbx::HeaderCheck::NotOutlookExpressFile
                                     : dbx::HeaderCheck::NotMessageFile),
                   MessageIcon::Warning);
        }
        return false;
    };
    std::optional<dbx::MailboxHeader> header;
    const auto checks = [&] { return !command.checksHeader || checkHeader(header); };
    if (command.folderBeforeHeader ? !claimFolder() || !checks() : !checks() || !claimFolder()) {
        return report;
    }
    const std::filesystem::path folder = report.outputFolder;
    std::vector<std::filesystem::path> outputs;
    for (const Text& name : command.outputFolders) {
        outputs.push_back(folder / platform::toPath(name));
        std::error_code error;
        if (!std::filesystem::create_directory(outputs.back(), error)) {
            report.detail = folderFailureDetail(platform::pathText(outputs.back()), error);
            refuse(report, view, RunOutcome::FolderNotCreated, folderNotCreatedMessage(),
                   MessageIcon::Error);
            return report;
        }
    }
    if (outputs.empty()) {
        outputs.push_back(folder);
    }

    // 4-5. Pass 1: find the messages, with Stop in place of Start.
    if (!command.listingMessage.empty()) {
        view.setText(StatusControl::Message, command.listingMessage);
    }
    StopRequested = false;
    view.setVisible(StatusControl::StartButton, false);
    view.setVisible(StatusControl::StopButton, true);
    view.setBusy(true);
    view.showPhase(RunPhase::Listing, 0, 0);
    producer.list(*mailbox, header ? &*header : nullptr, view, report);
    view.endPhase();

    // 6. The status area switches to writing.
    view.setVisible(StatusControl::Message, false);
    view.setVisible(StatusControl::Proc, true);
    view.setVisible(StatusControl::Progress, true);
    view.setVisible(StatusControl::Percent, true);
    view.setVisible(StatusControl::Status, true);
    view.setProgress(0);
    view.setText(StatusControl::Percent, percentText(0));
    view.setText(StatusControl::Status, mailStatusText(0, command.writingVerb));
    view.showPhase(RunPhase::Writing, 0, 0);

    // 7-9. Pass 2: write, and repair where the command repairs.
    bool written = true;
    // Where the command repairs, the header lines the messages repeat bring
    // back each other's lost bytes; the messages written as read lend theirs.
    std::optional<HeaderEchoes> echoes;
    if (std::any_of(command.repairs.begin(), command.repairs.end(),
                    [](const repair::RepairOptions* repair) { return repair != nullptr; })) {
        echoes.emplace(folder);
    }
    MessageWriters writers;
    for (std::size_t i = 0; i < outputs.size(); ++i) {
        const repair::RepairOptions* repair =
            command.repairs.empty() ? nullptr
                                    : command.repairs[std::min(i, command.repairs.size() - 1)];
        writers.push_back(std::make_unique<MessageWriter>(
            outputs[i], repair, view, settings.inMemoryLimit, echoes ? &*echoes : nullptr, i));
    }
    if (!StopRequested) {
        WritingProgress progress(view, command, writers);
        written = producer.produce(writers, progress, report);
        view.endPhase();
    }
    for (const auto& writer : writers) {
        report.outputCounts.push_back(writer->written().count);
        report.mailCount += writer->written().count;
        report.restored += writer->restored();
        if (writer->failure()) {
            written = false;
            report.outcome = RunOutcome::WriteFailed;
            report.message = writeFailedMessage(writer->failure()->file, writer->failure()->error);
        }
    }

    // 10. Rename pass; skipped after a failed write, whose files keep their
    // temporary names for the user to look at. The repeated header lines
    // are restored first, as its opening: the names come from the result.
    view.setVisible(StatusControl::Proc, false);
    if (written) {
        view.setVisible(StatusControl::Rename, true);
        view.showPhase(RunPhase::Renaming, 0, report.mailCount);
        if (echoes && !StopRequested) {
            report.restored.otherMessages += echoes->restore(writers, view);
        }
        echoes.reset(); // its scratch file and memory are gone before the renaming
        std::function<void(const RenamedFile&)> keep;
        if (settings.keepFileList) {
            keep = [&report](const RenamedFile& file) { report.files.push_back(file); };
        }
        for (const auto& writer : writers) {
            renameMessageFiles(writer->written(), view, keep, &writer->infos());
        }
        view.endPhase();
    }
    writers
        .clear(); // the scratch files of their mail information are gone before the folder is shown

    // 11. Restore the window.
    restoreStatusArea(view);
    view.showPhase(RunPhase::Reporting, report.mailCount, report.mailCount);
    report.stopped = StopRequested;

    // 12. Report.
    if (!written) {
        view.showMessage(report.message, MessageIcon::Error, MessageButtons::Ok);
        return report;
    }
    if (ExitAfterStop || !command.closingMessage) {
        return report;
    }
    if (report.mailCount == 0) {
        view.showMessage(Text(kNoMailFound), MessageIcon::Information, MessageButtons::Ok);
    } else {
        const MessageAnswer answer = view.showMessage(mailFoundQuestion(report.mailCount),
                                                      MessageIcon::Question, MessageButtons::YesNo);
        if (answer == MessageAnswer::Yes) {
            view.openFolder(folder);
        }
    }
    return report;
}

} // namespace keldor::engine
