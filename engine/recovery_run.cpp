#include "engine/recovery_run.h"

#include "engine/dbx_layout.h"
#include "engine/mail_info_log.h"
#include "engine/output_folder.h"
#include "engine/repair_pipeline.h"
#include "engine/run_flags.h"
#include "engine/run_messages.h"
#include "platform/text.h"

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

// The four bytes written in place of the four a record's chain link took.
using SubstituteBytes = std::array<char, dbx::kLostBytesPerRecord>;

SubstituteBytes substituteBytes(bool firstOfMessage, bool endedWithCr, unsigned firstTextByte) {
    constexpr char kLost = 0x00;
    if (firstOfMessage) {
        // The colon of "From:" survived; its name did not.
        return firstTextByte == ':' ? SubstituteBytes{'F', 'r', 'o', 'm'}
                                    : SubstituteBytes{kLost, kLost, kLost, kLost};
    }
    // A CR that ended the previous record must be followed by LF, and an LF
    // that starts this one must be preceded by CR.
    const char first = endedWithCr ? '\n' : kLost;
    const char last = firstTextByte == '\n' ? '\r' : kLost;
    return SubstituteBytes{first, kLost, kLost, last};
}

bool startsNewMessageByContent(ByteView text) {
    static constexpr std::string_view kReturnPathTail = "rn-path: ";
    for (std::size_t i = 0; i < kReturnPathTail.size(); ++i) {
        unsigned c = byteAt(text, i);
        if (c >= 'A' && c <= 'Z') {
            c += 'a' - 'A';
        }
        if (c != static_cast<unsigned char>(kReturnPathTail[i])) {
            return false;
        }
    }
    return true;
}

// Pass 2 and the end of a run, over one open mailbox.
class Reassembly {
public:
    Reassembly(const platform::ReadOnlyFile& mailbox, const std::vector<std::uint64_t>& records,
               const std::filesystem::path& folder, RunView& view,
               const repair::RepairOptions& options, std::size_t inMemoryLimit, MailInfoLog& infos,
               RunReport& report)
        : reader_(mailbox), records_(records), folder_(folder), view_(view), options_(options),
          inMemoryLimit_(inMemoryLimit), infos_(infos), report_(report) {}

    // false when a write failed; report_.message then says which and why.
    bool run();

private:
    bool openMessage();
    bool write(ByteView bytes);
    bool createFile();
    bool finishMessage(std::size_t index);
    void showProgress(std::size_t index);
    bool fail(std::error_code error);

    dbx::RecordReader reader_;
    const std::vector<std::uint64_t>& records_;
    const std::filesystem::path& folder_;
    RunView& view_;
    const repair::RepairOptions& options_;
    const std::size_t inMemoryLimit_;
    MailInfoLog& infos_;
    RunReport& report_;

    // The current message: held in `held_` while it is no longer than the
    // limit, then in its file from the first byte on.
    bool holding_ = false;
    Bytes held_;
    std::optional<platform::OutputFile> out_;
    std::filesystem::path currentPath_;
};

bool Reassembly::run() {
    bool awaitingStart = true;
    bool endedWithCr = false;
    bool endedWithCrLf = false;
    dbx::DeletedRecord record;

    for (std::size_t i = records_.size(); i-- > 0;) {
        // A record that cannot be read back (the file changed under us, an
        // I/O error) reads as an empty record: it ends the current message.
        reader_.read(records_[i], record);
        const ByteView text = record.textView();

        if (!awaitingStart && !endedWithCrLf && startsNewMessageByContent(text)) {
            // "Return-Path: " lost its first four letters to the chain link:
            // a new message begins here although the last record was full.
            if (!finishMessage(i)) {
                return false;
            }
            awaitingStart = true;
        }

        const bool firstOfMessage = awaitingStart;
        if (awaitingStart) {
            if (!openMessage()) {
                return false;
            }
            awaitingStart = false;
        }
        const SubstituteBytes substitutes =
            substituteBytes(firstOfMessage, endedWithCr, byteAt(text, 0));
        if (!write(ByteView(substitutes.data(), substitutes.size()))) {
            return false;
        }

        const bool full = record.fullByLayout() && i != 0;
        if (full) {
            if (!write(text)) {
                return false;
            }
            const unsigned last = byteAt(text, dbx::kTextSize - 1);
            endedWithCr = last == '\r';
            endedWithCrLf = last == '\n' && byteAt(text, dbx::kTextSize - 2) == '\r';
        } else {
            const std::size_t end = std::min(text.find('\0'), text.size());
            if (!write(text.substr(0, end))) {
                return false;
            }
            awaitingStart = true;
        }

        if (awaitingStart) {
            if (!finishMessage(i)) {
                return false;
            }
            if (StopRequested) {
                return true;
            }
        }
    }
    return true;
}

