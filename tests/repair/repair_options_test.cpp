#include "repair/repair_options.h"

#include <gtest/gtest.h>

namespace keldor::repair {
namespace {

TEST(RepairOptions, DefaultsGiveTheDefaultBytes) {
    const auto made = makeRepairOptions(u"*", u"■");
    ASSERT_TRUE(std::holds_alternative<RepairOptions>(made));
    const RepairOptions& o = std::get<RepairOptions>(made);
    EXPECT_EQ(o.halfWidthByte, 0x2A);
    EXPECT_EQ(o.halfWidthHex[0], u'2');
    EXPECT_EQ(o.halfWidthHex[1], u'A');
    EXPECT_EQ(o.fullWidthSjis[0], 0x81);
    EXPECT_EQ(o.fullWidthSjis[1], 0xA1);
    EXPECT_EQ(o.fullWidthJis[0], 0x22);
    EXPECT_EQ(o.fullWidthJis[1], 0x23);
    const RepairOptions defaults;
    EXPECT_EQ(defaults.fullWidthJis, o.fullWidthJis);
    EXPECT_EQ(defaults.halfWidthHex, o.halfWidthHex);
}

TEST(RepairOptions, ControlCharacterIsAcceptedWithZeroPaddedHex) {
    const auto made = makeRepairOptions(u"\t", u"〓");
    ASSERT_TRUE(std::holds_alternative<RepairOptions>(made));
    const RepairOptions& o = std::get<RepairOptions>(made);
    EXPECT_EQ(o.halfWidthByte, 0x09);
    EXPECT_EQ(o.halfWidthHex[0], u'0');
    EXPECT_EQ(o.halfWidthHex[1], u'9');
    EXPECT_EQ(o.fullWidthSjis[0], 0x81);
    EXPECT_EQ(o.fullWidthSjis[1], 0xAC);
    EXPECT_EQ(o.fullWidthJis[0], 0x22);
    EXPECT_EQ(o.fullWidthJis[1], 0x2E);
}

TEST(RepairOptions, RejectsBadHalfWidthFirst) {
    for (const char16_t* bad : {u"", u"ab", u"ｱ", u"■", u"\u00E9", u"\U0001F600"}) {
        const auto made = makeRepairOptions(bad, u"x"); // the full-width box is bad too
        ASSERT_TRUE(std::holds_alternative<ReplacementRejection>(made));
        EXPECT_EQ(std::get<ReplacementRejection>(made), ReplacementRejection::HalfWidth);
    }
    EXPECT_EQ(rejectionMessage(ReplacementRejection::HalfWidth),
              u"半角文字（カナ、カナ記号を除く）にしてください。");
}

TEST(RepairOptions, RejectsBadFullWidth) {
    for (const char16_t* bad : {u"", u"a", u"■■", u"ｱ", u"\u00E9"}) {
        const auto made = makeRepairOptions(u"*", bad);
        ASSERT_TRUE(std::holds_alternative<ReplacementRejection>(made));
        EXPECT_EQ(std::get<ReplacementRejection>(made), ReplacementRejection::FullWidth);
    }
    EXPECT_EQ(rejectionMessage(ReplacementRejection::FullWidth), u"全角文字を入力してください。");
}

} // namespace
} // namespace keldor::repair
