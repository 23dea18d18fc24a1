// A rescue through the whole run: on an intact mailbox its deleted messages
// are what recover writes and its live ones what extract writes, file for
// file; on a damaged one it still writes them, repaired, lost bytes filled.

#include "engine/extract_run.h"
#include "engine/recovery_run.h"
#include "engine/run_flags.h"
#include "engine/run_messages.h"
#include "engine/scan_run.h"
#include "platform/text.h"
#include "tests/support/mailbox_writer.h"
#include "tests/support/test_support.h"

#include <gtest/gtest.h>

#include <map>

namespace keldor::engine {
namespace {

using testing::MailboxOptions;
using testing::MailboxWriter;

std::map<std::filesystem::path, Bytes> contentsOf(const std::filesystem::path& folder) {
    std::map<std::filesystem::path, Bytes> files;
    for (const auto& file : testing::filesIn(folder)) {
        files[file.filename()] = testing::readFile(file);
    }
    return files;
}

class ScanRun : public ::testing::Test {
protected:
    void SetUp() override {
        StopRequested = false;
        ExitAfterStop = false;
        view.location = platform::pathText(dir.path());
    }
    RunReport scan(const std::filesystem::path& mailbox) {
        return scanMailbox(mailbox, view, repair::RepairOptions{}, testing::everyPoint());
    }
    testing::TempDir dir;
    testing::RecordingView view;
};

Bytes mail(int number, std::size_t size) {
    Bytes text = "Return-Path: <a@example.jp>\r\nFrom: a@example.jp\r\nSubject: mail " +
                 std::to_string(number % 7) +
                 "\r\nDate: Thu, 23 Oct 2008 15:30:45 +0900\r\nContent-Type: text/plain;\r\n"
                 "\tcharset=\"iso-2022-jp\"\r\n\r\n";
    while (text.size() < size) {
        text += "line " + std::to_string(text.size()) + " of mail " + std::to_string(number) + "\r\n";
    }
    return text;
}

TEST_F(ScanRun, OnAnIntactMailboxWritesWhatRecoverAndExtractWrite) {
    std::vector<std::filesystem::path> mailboxes;
    for (const bool scatter : {false, true}) {
        MailboxWriter writer;
        for (int i = 0; i < 40; ++i) {
            writer.addMessage(mail(i, 100 + static_cast<std::size_t>(i) * 97));
            writer.addLiveMessage(mail(100 + i, 50 + static_cast<std::size_t>(i) * 131));
        }
        MailboxOptions options;
        options.scatter = scatter;
        mailboxes.push_back(dir.path() / (scatter ? "scattered.dbx" : "laid.dbx"));
        testing::writeFile(mailboxes.back(), writer.build(options));
    }
    for (const char* corpus : {"dbx/synthetic/deleted_iso2022jp_4blocks.dbx",
                               "dbx/dbxoutlookexpress/Inbox.dbx", "dbx/iped/test_OutlookDBX.dbx",
                               "dbx/mail-transport-dbx/test.dbx"}) {
        if (const auto path = testing::corpusPath(corpus)) {
            mailboxes.push_back(*path);
        }
    }
    for (const auto& mailbox : mailboxes) {
        SCOPED_TRACE(mailbox.filename().string());
        const RunReport recovered =
            recoverMailbox(mailbox, view, repair::RepairOptions{}, testing::everyPoint());
        const RunReport extracted = extractMailbox(mailbox, view);
        const RunReport rescued = scan(mailbox);
        ASSERT_EQ(rescued.outcome, RunOutcome::Completed);
        EXPECT_EQ(rescued.scan.unjoinedFragments, 0u);
        const auto deleted = contentsOf(rescued.outputFolder / platform::toPath(kDeletedMailFolder));
        const auto live = contentsOf(rescued.outputFolder / platform::toPath(kLiveMailFolder));
        // The same names and bytes. A live message the index tree no longer
        // lists may be found besides; it comes after the tree's.
        const auto expectHolds = [](const auto& found, const auto& expected, bool exactly) {
            EXPECT_TRUE(exactly ? found.size() == expected.size() : found.size() >= expected.size())
                << found.size() << " files, " << expected.size() << " expected";
            for (const auto& [name, bytes] : expected) {
                const auto file = found.find(name);
                EXPECT_TRUE(file != found.end() && file->second == bytes) << name;
            }
        };
        expectHolds(deleted, contentsOf(recovered.outputFolder), true);
        expectHolds(live, contentsOf(extracted.outputFolder), false);
    }
}

TEST_F(ScanRun, ADamagedMailboxStillGivesItsMessagesWithNoLostByteLeft) {
    MailboxWriter writer;
    for (int i = 0; i < 12; ++i) {
        writer.addMessage(mail(i, 900 + static_cast<std::size_t>(i) * 300));
        writer.addLiveMessage(mail(50 + i, 700));
    }
    Bytes mailbox = writer.build();
    std::fill_n(mailbox.begin(), 0x24AC, '\0'); // header and first blocks wiped
    const auto path = dir.path() / "wiped.dbx";
    testing::writeFile(path, Bytes(5000, 'x') + mailbox); // inside an image
    const Bytes before = testing::readFile(path);

    const RunReport report = scan(path);
    ASSERT_EQ(report.outcome, RunOutcome::Completed) << platform::toUtf8(report.message);
    EXPECT_EQ(testing::readFile(path), before) << "the file is only read";
    ASSERT_EQ(report.offsetGroups.size(), 1u);
    EXPECT_EQ(report.offsetGroups.front().shift, 5000);
    EXPECT_GE(report.deletedWritten, 10);
    EXPECT_GE(report.mailCount - report.deletedWritten, 10);
    for (const auto& [name, bytes] :
         contentsOf(report.outputFolder / platform::toPath(kDeletedMailFolder))) {
        EXPECT_EQ(bytes.find('\0'), Bytes::npos) << name;
    }
    EXPECT_TRUE(view.messages.back().buttons == MessageButtons::YesNo);

    // Neither a header nor a chain is asked for: a file of no mail is no error.
    const auto empty = dir.path() / "empty.dbx";
    testing::writeFile(empty, Bytes(17, '\x01'));
    const RunReport none = scan(empty);
    EXPECT_EQ(none.outcome, RunOutcome::Completed);
    EXPECT_EQ(none.mailCount, 0);
    EXPECT_EQ(view.messages.back().text, kNoMailFound);
}

} // namespace
} // namespace keldor::engine