bool Reassembly::openMessage() {
    ++report_.mailCount;
    currentPath_ = folder_ / temporaryFileName(report_.mailCount);
    if (inMemoryLimit_ > 0) {
        holding_ = true;
        held_.clear();
        return true;
    }
    return createFile();
}

bool Reassembly::createFile() {
    std::error_code error;
    out_ = platform::OutputFile::create(currentPath_, error);
    return out_ ? true : fail(error);
}

bool Reassembly::write(ByteView bytes) {
    if (holding_) {
        if (held_.size() + bytes.size() <= inMemoryLimit_) {
            held_ += bytes;
            return true;
        }
        // Too long to hold: from here on the message goes through its file.
        holding_ = false;
        if (!createFile() || !write(held_)) {
            return false;
        }
    }
    const std::error_code error = out_->write(bytes);
    return error ? fail(error) : true;
}

bool Reassembly::finishMessage(std::size_t index) {
    if (holding_) {
        // Repaired before it is written: the file gets the bytes that
        // writing it and repairing it in place would leave in it.
        holding_ = false;
        repairMessage(held_, options_, view_);
        infos_.add(mailinfo::mailInfoOf(held_));
        if (!createFile() || !write(held_)) {
            return false;
        }
        const std::error_code error = out_->close();
        out_.reset();
        if (error) {
            return fail(error);
        }
    } else {
        const std::error_code error = out_->close();
        out_.reset();
        if (error) {
            return fail(error);
        }
        repairMessageFile(currentPath_, options_, view_);
        infos_.add(std::nullopt);
    }
    showProgress(index);
    view_.processEvents();
    return true;
}

void Reassembly::showProgress(std::size_t index) {
    const double total = static_cast<double>(records_.size());
    const int percent = static_cast<int>((total - static_cast<double>(index)) / total * 100.0);
    view_.setProgress(percent);
    view_.setText(StatusControl::Percent, platform::toText(percent) + u"%");
    view_.setText(StatusControl::Status, platform::toText(report_.mailCount) + u"通のメールを復元");
}

