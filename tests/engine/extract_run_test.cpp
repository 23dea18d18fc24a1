#include "engine/extract_run.h"

#include "engine/run_flags.h"
#include "platform/text.h"
#include "tests/support/mailbox_writer.h"
#include "tests/support/test_support.h"

#include <gtest/gtest.h>

namespace keldor::engine {
namespace {

using testing::MailboxOptions;
using testing::MailboxWriter;

Bytes liveMail(int number, std::size_t size) {
    Bytes mail = "From: sender@example.jp\r\nSubject: =?ISO-2022-JP?B?GyRCJUYlOSVIGyhC?= " +
                 std::to_string(number) + "\r\nDate: Thu, 23 Oct 2008 15:30:45 +0900\r\n\r\n";
    while (mail.size() < size) {
        mail += "line of message " + std::to_string(number) + "\r\n";
    }
    return mail;
}

class ExtractRun : public ::testing::Test {
protected:
    void SetUp() override {
        StopRequested = false;
        view.location = platform::pathText(dir.path() / "out");
        std::filesystem::create_directory(dir.path() / "out");
    }
    ExtractReport extract(const Bytes& mailbox) {
        const auto path = dir.path() / "mailbox.dbx";
        testing::writeFile(path, mailbox);
        return extractMailbox(path, view);
    }
    testing::TempDir dir;
    testing::RecordingView view;
};

TEST_F(ExtractRun, WritesEveryLiveMessageByteForByteNamedAndDated) {
    MailboxWriter writer;
    writer.addMessage("Subject: deleted\r\n\r\nnot live\r\n"); // the deleted chain is not read
    const std::vector<Bytes> mails = {liveMail(1, 100), liveMail(2, 0x200), liveMail(3, 3000)};
    for (const Bytes& mail : mails) {
        writer.addLiveMessage(mail);
    }
    const ExtractReport report = extract(writer.build());
    ASSERT_EQ(report.outcome, RunOutcome::Completed) << platform::toUtf8(report.message);
    EXPECT_EQ(report.headerCount, 3);
    ASSERT_EQ(report.mailCount, 3);
    ASSERT_EQ(report.files.size(), 3u);
    EXPECT_EQ(report.damage.total(), 0);
    for (std::size_t i = 0; i < mails.size(); ++i) {
        EXPECT_EQ(testing::readFile(report.files[i].file), mails[i]) << i;
        EXPECT_EQ(report.files[i].file.filename(),
                  platform::toPath(u"テスト " + platform::toText(static_cast<std::int64_t>(i + 1)) +
                                   u".eml"));
        EXPECT_EQ(report.files[i].dateText, u"2008/10/23 15:30:45");
        EXPECT_FALSE(report.cut[i]);
    }
    const std::string name = report.outputFolder.filename().string();
    EXPECT_EQ(name.rfind("メール抽出", 0), 0u) << name;
    EXPECT_EQ(testing::filesIn(report.outputFolder).size(), 3u);
}

TEST_F(ExtractRun, HostileTreesAndChainsEndCleanlyAndAreCounted) {
    struct Case {
        const char* name;
        void (*damage)(MailboxOptions&);
        int LiveDamage::*counter;
        int written;           // files written
        bool firstCut;         // the damaged message is reported as cut
        std::size_t firstSize; // bytes of the damaged message written
    };
    const Bytes first = liveMail(1, 1500); // three blocks
    const Case cases[] = {
        {"tree loop", [](MailboxOptions& o) { o.liveTreeLoop = true; }, &LiveDamage::treeLoops, 3,
         false, first.size()},
        {"overfull node", [](MailboxOptions& o) { o.liveOverfullNode = true; },
         &LiveDamage::overfullNodes, 0, false, 0},
        {"repeated entry", [](MailboxOptions& o) { o.liveRepeatedEntry = true; },
         &LiveDamage::repeatedEntries, 3, false, first.size()},
        {"chain loop", [](MailboxOptions& o) { o.liveChainLoop = true; }, &LiveDamage::chainLoops,
         3, true, first.size()},
        {"block outside", [](MailboxOptions& o) { o.liveBlockOutside = true; },
         &LiveDamage::badBlocks, 3, true, 0x200},
        {"used too long", [](MailboxOptions& o) { o.liveUsedTooLong = true; },
         &LiveDamage::oversizedBlocks, 3, true, 0x200},
        {"bad record", [](MailboxOptions& o) { o.liveBadRecord = true; }, &LiveDamage::badRecords,
         2, false, 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        MailboxWriter writer;
        writer.addLiveMessage(first);
        writer.addLiveMessage(liveMail(2, 700));
        writer.addLiveMessage(liveMail(3, 80));
        MailboxOptions options;
        c.damage(options);
        const ExtractReport report = extract(writer.build(options));
        ASSERT_EQ(report.outcome, RunOutcome::Completed);
        EXPECT_EQ(report.damage.*c.counter, 1);
        EXPECT_EQ(report.damage.total(), 1);
        ASSERT_EQ(report.mailCount, c.written);
        if (c.written == 3) {
            EXPECT_EQ(report.cut[0], c.firstCut);
            const Bytes written = testing::readFile(report.files[0].file);
            EXPECT_EQ(written, first.substr(0, c.firstSize));
            EXPECT_FALSE(report.cut[1]);
        }
    }
}

TEST_F(ExtractRun, CorpusMailboxesGiveEveryMessageTheirHeaderCounts) {
    const auto corpus = testing::corpusPath("dbx");
    if (!corpus) {
        GTEST_SKIP() << "no corpus beside the project";
    }
    const std::pair<const char*, int> mailboxes[] = {
        {"iped/test_OutlookDBX.dbx", 28},    {"mail-transport-dbx/test.dbx", 1},
        {"mail-transport-dbx/test1.dbx", 1}, {"dbxoutlookexpress/Inbox.dbx", 1},
        {"dbxoutlookexpress/Outbox.dbx", 0},
    };
    for (const auto& [name, count] : mailboxes) {
        SCOPED_TRACE(name);
        const auto path = *corpus / name;
        if (!std::filesystem::exists(path)) {
            continue;
        }
        const ExtractReport report = extractMailbox(path, view);
        ASSERT_EQ(report.outcome, RunOutcome::Completed);
        EXPECT_EQ(report.headerCount, count);
        EXPECT_EQ(report.listedCount, count);
        ASSERT_EQ(report.mailCount, count);
        EXPECT_EQ(report.damage.total(), 0);
        for (std::size_t i = 0; i < report.files.size(); ++i) {
            EXPECT_FALSE(report.cut[i]);
            const Bytes mail = testing::readFile(report.files[i].file);
            // A header line first; the last block's used length ends it, so
            // no padding of the block follows.
            EXPECT_NE(mail.find(':'), std::string::npos);
            EXPECT_LT(mail.find(':'), mail.find("\r\n"));
            ASSERT_FALSE(mail.empty());
            EXPECT_NE(mail.back(), '\0');
        }
    }
    for (const char* refused : {"dbxoutlookexpress/Folders.dbx", "dbxoutlookexpress/Offline.dbx"}) {
        const auto path = *corpus / refused;
        if (!std::filesystem::exists(path)) {
            continue;
        }
        const ExtractReport report = extractMailbox(path, view);
        EXPECT_EQ(report.outcome, RunOutcome::NotMessageFile) << refused;
        EXPECT_EQ(report.message,
                  u"このファイルは、Outlock Express のメッセージファイルではありません。");
        EXPECT_TRUE(report.outputFolder.empty()) << "a refused file leaves no folder";
    }
}

} // namespace
} // namespace keldor::engine
