#include "engine/output_folder.h"

#include "platform/text.h"
#include "tests/support/test_support.h"

#include <gtest/gtest.h>

#include <set>
#include <thread>

namespace keldor::engine {
namespace {

TEST(OutputFolder, RunsStartedTogetherEachClaimTheirOwnFolder) {
    testing::TempDir dir;
    const Text base = platform::pathText(dir.path() / u"メール復元20081023153045");
    // Something of the base name that is not a folder is skipped too.
    testing::writeFile(platform::toPath(base + u"_3"), "a file, not a folder");

    constexpr int kRuns = 8;
    std::vector<std::filesystem::path> claimed(kRuns);
    std::vector<std::thread> runs;
    for (int i = 0; i < kRuns; ++i) {
        runs.emplace_back([&, i] {
            std::error_code error;
            claimed[static_cast<std::size_t>(i)] = claimOutputFolder(base, error).value_or("");
        });
    }
    for (std::thread& run : runs) {
        run.join();
    }
    std::set<Text> names;
    for (const auto& folder : claimed) {
        ASSERT_TRUE(std::filesystem::is_directory(folder)) << folder;
        names.insert(platform::pathText(folder));
    }
    EXPECT_EQ(names.size(), static_cast<std::size_t>(kRuns)) << "two runs got one folder";
    std::set<Text> expected = {base};
    for (int k = 2; k <= kRuns + 1; ++k) {
        if (k != 3) {
            expected.insert(base + u"_" + platform::toText(static_cast<std::int64_t>(k)));
        }
    }
    EXPECT_EQ(names, expected);
    EXPECT_EQ(testing::readFile(platform::toPath(base + u"_3")), "a file, not a folder");
}

TEST(OutputFolder, MissingParentFailsWithTheReason) {
    testing::TempDir dir;
    std::error_code error;
    EXPECT_FALSE(claimOutputFolder(platform::pathText(dir.path() / "missing" / "run"), error));
    EXPECT_TRUE(error);
}

TEST(OutputFolder, NameCarriesTheStamp) {
    std::tm when{};
    when.tm_year = 2008 - 1900;
    when.tm_mon = 9;
    when.tm_mday = 3;
    when.tm_hour = 5;
    when.tm_min = 4;
    when.tm_sec = 9;
    EXPECT_EQ(stampedFolderName(u"メール抽出", when), u"メール抽出20081003050409");
}

} // namespace
} // namespace keldor::engine