bool Reassembly::fail(std::error_code error) {
    out_.reset();
    report_.outcome = RunOutcome::WriteFailed;
    report_.message = writeFailedMessage(currentPath_, error);
    return false;
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

Text outputFolderName(const std::tm& localTime) {
    return stampedFolderName(u"メール復元", localTime);
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
    RunReport report;
    PacedView view(window, settings.pacing);

    // 1. The mailbox, for reading only.
    std::error_code openError;
    const std::optional<platform::ReadOnlyFile> mailbox =
        platform::ReadOnlyFile::open(mailboxPath, openError);
    const auto couldNotOpen = [&] {
        report.outcome = RunOutcome::CouldNotOpen;
        report.message = couldNotOpenMessage(mailboxPath);
        view.showMessage(report.message, MessageIcon::Warning, MessageButtons::Ok);
        return report;
    };
    if (!mailbox) {
        return couldNotOpen();
    }

    // 2. A fresh output folder, this run's alone: a run started in the same
    // second gets "_2", "_3", … rather than writing over this one's files.
    std::error_code folderError;
    const Text folderPath =
        joinPath(view.outputLocation(),
                 settings.folderName ? *settings.folderName : outputFolderName(localNow()));
    const std::optional<std::filesystem::path> claimed = claimOutputFolder(folderPath, folderError);
    if (!claimed) {
        report.outcome = RunOutcome::FolderNotCreated;
        report.message = folderNotCreatedMessage();
        report.detail = folderFailureDetail(folderPath, folderError);
        view.showMessage(report.message, MessageIcon::Error, MessageButtons::Ok);
        return report;
    }
    const std::filesystem::path& folder = *claimed;
    report.outputFolder = folder;

    // 3. The header; a short file gives what it has.
    std::array<char, dbx::kHeaderSize> headerBlock{};
    const std::optional<std::size_t> headerRead = mailbox->readAt(0, headerBlock);
    if (!headerRead) {
        return couldNotOpen();
    }
    const std::optional<dbx::MailboxHeader> header =
        dbx::parseHeader(ByteView(headerBlock.data(), *headerRead));
    const dbx::HeaderCheck check = dbx::checkHeader(header);
    if (check != dbx::HeaderCheck::Accepted) {
        report.outcome = check == dbx::HeaderCheck::NotOutlookExpressFile
                             ? RunOutcome::NotOutlookExpress
                             : RunOutcome::NotMessageFile;
        report.message = headerMessage(check);
        view.showMessage(report.message, MessageIcon::Warning, MessageButtons::Ok);
        return report;
    }

    // 4-5. Pass 1: list the chain.
    view.setText(StatusControl::Message, u"削除レコードを復元しています。");
    StopRequested = false;
    view.setVisible(StatusControl::StartButton, false);
    view.setVisible(StatusControl::StopButton, true);
    view.setBusy(true);
    const std::vector<std::uint64_t> records =
        listDeletedChain(*mailbox, header->deletedChainHead, [&view](std::size_t count) {
            if (count % kRecordsPerProgressStep == 0) {
                view.setText(StatusControl::Message,
                             u"削除レコードを復元しています。(レコード件数=" +
                                 platform::toText(static_cast<std::int64_t>(count)) + u")");
                view.processEvents();
            }
            return !StopRequested;
        });
    report.recordCount = static_cast<std::int64_t>(records.size());
    view.endPhase();

    // 6. The status area switches to reassembly.
    view.setVisible(StatusControl::Message, false);
    view.setVisible(StatusControl::Proc, true);
    view.setVisible(StatusControl::Progress, true);
    view.setVisible(StatusControl::Percent, true);
    view.setVisible(StatusControl::Status, true);
    view.setProgress(0);
    view.setText(StatusControl::Percent, u"0%");
    view.setText(StatusControl::Status, u"0通のメールを復元");

    // 7-9. Pass 2: reassemble, write and repair.
    bool written = true;
    std::optional<MailInfoLog> infos(std::in_place, folder);
    if (!records.empty() && !StopRequested) {
        Reassembly reassembly(*mailbox, records, folder, view, options, settings.inMemoryLimit,
                              *infos, report);
        written = reassembly.run();
        view.endPhase();
    }

    // 10. Rename pass; skipped after a failed write, whose files keep their
    // temporary names for the user to look at.
    view.setVisible(StatusControl::Proc, false);
    if (written) {
        view.setVisible(StatusControl::Rename, true);
        std::function<void(const RenamedFile&)> keep;
        if (settings.keepFileList) {
            keep = [&report](const RenamedFile& file) { report.files.push_back(file); };
        }
        renameMessageFiles(folder, report.mailCount, view, keep, &*infos);
        view.endPhase();
    }
    infos.reset(); // its scratch file is gone before the folder is shown

    // 11. Restore the window.
    restoreStatusArea(view);
    report.stopped = StopRequested;

    // 12. Report.
    if (!written) {
        view.showMessage(report.message, MessageIcon::Error, MessageButtons::Ok);
        return report;
    }
    if (ExitAfterStop) {
        return report;
    }
    if (report.mailCount == 0) {
        view.showMessage(u"メールが見つかりませんでした。", MessageIcon::Information,
                         MessageButtons::Ok);
    } else {
        const MessageAnswer answer = view.showMessage(
            platform::toText(report.mailCount) +
                u"通のメールが見つかりました。出力先フォルダをExplorerで開きますか？",
            MessageIcon::Question, MessageButtons::YesNo);
        if (answer == MessageAnswer::Yes) {
            view.openFolder(folder);
        }
    }
    return report;
}

} // namespace keldor::engine
