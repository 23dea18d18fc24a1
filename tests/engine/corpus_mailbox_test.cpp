// Real mailbox files made by Outlook Express (none holds a deleted record),
// and one made by hand with a deleted message beside its original.

#include "engine/recovery_run.h"

#include "engine/run_flags.h"
#include "platform/text.h"
#include "tests/support/mailbox_writer.h"
#include "tests/support/test_support.h"

#include <gtest/gtest.h>

namespace keldor::engine {
namespace {

class CorpusMailbox : public ::testing::Test {
protected:
    void SetUp() override {
        StopRequested = false;
        ExitAfterStop = false;
        view.location = platform::pathText(dir.path());
    }

    std::optional<RunReport> recover(const std::string& relative) {
        const auto path = testing::corpusPath("dbx/" + relative);
        if (!path) {
            return std::nullopt;
        }
        const Bytes before = testing::readFile(*path);
        RunReport report =
            recoverMailbox(*path, view, repair::RepairOptions{}, testing::everyPoint());
        EXPECT_EQ(testing::readFile(*path), before) << "the mailbox must never change";
        return report;
    }

    testing::TempDir dir;
    testing::RecordingView view;
};

TEST_F(CorpusMailbox, FolderListIsAnOutlookExpressFileButNotAMessageFile) {
    for (const char* name : {"dbxoutlookexpress/Folders.dbx", "dbxoutlookexpress/Offline.dbx"}) {
        const auto report = recover(name);
        if (!report) {
            GTEST_SKIP() << "corpus not beside the project";
        }
        EXPECT_EQ(report->outcome, RunOutcome::NotMessageFile) << name;
        EXPECT_EQ(view.messages.back().text,
                  u"このファイルは、Outlock Express のメッセージファイルではありません。");
    }
}

TEST_F(CorpusMailbox, MessageFilesWithoutDeletedRecordsFindNothing) {
    for (const char* name :
         {"dbxoutlookexpress/Inbox.dbx", "dbxoutlookexpress/Outbox.dbx", "iped/test_OutlookDBX.dbx",
          "mail-transport-dbx/test.dbx", "mail-transport-dbx/test1.dbx"}) {
        const auto report = recover(name);
        if (!report) {
            GTEST_SKIP() << "corpus not beside the project";
        }
        EXPECT_EQ(report->outcome, RunOutcome::Completed) << name;
        EXPECT_EQ(report->mailCount, 0) << name;
        EXPECT_EQ(view.messages.back().text, u"メールが見つかりませんでした。");
        std::filesystem::remove_all(report->outputFolder);
    }
}

TEST_F(CorpusMailbox, DeletedMessageComesBackWithEverySurvivingByte) {
    const auto report = recover("synthetic/deleted_iso2022jp_4blocks.dbx");
    const auto original =
        testing::corpusPath("dbx/synthetic/deleted_iso2022jp_4blocks.original.eml");
    if (!report || !original) {
        GTEST_SKIP() << "corpus not beside the project";
    }
    ASSERT_EQ(report->mailCount, 1);
    ASSERT_EQ(report->files.size(), 1u);
    const Bytes expected = testing::readFile(*original);
    const Bytes actual = testing::readFile(report->files[0].file);
    ASSERT_EQ(actual.size(), expected.size());
    const auto lost = testing::lostPositions(expected.size());
    for (std::size_t i = 0; i < expected.size(); ++i) {
        if (std::find(lost.begin(), lost.end(), i) == lost.end()) {
            ASSERT_EQ(actual[i], expected[i]) << "byte " << i;
        }
    }
}

} // namespace
} // namespace keldor::engine
