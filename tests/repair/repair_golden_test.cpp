// Repair behaviour pinned by golden files: tests/data/repair/<case>.in.eml,
// a message as recovery writes it (its lost bytes 0x00), beside
// <case>.expected.eml, the message as the repair must leave it.

#include "repair/repair_pipeline.h"

#include "tests/support/test_support.h"

#include <gtest/gtest.h>

#include <cctype>

namespace keldor::repair {
namespace {

std::vector<std::string> goldenCases() {
    std::vector<std::string> cases;
    constexpr std::string_view kInput = ".in.eml";
    for (const auto& file : testing::filesIn(testing::testDataPath("repair"))) {
        const std::string name = file.filename().string();
        if (name.ends_with(kInput)) {
            cases.push_back(name.substr(0, name.size() - kInput.size()));
        }
    }
    return cases;
}

class RepairGolden : public ::testing::TestWithParam<std::string> {};

TEST_P(RepairGolden, MatchesExpected) {
    const Bytes input =
        testing::readFile(testing::testDataPath("repair/" + GetParam() + ".in.eml"));
    const Bytes expected =
        testing::readFile(testing::testDataPath("repair/" + GetParam() + ".expected.eml"));
    testing::TempDir dir;
    const auto file = dir.path() / "Recover1.eml";
    testing::writeFile(file, input);
    testing::RecordingView view;
    repairMessageFile(file, repair::RepairOptions{}, view);
    const Bytes actual = testing::readFile(file);
    ASSERT_EQ(actual.size(), input.size()) << "a repair changed the length";
    EXPECT_EQ(actual.find('\0'), Bytes::npos) << "a lost byte was left";
    EXPECT_EQ(testing::firstDifference(actual, expected), std::nullopt);
}

INSTANTIATE_TEST_SUITE_P(Cases, RepairGolden, ::testing::ValuesIn(goldenCases()),
                         [](const ::testing::TestParamInfo<std::string>& param) {
                             std::string name = param.param;
                             for (char& c : name) {
                                 if (!std::isalnum(static_cast<unsigned char>(c))) {
                                     c = '_';
                                 }
                             }
                             return name;
                         });

} // namespace
} // namespace keldor::repair
