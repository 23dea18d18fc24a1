// ISO-2022-JP, Shift_JIS, EUC-JP and UTF-8 bytes to text, whole and damaged.

#include "charset/japanese_text.h"

#include "tests/support/test_support.h"

#include <gtest/gtest.h>

namespace keldor::charset {
namespace {

using testing::utf8;

constexpr char16_t kDot = u'\u30FB';

struct Case {
    const char* name;
    Bytes input;
    Text expected;
};

TEST(JisToText, ConvertsWellFormedText) {
    const Case cases[] = {
        {"kanji between escapes", "\x1B$B\x30\x21\x1B(B", u"亜"},
        {"row 5 katakana", "\x1B$B\x25\x22", u"ア"},
        {"first of row 63", "\x1B$B\x5F\x21", u"漾"}, // Shift_JIS 0xE040
        {"ESC $ @ like ESC $ B", "\x1B$@\x30\x21", u"亜"},
        {"ASCII around kanji", "Re: \x1B$B\x24\x22\x1B(Jx", u"Re: あx"},
        {"SO and SI", "\x0E\x31\x0Fz", u"\uFF71z"},
        {"ESC ( I", "\x1B(I\x31\x5F\x1B(B", u"\uFF71\uFF9F"},
        {"kanji mode left open", "\x1B$B\x30\x21\x30\x22", u"亜唖"},
        {"raw Shift_JIS in ASCII mode",
         "a\x82\xA0"
         "b",
         u"aあb"},
        {"Latin-1 byte in ASCII mode", "\xA9", u"\u00A9"},
        {"empty", "", u""},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(jisToText(c.input), c.expected) << c.name;
    }
}

TEST(JisToText, ReadsDamagedTextCharacterByCharacter) {
    const Case cases[] = {
        // ESC $ ( D is not known: only the escape byte goes.
        {"JIS X 0212 designation", "\x1B$(Dab", u"$(Dab"},
        {"odd byte at the end of kanji mode", "\x1B$B\x30\x21\x30", Text(u"亜") + kDot},
        {"pair without a character", "\x1B$B\x29\x21", Text(1, kDot)},
        {"pair whose code leaves the byte range", "\x1B$B\xFF\xFF", Text(1, kDot)},
        {"kana byte outside the katakana", "\x0E\x60", Text(1, kDot)},
        {"escape among the last two bytes", "a\x1B(", u"a\x1B("},
        {"lost bytes in ASCII", Bytes("a\0\0b", 4), Text(u"a\0\0b", 4)},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(jisToText(c.input), c.expected) << c.name;
    }
}

TEST(JisToText, FailsOnALeadByteAtTheEndInAsciiMode) {
    EXPECT_EQ(jisToText("abc\x82"), std::nullopt);
    EXPECT_EQ(jisToText("\xE0"), std::nullopt);
    // In kanji mode the same byte is half a pair, not a failure.
    EXPECT_EQ(jisToText("\x1B$B\x82"), Text(1, kDot));
    // 0xF0 and up are not taken for lead bytes in ISO-2022-JP.
    EXPECT_EQ(jisToText("a\xF0"), u"a\u00F0");
}

TEST(JisCharsToText, ReadsEachCharacterAsOneByte) {
    EXPECT_EQ(jisCharsToText(u"x\x1B$B\x30\x21\x1B(B"), u"x亜");
    // あ is U+3042: only its low byte 0x42 is left, an ASCII "B".
    EXPECT_EQ(jisCharsToText(u"あ\x1B(B"), u"B");
    EXPECT_EQ(jisCharsToText(u"\u0082"), std::nullopt);
    EXPECT_EQ(jisCharsToText(u""), u"");
}

TEST(SjisToText, UsesCodePage932) {
    EXPECT_EQ(sjisToText("\x8D\xDD\x8C\xC9\x87\x40"), u"在庫①");
    EXPECT_EQ(sjisToText("ab\x82"), Text(u"ab") + kDot);
    EXPECT_EQ(sjisToText(""), u"");
}

TEST(EucToText, ConvertsPairsAndDamage) {
    const Case cases[] = {
        {"kanji", "\xB0\xA1", u"亜"},
        {"hiragana", "\xA4\xA2", u"あ"},
        {"ASCII and 0x80 stay",
         "a\x80"
         "b",
         u"a\u0080b"},
        {"pair cut off at the end", "\xA4\xA2\xA4", Text(u"あ") + kDot},
        // Single shifts are read as ordinary pairs: 0x8E 0xB1 computes to the
        // bytes 0x78 0xAF, whose first character is "x".
        {"half-width katakana", "\x8E\xB1", u"x"},
        {"second byte below 0x80",
         "\xB0"
         "A",
         Text(1, kDot)},
        {"empty", "", u""},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(eucToText(c.input), c.expected) << c.name;
    }
}

TEST(Utf8ToText, DecodesSequencesWithoutValidating) {
    const Case cases[] = {
        {"three bytes", "\xE3\x81\x82", u"あ"},
        {"two bytes", "\xC3\xA9", u"é"},
        {"ASCII", "abc", u"abc"},
        {"four bytes become a surrogate pair", "\xF0\x9F\x98\x80", u"\U0001F600"},
        {"four bytes past U+10FFFF", "\xF7\xBF\xBF\xBF", u"\uFFFD"},
        {"stray continuation starts three bytes", "\x81\x81\x82", u"\u1042"},
        {"continuation bits not checked",
         "\xE3"
         "AB",
         u"\u3042"},
        {"lead from 0xF8 read as three-byte lead", "\xF8\x81\x82", u"\u8042"},
        {"empty", "", u""},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(utf8ToText(c.input), c.expected) << c.name << ": " << utf8(*utf8ToText(c.input));
    }
}

TEST(Utf8ToText, FailsOnASequenceCutOffByTheEnd) {
    for (const Bytes& input :
         {Bytes("\xE3\x81"), Bytes("a\xC3"), Bytes("\xF0\x9F\x98"), Bytes("\x80")}) {
        EXPECT_EQ(utf8ToText(input), std::nullopt) << input.size();
    }
}

TEST(JapaneseText, NeverYieldsMoreUnitsThanBytes) {
    // Every byte value in every position of a short input, in each conversion.
    for (unsigned a = 0; a < 256; ++a) {
        for (unsigned b = 0; b < 256; b += 5) {
            Bytes input = "\x1B$B";
            input += toByte(a);
            input += toByte(b);
            if (const auto jis = jisToText(input)) {
                EXPECT_LE(jis->size(), input.size());
            }
            const Bytes pair = input.substr(3);
            EXPECT_LE(eucToText(pair).size(), pair.size());
            if (const auto text = utf8ToText(pair)) {
                EXPECT_LE(text->size(), pair.size());
            }
        }
    }
}

} // namespace
} // namespace keldor::charset
