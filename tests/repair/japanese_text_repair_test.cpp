#include "repair/japanese_text_repair.h"

#include "tests/support/repair_lines.h"

#include <gtest/gtest.h>

namespace keldor::repair {
namespace {

using keldor::testing::lost;

// Test lines are written with '%' for a lost byte and "F" spelled out as the
// JIS form of the default full-width character (0x22 0x23).
const std::string F = "\"#";
const std::string kToKanji = "\x1b$B";
const std::string kToAscii = "\x1b(B";

struct LineCase {
    const char* name;
    std::string damaged;
    std::string repaired;
    StepEnd end = StepEnd::Completed;
};

using Repairer = StepEnd (*)(Bytes&, const RepairOptions&);

void expectRepairs(Repairer repair, const std::vector<LineCase>& cases) {
    for (const LineCase& c : cases) {
        Bytes line = lost(c.damaged);
        EXPECT_EQ(repair(line, RepairOptions{}), c.end) << c.name;
        EXPECT_EQ(line, lost(c.repaired)) << c.name;
    }
}

TEST(JisLineRepair, SingleByteMode) {
    expectRepairs(
        repairJisLine,
        {
            {"plain text, no escape ahead", "abc%%%%def\r\n", "abc****def\r\n"},
            {"short run keeps the bytes after it", "ab%%cd\r\n", "ab**cd\r\n"},
            {"only the ESC of ESC $ B lost", "ab%%%%$B0!" + kToAscii, "ab***\x1b$B0!" + kToAscii},
            {"ESC $ lost, B survived", "ab%%%%B0!" + kToAscii, "ab**\x1b$B0!" + kToAscii},
            {"the whole switch lost before a kanji that begins with B", "> %%%%BeI=" + kToAscii,
             "> *\x1b$@BeI=" + kToAscii},
            {"whole switch lost, even distance", "abc%%%%0!0\"" + kToAscii,
             "abc*\x1b$@0!0\"" + kToAscii},
            {"whole switch lost, odd distance", "abc%%%%!0\"" + kToAscii,
             "abc\x1b$@" + F + "0\"" + kToAscii},
            {"no room for a switch before the escape", "ab%\x1b(B", "ab*\x1b(B"},
        });
}

TEST(JisLineRepair, EscapeSequenceCut) {
    expectRepairs(
        repairJisLine,
        {
            {"after ESC", "ab\x1b%%%%0\"" + kToAscii, "ab\x1b$@" + F + "0\"" + kToAscii},
            {"after ESC $, ESC ( follows", "ab\x1b$%%%%(B\r\n", "ab\x1b$@" + F + "\x1b(B\r\n"},
            {"after ESC $, kanji follows", "ab\x1b$%%%%!0\"" + kToAscii,
             "ab\x1b$@" + F + F + "0\"" + kToAscii},
            {"just designated, B of ESC ( B survived", kToKanji + "%%%%B\r\n",
             kToKanji + F + kToAscii + "\r\n"},
            {"just designated, kanji follows", kToKanji + "%%%%0!" + kToAscii,
             kToKanji + F + F + "0!" + kToAscii},
            {"ESC in kanji mode", kToKanji + "0!\x1b%%%%abc\r\n",
             kToKanji + "0!" + kToAscii + "**abc\r\n"},
            {"ESC in kanji mode, next switch to kanji", kToKanji + "0!\x1b%%%%$B0\"" + kToAscii,
             kToKanji + "0!" + kToAscii + "*\x1b$B0\"" + kToAscii},
            {"ESC in kanji mode at line end", kToKanji + "0!\x1b%%%",
             kToKanji + "0!" + kToAscii + "*"},
            {"ESC ( in kanji mode", kToKanji + "0!\x1b(%%%%abc\r\n",
             kToKanji + "0!" + kToAscii + "***abc\r\n"},
            {"ESC ( in kanji mode, ESC $ cut", kToKanji + "0!\x1b(%%%%B0\"" + kToAscii,
             kToKanji + "0!" + kToAscii + "*\x1b$B0\"" + kToAscii},
            {"ESC ( in kanji mode, run to line end", kToKanji + "0!\x1b(%%%%",
             kToKanji + "0!" + kToAscii + "*%%", StepEnd::PastLineEnd},
        });
}

TEST(JisLineRepair, KanjiMode) {
    expectRepairs(
        repairJisLine,
        {
            {"run on a character boundary", kToKanji + "0!0\"%%%%0#" + kToAscii + "\r\n",
             kToKanji + "0!0\"" + F + F + "0#" + kToAscii + "\r\n"},
            {"run cuts a character: six bytes replaced", kToKanji + "0!0%%%%$" + kToAscii + "\r\n",
             kToKanji + "0!" + F + F + F + kToAscii + "\r\n"},
            {"closing ESC ( B swallowed", kToKanji + "0!%%%%bc\r\n",
             kToKanji + "0!" + kToAscii + "*bc\r\n"},
            {"ESC ( swallowed, its B survived", kToKanji + "0!%%%%Bbc\r\n",
             kToKanji + "0!" + F + kToAscii + "bc\r\n"},
            {"short run before the ( B of the escape", kToKanji + "0!%%%(Bbc\r\n",
             kToKanji + "0!" + F + kToAscii + "bc\r\n"},
            {"escape tail that does not pair up", kToKanji + "0!%%%%(B\r\n",
             kToKanji + "0!" + kToAscii + "*(B\r\n"},
            {"cut character, ESC of ESC ( B lost", kToKanji + "0!0%%%%(Babc",
             kToKanji + "0!" + F + F + "\x1b(Babc"},
            {"cut character at line end", kToKanji + "0!0%%%%", kToKanji + "0!" + F + kToAscii},
            {"between characters at the last two bytes", kToKanji + "0!%%", kToKanji + "0!%%",
             StepEnd::PastLineEnd},
        });
}

TEST(ShiftJisLineRepair, LeadAndTrailBytes) {
    expectRepairs(
        repairSjisLine,
        {
            {"between characters", "\x82\xa0%%%%\x82\xa2\r\n", "\x82\xa0****\x82\xa2\r\n"},
            {"run right after a lead byte", "ab\x82%%%%cd\r\n", "ab*****cd\r\n"},
            {"orphaned trail byte after the run", "ab%%%%\xa0\x82\xa2\r\n", "ab*****\x82\xa2\r\n"},
            {"trail of a full character is not a lead", "\x82\xa0\x82%%%%a", "\x82\xa0*****a"},
            {"run to the end keeps the last byte lost", "ab%%%%", "ab***%"},
            // 0xEF could begin a character, but the text after it only reads
            // as whole characters from the next byte: it is a cut trail.
            {"trail that reads as a lead byte", "\x82\xa0%%%%\xef\x8f\xea\x82\xcc\r\n",
             "\x82\xa0*****\x8f\xea\x82\xcc\r\n"},
        });
}

TEST(EucLineRepair, LeadAndTrailBytes) {
    expectRepairs(
        repairEucLine,
        {
            {"odd high bytes after the run",
             "ab%%%%\xa1\xa2\xa3"
             "cd\r\n",
             "ab*****\xa2\xa3"
             "cd\r\n"},
            {"even high bytes after the run",
             "ab%%%%\xa4\xa2"
             "cd\r\n",
             "ab****\xa4\xa2"
             "cd\r\n"},
            {"run right after a lead byte", "ab\xa4%%%%\xa4\xa2\r\n", "ab*****\xa4\xa2\r\n"},
            {"run to the end keeps the last byte lost", "\xa4\xa2%%%", "\xa4\xa2**%"},
        });
}

TEST(JapaneseTextRepair, UsesTheChosenReplacementCharacters) {
    RepairOptions options;
    options.halfWidthByte = '?';
    options.fullWidthJis = {0x22, 0x2E}; // 〓
    Bytes jis = lost(kToKanji + "0!%%%%0#" + kToAscii + "x%%%%");
    EXPECT_EQ(repairJisLine(jis, options), StepEnd::Completed);
    EXPECT_EQ(jis, lost(kToKanji + "0!\"." + "\"." + "0#" + kToAscii + "x%%%%"));
    Bytes sjis = lost("a%%b");
    EXPECT_EQ(repairSjisLine(sjis, options), StepEnd::Completed);
    EXPECT_EQ(sjis, "a??b");
}

TEST(JapaneseTextRepair, LinesWithoutLostBytesOrOnlyLostBytes) {
    for (const Repairer repair : {repairJisLine, repairSjisLine, repairEucLine}) {
        Bytes intact = kToKanji + "0!" + kToAscii + "\r\n";
        EXPECT_EQ(repair(intact, RepairOptions{}), StepEnd::Completed);
        EXPECT_EQ(intact, kToKanji + "0!" + kToAscii + "\r\n");
        for (std::size_t n = 1; n <= 6; ++n) {
            Bytes allLost(n, '\0');
            (void)repair(allLost, RepairOptions{});
            EXPECT_EQ(allLost.size(), n);
        }
    }
}

// Decoded text lines may hold several runs; each repair needs what follows
// its run (here the ESC ( B the second run took), so the last goes first.
TEST(RepairTextRuns, RepairsEveryRunLastFirst) {
    Bytes line = lost("\x1b$B$3$s%%%%$O!\":#F|$ONI$$E75$%%%%B</DIV>\r\n");
    repairTextRuns(line, repairJisLine, RepairOptions{});
    EXPECT_EQ(line, "\x1b$B$3$s" + F + F + "$O!\":#F|$ONI$$E75$" + F + kToAscii + "</DIV>\r\n");
}

} // namespace
} // namespace keldor::repair
