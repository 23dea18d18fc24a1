// What every command's run tells its view, whatever its producer: the
// phases in order, with progress that counts up to the phase's total.

#include "engine/extract_run.h"
#include "engine/recovery_run.h"
#include "engine/run_flags.h"
#include "platform/text.h"
#include "tests/support/mailbox_writer.h"
#include "tests/support/test_support.h"

#include <gtest/gtest.h>

namespace keldor::engine {
namespace {

using testing::MailboxWriter;

TEST(RunFrame, EveryCommandTellsItsPhasesInOrderWithProgressUpToTheTotal) {
    MailboxWriter writer;
    for (int i = 1; i <= 3; ++i) {
        const Bytes mail = "From: a@example.jp\r\nSubject: mail " + std::to_string(i) +
                           "\r\n\r\n" + Bytes(static_cast<std::size_t>(i) * 700, 'x') + "\r\n";
        writer.addMessage(mail);
        writer.addLiveMessage(mail);
    }
    testing::TempDir dir;
    const auto mailbox = dir.path() / "mailbox.dbx";
    testing::writeFile(mailbox, writer.build());

    struct Command {
        const char* name;
        std::function<RunReport(testing::RecordingView&)> run;
        std::int64_t writingTotal; // the producer's units: records, or listed messages
    };
    const std::vector<Command> commands = {
        {"recover",
         [&](testing::RecordingView& view) {
             return recoverMailbox(mailbox, view, repair::RepairOptions{}, testing::everyPoint());
         },
         static_cast<std::int64_t>(writer.recordCount())},
        {"extract",
         [&](testing::RecordingView& view) {
             return extractMailbox(mailbox, view, testing::everyPoint());
         },
         3},
    };
    for (const Command& command : commands) {
        SCOPED_TRACE(command.name);
        StopRequested = false;
        testing::RecordingView view;
        view.location = platform::pathText(dir.path());
        const RunReport report = command.run(view);
        ASSERT_EQ(report.outcome, RunOutcome::Completed);
        ASSERT_EQ(report.mailCount, 3);

        ASSERT_FALSE(view.phases.empty());
        EXPECT_EQ(view.phases.front().phase, RunPhase::Listing);
        EXPECT_EQ(view.phases.back().phase, RunPhase::Reporting);
        std::int64_t lastDone[4] = {-1, -1, -1, -1};
        RunPhase previous = RunPhase::Listing;
        for (const auto& told : view.phases) {
            EXPECT_GE(told.phase, previous) << "phases go forward only";
            previous = told.phase;
            const auto i = static_cast<std::size_t>(told.phase);
            if (told.phase == RunPhase::Writing || told.phase == RunPhase::Renaming) {
                EXPECT_GT(told.done, lastDone[i]) << "progress counts up";
                EXPECT_LE(told.done, told.total == 0 ? 0 : told.total);
            }
            lastDone[i] = told.done;
        }
        EXPECT_EQ(lastDone[static_cast<std::size_t>(RunPhase::Writing)], command.writingTotal);

        // The progress bar shows each step: writing truncates (a message is
        // done only when it is), renaming rounds half to even.
        // (The 0 of the status area's switch may be overwritten before the
        // window next gets in.)
        std::vector<int> shown = view.progress;
        if (!shown.empty() && shown.front() == 0) {
            shown.erase(shown.begin());
        }
        std::vector<int> expected;
        for (const auto& told : view.phases) {
            if (told.total > 0 && told.phase == RunPhase::Writing) {
                expected.push_back(static_cast<int>(told.done * 100 / told.total));
            } else if (told.total > 0 && told.phase == RunPhase::Renaming && told.done > 0) {
                expected.push_back(progressPercent(static_cast<int>(told.done),
                                                   static_cast<int>(told.total)));
            }
        }
        EXPECT_EQ(shown, expected);
        EXPECT_EQ(lastDone[static_cast<std::size_t>(RunPhase::Renaming)], 3);
    }
}

} // namespace
} // namespace keldor::engine
