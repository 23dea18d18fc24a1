#include "charset/sjis_to_jis.h"

#include <gtest/gtest.h>

namespace keldor::charset {
namespace {

TEST(SjisToJis, ConvertsEachRuleOfTheArithmetic) {
    struct Case {
        const char* sjis;
        const char* jis;
    };
    const Case cases[] = {
        {"\x81\xA1", "\x22\x23"},                           // ■
        {"\x88\x9F", "\x30\x21"},                           // 亜: trail 0x9F raises the row
        {"\x9F\x40", "\x5D\x21"},                           // last lead byte of the first range
        {"\xE0\x40", "\x5F\x21"},                           // first lead byte of the second range
        {"\xEA\xA4", "\x74\x26"},                           // 熙
        {"\x81\x9F", "\x22\x21"}, {"\x81\x80", "\x21\x60"}, // trail 0x80..0x9E: second rule
        {"\x81\x9E", "\x21\x7E"}, {"\x81\x7E", "\x21\x5F"},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(sjisToJis(c.sjis), Bytes(c.jis)) << c.sjis;
    }
}

TEST(SjisToJis, ConvertsCodeByCodeAndDropsAnOddByte) {
    EXPECT_EQ(sjisToJis("\x88\x9F\x81\xA1"), "\x30\x21\x22\x23");
    EXPECT_EQ(sjisToJis("\x88\x9F\x81"), "\x30\x21");
    EXPECT_EQ(sjisToJis(""), "");
}

TEST(SjisToJis, VendorLeadBytesGoPastTheJisRange) {
    const Bytes jis = sjisToJis("\xFA\x40"); // an IBM extension
    EXPECT_GT(byteAt(jis, 0), 0x7Eu);
}

} // namespace
} // namespace keldor::charset
