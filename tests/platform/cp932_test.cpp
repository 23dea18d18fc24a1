// Code page 932 as Windows has it: its extensions, its single-byte extras,
// and what becomes of bytes that do not decode.

#include "platform/cp932.h"

#include <gtest/gtest.h>

namespace keldor::platform {
namespace {

Bytes code(unsigned value) {
    Bytes bytes;
    if (value > 0xFF) {
        bytes += toByte(value >> 8);
    }
    bytes += toByte(value & 0xFF);
    return bytes;
}

TEST(Cp932, DecodesWindowsMappings) {
    struct Case {
        unsigned code;
        char16_t expected;
    };
    const Case cases[] = {
        {0x41, u'A'},        {0x5C, u'\\'},       {0x7E, u'~'},        {0xA1, u'\uFF61'},
        {0xDF, u'\uFF9F'},   {0x80, u'\u0080'},   {0xA0, u'\uF8F0'},   {0xFD, u'\uF8F1'},
        {0xFF, u'\uF8F3'},   {0x889F, u'亜'},     {0x82A0, u'あ'},     {0x8160, u'\uFF5E'},
        {0x815F, u'\uFF3C'}, {0x817C, u'\uFF0D'}, {0x8191, u'\uFFE0'}, {0x81CA, u'\uFFE2'},
        {0x8740, u'\u2460'}, {0x8790, u'\u2252'}, {0xED40, u'\u7E8A'}, {0xFA40, u'\u2170'},
        {0xF040, u'\uE000'}, {0xF9FC, u'\uE757'}, {0xEAA4, u'\u7199'},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(cp932ToText(code(c.code)), Text(1, c.expected)) << std::hex << c.code;
    }
}

TEST(Cp932, BytesThatDoNotDecodeBecomeMiddleDots) {
    // Unassigned pairs: one dot for the pair.
    EXPECT_EQ(cp932ToText(code(0x8540)), u"\u30FB");
    EXPECT_EQ(cp932ToText(code(0xEAA5)), u"\u30FB");
    // A lead byte with a byte that cannot trail: one dot, and the next byte read afresh.
    EXPECT_EQ(cp932ToText("\x82 a"), u"\u30FB a");
    EXPECT_EQ(cp932ToText("\x82\x0D\x0A"), u"\u30FB\r\n");
    // A lead byte at the end.
    EXPECT_EQ(cp932ToText("ab\x88"), u"ab\u30FB");
    EXPECT_EQ(cp932ToText(""), u"");
}

TEST(Cp932, EncodesOnlyTheCharactersOwnCode) {
    EXPECT_EQ(textToCp932(u"亜あｱA"), Bytes("\x88\x9F\x82\xA0\xB1"
                                            "A"));
    EXPECT_EQ(textToCp932(u"\uFF5E\u2170\u0080\uF8F0\uF8F3"),
              Bytes("\x81\x60\xFA\x40\x80\xA0\xFF"));
    // A character with two codes takes the one Windows writes.
    EXPECT_EQ(textToCp932(u"\u7E8A"), Bytes("\xFA\x5C"));
    EXPECT_EQ(textToCp932(u"\u2252"), Bytes("\x81\xE0"));
    // Look-alikes have no code of their own.
    const char16_t surrogate = 0xD800;
    for (const char16_t c : {u'\u00A5', u'\u301C', u'\u2212', u'\u2016', u'\u00E9', surrogate}) {
        EXPECT_EQ(textToCp932(Text(1, c)), std::nullopt) << std::hex << static_cast<unsigned>(c);
    }
}

TEST(Cp932, EveryDecodedCharacterEncodesBackToACodeThatDecodesToIt) {
    for (unsigned lead = 0x81; lead <= 0xFC; ++lead) {
        if (!isCp932LeadByte(lead)) {
            continue;
        }
        for (unsigned trail = 0x40; trail <= 0xFC; ++trail) {
            const Text text = cp932ToText(code(lead << 8 | trail));
            if (text.size() != 1 || text[0] == kCp932Invalid) {
                continue;
            }
            const std::optional<Bytes> back = textToCp932(text);
            ASSERT_TRUE(back.has_value()) << std::hex << (lead << 8 | trail);
            EXPECT_EQ(cp932ToText(*back), text) << std::hex << (lead << 8 | trail);
        }
    }
}

} // namespace
} // namespace keldor::platform
