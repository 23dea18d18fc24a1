// Inputs that once broke a promise of the recovery, kept in
// tests/data/regress/: each goes through the whole pipeline as a message
// file (repaired in place, then its subject and date read) and as the text
// of a mailbox run (and as the mailbox the whole-run fuzz target makes of
// it). The file keeps its size, loses every 0x00, changes nothing far from
// a lost byte, and the runs end without touching the mailbox.

#include "engine/recovery_run.h"
#include "engine/run_flags.h"
#include "mailinfo/mail_info.h"
#include "platform/text.h"
#include "repair/repair_pipeline.h"
#include "tests/support/mailbox_writer.h"
#include "tests/support/repair_reach.h"
#include "tests/support/test_support.h"

#include <gtest/gtest.h>

#include <cctype>

namespace keldor::engine {
namespace {

using testing::RecordingView;
using testing::TempDir;

std::vector<std::filesystem::path> regressInputs() {
    return testing::filesIn(testing::testDataPath("regress"));
}

class Regress : public ::testing::TestWithParam<std::filesystem::path> {};

TEST_P(Regress, RepairsAsAMessageFile) {
    const Bytes input = testing::readFile(GetParam());
    TempDir dir;
    const auto file = dir.path() / "Recover1.eml";
    testing::writeFile(file, input);
    RecordingView view;
    repairMessageFile(file, repair::RepairOptions{}, view);
    const Bytes repaired = testing::readFile(file);
    ASSERT_EQ(repaired.size(), input.size());
    EXPECT_EQ(repaired.find('\0'), Bytes::npos);
    EXPECT_EQ(testing::changeFarFromLoss(input, repaired, testing::lostBytes(input)), std::nullopt);
    // Then the rename pass reads its header; the sanitizer build watches that.
    (void)mailinfo::readMailInfo(file);
}

TEST_P(Regress, RecoversFromAMailbox) {
    const Bytes input = testing::readFile(GetParam());
    // The bytes as message text, and as the whole-run fuzz target reads them.
    for (const Bytes& mailbox :
         {testing::mailboxFromBytes("\x01" + input), testing::mailboxFromBytes(input)}) {
        TempDir dir;
        const auto path = dir.path() / "mailbox.dbx";
        testing::writeFile(path, mailbox);
        std::filesystem::create_directory(dir.path() / "out");
        RecordingView view;
        view.location = platform::pathText(dir.path() / "out");
        const RunReport report =
            recoverMailbox(path, view, repair::RepairOptions{}, testing::everyPoint());
        EXPECT_EQ(report.outcome, RunOutcome::Completed);
        EXPECT_EQ(report.files.size(), static_cast<std::size_t>(report.mailCount));
        EXPECT_EQ(testing::readFile(path), mailbox);
    }
}

INSTANTIATE_TEST_SUITE_P(Inputs, Regress, ::testing::ValuesIn(regressInputs()),
                         [](const auto& param) {
                             std::string name = param.param.filename().string();
                             for (char& c : name) {
                                 c = std::isalnum(static_cast<unsigned char>(c)) ? c : '_';
                             }
                             return name;
                         });

} // namespace
} // namespace keldor::engine
