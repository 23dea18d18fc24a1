// Header values with encoded words and raw ISO-2022-JP to text.

#include "charset/encoded_word_decoding.h"

#include "tests/support/test_support.h"

#include <gtest/gtest.h>

namespace keldor::charset {
namespace {

using testing::utf8;

struct Case {
    const char* name;
    Text value;
    Text expected;
};

// 亜 in ISO-2022-JP, base64: ESC $ B 0x30 0x21 ESC ( B.
constexpr char16_t kJisWord[] = u"=?ISO-2022-JP?B?GyRCMCEbKEI=?=";

TEST(DecodeHeaderText, DecodesEveryCharsetAndEncoding) {
    const Case cases[] = {
        {"iso-2022-jp B, upper case", kJisWord, u"亜"},
        {"iso-2022-jp Q", u"=?iso-2022-jp?q?Re:_=1B$B0!=1B(B?=", u"Re:_亜"},
        {"shift_jis B", u"=?shift_jis?B?gqA=?=", u"あ"},
        {"shift_jis Q", u"=?Shift_JIS?Q?=82=A0?=", u"あ"},
        {"euc-jp B", u"=?euc-jp?b?sKE=?=", u"亜"},
        {"euc-jp Q", u"=?EUC-JP?Q?=A4=A2?=", u"あ"},
        {"utf-8 B", u"=?utf-8?B?44GC?=", u"あ"},
        {"utf-8 Q", u"=?UTF-8?Q?caf=C3=A9?=", u"café"},
        {"text around a word stays", Text(u"Re: ") + kJisWord + u" (2)", u"Re: 亜 (2)"},
        {"plain text", u"Hello", u"Hello"},
        {"empty", u"", u""},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(decodeHeaderText(c.value), c.expected) << c.name;
    }
}

TEST(DecodeHeaderText, FollowsItsOwnRulesWhereRfc2047Differs) {
    const Case cases[] = {
        {"adjacent words as unfolding joins them", Text(kJisWord) + kJisWord, u"亜亜"},
        {"blank between words stays", Text(kJisWord) + u" " + kJisWord, u"亜 亜"},
        {"missing terminator takes the rest", u"x=?utf-8?B?44GC", u"xあ"},
        {"empty encoded text",
         u"a=?utf-8?b?"
         u"?=b",
         u"ab"},
        {"other charsets stay", u"=?iso-8859-1?q?caf=E9?=", u"=?iso-8859-1?q?caf=E9?="},
        {"language suffix not known", u"=?utf-8*ja?B?44GC?=", u"=?utf-8*ja?B?44GC?="},
        {"alias not known", u"=?sjis?B?gqA=?=", u"=?sjis?B?gqA=?="},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(decodeHeaderText(c.value), c.expected) << c.name;
    }
}

TEST(DecodeHeaderText, DecodesRowByRowAndAgainWhatAWordYields) {
    // The utf-8 word (row 4) decodes to a complete iso-2022-jp B word; a pass
    // for row 1 has already run, so the inner word stays as it is.
    EXPECT_EQ(decodeHeaderText(u"=?utf-8?q?=3D?iso-2022-jp?b?GyRCMCEbKEI=3D?="),
              u"=?iso-2022-jp?b?GyRCMCEbKEI=");
    // A Q word of row 5 that decodes to a Q word of the same row is decoded
    // again: "=3D" gives "=", "=3F" gives "?".
    EXPECT_EQ(decodeHeaderText(u"=?iso-2022-jp?q?=3D=3Futf-8=3Fq=3Fx=3F=3D?="), u"x");
    // A prefix split between plain text and a decoded word is found.
    EXPECT_EQ(decodeHeaderText(u"=?utf-=?utf-8?q?8?q?y?="), u"y");
}

TEST(DecodeHeaderText, ConvertsRawIso2022JpAndGarblesDecodedWordsWithIt) {
    EXPECT_EQ(decodeHeaderText(u"Re: \x1B$B0!\x1B(B"), u"Re: 亜");
    // The escape step reads each character as one byte: あ (U+3042) becomes "B".
    EXPECT_EQ(decodeHeaderText(u"=?utf-8?B?44GC?= \x1B(B"), u"B ");
}

TEST(DecodeHeaderText, FailsWhenAWordsBytesDoNotConvert) {
    // A Shift_JIS lead byte last in ISO-2022-JP.
    EXPECT_EQ(decodeHeaderText(u"a =?iso-2022-jp?q?=82?= b"), std::nullopt);
    // A UTF-8 sequence cut off.
    EXPECT_EQ(decodeHeaderText(u"=?utf-8?B?44E=?="), std::nullopt);
    // Raw ISO-2022-JP ending in a lead byte.
    EXPECT_EQ(decodeHeaderText(u"\x1B(B\u0082"), std::nullopt);
}

TEST(DecodeHeaderText, HandlesManyWordsInOneValue) {
    Text value;
    Text expected;
    for (int i = 0; i < 2000; ++i) {
        value += kJisWord;
        expected += u"亜";
    }
    const auto decoded = decodeHeaderText(value);
    ASSERT_TRUE(decoded.has_value());
    EXPECT_EQ(*decoded, expected) << utf8(decoded->substr(0, 20));
}

} // namespace
} // namespace keldor::charset
