#include "repair/base64_word_repair.h"

#include "tests/repair/encoded_word_testing.h"

#include <gtest/gtest.h>

namespace keldor::repair {
namespace {

using testing::base64Decode;
using testing::base64Encode;
using testing::convert;

const std::string kBox = "■";

// "xx" + base64 of `bytes` + "yy"; the text is line[2, size-2).
Bytes lineWithText(std::string_view bytes) {
    return "xx" + base64Encode(bytes) + "yy";
}

std::string decodedText(const Bytes& line) {
    const std::optional<std::string> bytes = base64Decode(line.substr(2, line.size() - 4));
    if (!bytes) {
        return "<not base64>";
    }
    return convert(*bytes, "ISO-2022-JP", "UTF-8").value_or("<not ISO-2022-JP>");
}

// Five kanji between the escapes: 16 bytes, 24 characters ending in "==".
const std::string kJis = "\x1b$B"
                         "F|K\\8l$G$9"
                         "\x1b(B";
const std::string kJisText = "日本語です";

TEST(Base64WordRepair, IntactTextIsLeftAsItIs) {
    for (const std::string& bytes :
         {kJis, kJis + "a", kJis + "ab", std::string("\x82\xa0\x82\xa2")}) {
        for (const auto repair : {repairBase64Jis, repairBase64Sjis, repairBase64Euc}) {
            const Bytes original = lineWithText(bytes);
            Bytes line = original;
            EXPECT_EQ(repair(line, 2, line.size() - 2, RepairOptions{}), StepEnd::Completed);
            EXPECT_EQ(line, original);
            // Unpadded text too.
            std::string text = base64Encode(bytes);
            text.erase(text.find_last_not_of('=') + 1);
            Bytes unpadded = "xx" + text + "yy";
            const Bytes before = unpadded;
            (void)repair(unpadded, 2, unpadded.size() - 2, RepairOptions{});
            EXPECT_EQ(unpadded, before);
        }
    }
}

TEST(Base64WordRepair, LostCharactersAreRefilledThroughTheTextRepair) {
    struct Case {
        const char* name;
        std::size_t from; // first lost character of the text
        std::size_t count;
        std::string decoded;
    };
    const Case cases[] = {
        // Characters 4-7 give bytes 3-5: the first kanji and half the second.
        {"aligned on a group", 4, 4, kBox + kBox + "語です"},
        // Characters 6-9 touch bytes 4-7 in two groups: three kanji cut.
        {"straddling two groups", 6, 4, kBox + kBox + kBox + "です"},
        // Characters 16-19 give bytes 12-14, the closing ESC ( and its B.
        {"closing escape lost", 16, 4, "日本語で" + kBox},
        // Characters 20-21 with the "==" after them: byte 15 only.
        {"before the padding", 20, 2, kJisText},
    };
    for (const Case& c : cases) {
        const Bytes original = lineWithText(kJis);
        Bytes line = original;
        line.replace(2 + c.from, c.count, c.count, '\0');
        EXPECT_EQ(repairBase64Jis(line, 2, line.size() - 2, RepairOptions{}), StepEnd::Completed);
        ASSERT_EQ(line.size(), original.size()) << c.name;
        EXPECT_EQ(decodedText(line), c.decoded) << c.name;
        EXPECT_EQ(line.substr(line.size() - 4), "==yy") << c.name << ": padding stays";
        // The text repair may replace the characters next to the lost ones,
        // so the groups beside those that lost characters may change too;
        // nothing further away does.
        const std::size_t groupsFrom = 2 + c.from / 4 * 4 - (c.from >= 4 ? 4 : 0);
        const std::size_t groupsTo = std::min(2 + (c.from + c.count + 3) / 4 * 4 + 4, line.size());
        EXPECT_EQ(line.substr(0, groupsFrom), original.substr(0, groupsFrom)) << c.name;
        EXPECT_EQ(line.substr(groupsTo), original.substr(groupsTo)) << c.name;
    }
}

TEST(Base64WordRepair, LostPaddingAtTheEndBecomesPadding) {
    // Shift_JIS keeps the last byte of a run that reaches the end lost, so
    // the re-encoded text ends in padding again.
    const std::string sjis = "\x82\xa0\x82\xa2\x82\xa4\x82\xa6"; // あいうえ, 12 characters
    Bytes line = lineWithText(sjis);
    line.replace(2 + 8, 4, 4, '\0');
    EXPECT_EQ(repairBase64Sjis(line, 2, line.size() - 2, RepairOptions{}), StepEnd::Completed);
    const std::optional<std::string> bytes = base64Decode(line.substr(2, line.size() - 4));
    ASSERT_TRUE(bytes);
    EXPECT_EQ(*bytes, "\x82\xa0\x82\xa2\x82\xa4**");
    EXPECT_EQ(line.substr(line.size() - 3), "=yy");

    // Text that already ends in one "=": the byte left lost takes a second
    // one instead of decoding as a NUL.
    Bytes padded = lineWithText(sjis);
    padded.replace(2 + 6, 4, 4, '\0');
    (void)repairBase64Sjis(padded, 2, padded.size() - 2, RepairOptions{});
    EXPECT_EQ(base64Decode(padded.substr(2, padded.size() - 4)), "\x82\xa0\x82\xa2***");
    EXPECT_EQ(padded.substr(padded.size() - 4), "==yy");
}

TEST(Base64WordRepair, RangeOutsideTheLineOrNotBase64) {
    const Bytes original = lineWithText(kJis);
    Bytes line = original;
    EXPECT_EQ(repairBase64Jis(line, 2, line.size() + 1, RepairOptions{}), StepEnd::PastLineEnd);
    EXPECT_EQ(repairBase64Jis(line, 10, 10, RepairOptions{}), StepEnd::Completed);
    EXPECT_EQ(repairBase64Jis(line, 12, 10, RepairOptions{}), StepEnd::Completed);
    EXPECT_EQ(line, original);

    // A range that runs into the next word keeps what is not base64 there.
    const Bytes next = "?iso-2022-jp?B?GyRC";
    Bytes joined = std::string("GyRC") + std::string(4, '\0') + next;
    (void)repairBase64Jis(joined, 0, joined.size(), RepairOptions{});
    EXPECT_EQ(joined.find('\0'), Bytes::npos);
    for (std::size_t i = 0; i < next.size(); ++i) {
        if (next[i] == '?' || next[i] == '-') {
            EXPECT_EQ(joined[8 + i], next[i]) << i;
        }
    }
}

} // namespace
} // namespace keldor::repair
