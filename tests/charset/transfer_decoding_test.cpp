// Base64 and quoted-printable of encoded words, including what damaged
// input gives.

#include "charset/transfer_decoding.h"

#include <gtest/gtest.h>

namespace keldor::charset {
namespace {

struct Case {
    Text input;
    Bytes expected;
};

TEST(DecodeBase64, DecodesWholeGroupsAndPadding) {
    const Case cases[] = {
        {u"YWJj", "abc"},          {u"YQ==", "a"},
        {u"YWI=", "ab"},           {u"GyRCMCEbKEI=", "\x1B$B0!\x1B(B"},
        {u"//79", "\xFF\xFE\xFD"}, {u"", ""},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(decodeBase64(c.input), c.expected);
    }
}

TEST(DecodeBase64, KeepsItsLengthRuleOnDamagedInput) {
    const Case cases[] = {
        // Length 6: 4.5 bytes, rounded to even 4; the cut-off group gives 0x00.
        {u"YWJjYW", Bytes("abc\0", 4)},
        // Length 2: 1.5 rounds to 2, both from a group that never completes.
        {u"YW", Bytes(2, '\0')},
        // Length 10: 7.5 rounds to 8.
        {u"YWJjYWJjYW", Bytes("abcabc\0\0", 8)},
        // A blank takes a place: "YW Jj" groups as "YW J" and "j", and its
        // length 5 asks for 4 bytes.
        {u"YW Jj", Bytes("a`\x09\0", 4)},
        // Characters outside the alphabet count as zero bits.
        {u"Y\u00E9Jj", Bytes("`\x02\x63", 3)},
        {u"=", ""},
        {u"==", ""},
        // Four characters ask for three bytes, "==" takes two away.
        {u"====", Bytes(1, '\0')},
    };
    for (const Case& c : cases) {
        const Bytes actual = decodeBase64(c.input);
        EXPECT_EQ(actual, c.expected) << "input length " << c.input.size();
    }
}

TEST(DecodeQuotedPrintable, DecodesEscapesAndKeepsTheRest) {
    const Case cases[] = {
        {u"=41", "A"},
        {u"=4a", "\x4A"},
        {u"=1B$B", "\x1B$B"},
        {u"a_b", "a_b"},
        {u"ab=\r\ncd", "abcd"},
        {u"", ""},
        // Damaged escapes: the leading hexadecimal digits, or 0.
        {u"=G1", Bytes(1, '\0')},
        {u"=4G", "\x04"},
        {u"= 4", Bytes(1, '\0')},
        // An "=" among the last two characters is itself.
        {u"a=", "a="},
        {u"a=4", "a=4"},
        // Characters above U+00FF keep their low eight bits.
        {u"\u3042", "\x42"},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(decodeQuotedPrintable(c.input), c.expected);
    }
}

} // namespace
} // namespace keldor::charset
