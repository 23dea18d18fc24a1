#include "platform/registry_file.h"

#include "platform/cp932.h"
#include "platform/text.h"
#include "tests/support/test_support.h"

#include <gtest/gtest.h>

namespace keldor::platform {
namespace {

using testing::utf8;
constexpr auto CU = RegistryRoot::CurrentUser;

std::vector<Text> subKeys(const RegistryFile& registry, TextView path) {
    return registry.subKeyNames(CU, path).value_or(std::vector<Text>{u"<no key>"});
}

Text text(const RegistryFile& registry, TextView path, TextView name) {
    const auto value = registry.readValue(CU, path, name);
    return value ? value->text : Text(u"<missing>");
}

Bytes utf16le(TextView textValue, bool bom) {
    Bytes bytes = bom ? Bytes("\xFF\xFE") : Bytes();
    for (const char16_t c : textValue) {
        bytes += toByte(c & 0xFF);
        bytes += toByte(c >> 8);
    }
    return bytes;
}

TEST(RegistryFile, ReadsWineEscapes) {
    RegistryFile registry;
    ASSERT_TRUE(registry.load("WINE REGISTRY Version 2\n"
                              ";; All keys relative to \\\\User\\\\S-1-5-21\n"
                              "#arch=win32\n"
                              "\n"
                              "[Identities\\\\{A}] 1600000000\n"
                              "#time=1d6f0e2a\n"
                              "\"Username\"=\"\\x30e1\\x30a4\\x30f3 \\\"x\\\"\"\n"
                              "\"Path\"=\"C:\\\\a\\\\b\"\n"
                              "\"Hex4\"=\"\\x30e1a\"\n"
                              "\"Octal\"=\"a\\0b\\tc\"\n"
                              "@=\"default\"\n",
                              CU));
    EXPECT_EQ(utf8(text(registry, u"Identities\\{A}", u"Username")), "メイン \"x\"");
    EXPECT_EQ(utf8(text(registry, u"Identities\\{A}", u"Path")), "C:\\a\\b");
    // Wine writes at most four hex digits; the next character is plain text.
    EXPECT_EQ(utf8(text(registry, u"Identities\\{A}", u"Hex4")), "メa");
    EXPECT_EQ(text(registry, u"Identities\\{A}", u"Octal"), Text(u"a\0b\tc", 5));
    EXPECT_EQ(utf8(text(registry, u"Identities\\{A}", u"")), "default");
}

TEST(RegistryFile, ReadsTypedWineValues) {
    RegistryFile registry;
    ASSERT_TRUE(registry.load("WINE REGISTRY Version 2\n"
                              "[K] 1\n"
                              "\"Expand\"=str(2):\"%UserProfile%\\\\x\"\n"
                              "\"Multi\"=str(7):\"a\\0b\\0\"\n"
                              "\"Number\"=dword:00000001\n"
                              "\"HexExpand\"=hex(2):25,00,53,00,\\\n"
                              "  44,00,25,00,00,00\n"
                              "\"Binary\"=hex:01,02\n",
                              CU));
    const auto expand = registry.readValue(CU, u"K", u"Expand");
    ASSERT_TRUE(expand);
    EXPECT_EQ(expand->type, kRegExpandSz);
    EXPECT_EQ(utf8(expand->text), "%UserProfile%\\x");
    EXPECT_EQ(registry.readValue(CU, u"K", u"Multi")->type, kRegMultiSz);
    EXPECT_EQ(registry.readValue(CU, u"K", u"Number")->type, kRegDword);
    const auto hexExpand = registry.readValue(CU, u"K", u"HexExpand");
    ASSERT_TRUE(hexExpand);
    EXPECT_EQ(hexExpand->type, kRegExpandSz);
    EXPECT_EQ(hexExpand->text, Text(u"%SD%\0", 5));
    EXPECT_EQ(registry.readValue(CU, u"K", u"Binary")->type, kRegBinary);
    EXPECT_TRUE(registry.readValue(CU, u"K", u"Binary")->text.empty());
}

TEST(RegistryFile, NamesCompareWithoutCaseAndKeepTheirSpelling) {
    RegistryFile registry;
    ASSERT_TRUE(registry.load("WINE REGISTRY Version 2\n"
                              "[Identities\\\\{Ab}] 1\n"
                              "\"UserName\"=\"x\"\n",
                              CU));
    EXPECT_EQ(utf8(text(registry, u"IDENTITIES\\{aB}", u"username")), "x");
    EXPECT_EQ(subKeys(registry, u"identities"), std::vector<Text>{u"{Ab}"});
}

TEST(RegistryFile, ListsImpliedKeysInTheOrderFirstSeen) {
    RegistryFile registry;
    ASSERT_TRUE(registry.load("WINE REGISTRY Version 2\n"
                              "[Identities\\\\{C}\\\\Software\\\\Microsoft] 1\n"
                              "[Identities\\\\{A}] 1\n"
                              "[Identities] 1\n"
                              "[Identities\\\\{B}] 1\n"
                              "[Identities\\\\{a}\\\\Sub] 1\n",
                              CU));
    EXPECT_EQ(subKeys(registry, u"Identities"), (std::vector<Text>{u"{C}", u"{A}", u"{B}"}));
    EXPECT_EQ(subKeys(registry, u"Identities\\{B}"), std::vector<Text>{});
    EXPECT_EQ(subKeys(registry, u"Identities\\{Z}"), std::vector<Text>{u"<no key>"});
    // An empty component names no key.
    EXPECT_FALSE(registry.subKeyNames(CU, u"Identities\\"));
    EXPECT_FALSE(registry.subKeyNames(CU, u"\\Identities"));
}

TEST(RegistryFile, ReadsRegeditExportInUtf16) {
    const Text file =
        u"Windows Registry Editor Version 5.00\r\n"
        u"\r\n"
        u"[HKEY_CURRENT_USER\\Identities]\r\n"
        u"\"Start As\"=\"{B}\"\r\n"
        u"\r\n"
        u"[HKEY_CURRENT_USER\\Identities\\{B}]\r\n"
        u"\"Username\"=\"太郎\"\r\n"
        u"\"Path\"=\"C:\\\\x\\\\\"\r\n"
        u"\"Store\"=hex(2):25,00,55,00,73,00,65,00,72,00,50,00,72,00,6f,00,66,00,\\\r\n"
        u"  69,00,6c,00,65,00,25,00,00,00\r\n"
        u"\r\n"
        u"[HKEY_LOCAL_MACHINE\\Software\\Microsoft\\Windows NT\\CurrentVersion]\r\n"
        u"\"SystemRoot\"=\"D:\\\\WINNT\"\r\n"
        u"[HKEY_CLASSES_ROOT\\.dbx]\r\n"
        u"@=\"ignored\"\r\n";
    RegistryFile registry;
    ASSERT_TRUE(registry.load(utf16le(file, true), CU));
    EXPECT_EQ(utf8(text(registry, u"Identities", u"Start As")), "{B}");
    EXPECT_EQ(utf8(text(registry, u"Identities\\{B}", u"Username")), "太郎");
    EXPECT_EQ(utf8(text(registry, u"Identities\\{B}", u"Path")), "C:\\x\\");
    EXPECT_EQ(text(registry, u"Identities\\{B}", u"Store"), Text(u"%UserProfile%\0", 14));
    const auto systemRoot =
        registry.readValue(RegistryRoot::LocalMachine,
                           u"Software\\Microsoft\\Windows NT\\CurrentVersion", u"SystemRoot");
    ASSERT_TRUE(systemRoot);
    EXPECT_EQ(utf8(systemRoot->text), "D:\\WINNT");
    EXPECT_EQ(subKeys(registry, u""), std::vector<Text>{u"Identities"});
}

TEST(RegistryFile, ReadsRegedit4InCodePage932) {
    // Shift_JIS bytes both as a plain string and as hex(2) data.
    const Bytes name = *textToCp932(u"花子");
    Bytes file = "REGEDIT4\r\n\r\n[HKEY_CURRENT_USER\\Identities\\{A}]\r\n\"Username\"=\"" + name +
                 "\"\r\n\"Store\"=hex(2):";
    for (std::size_t i = 0; i < name.size(); ++i) {
        char hex[4];
        std::snprintf(hex, sizeof hex, "%02x,", byteAt(name, i));
        file += hex;
    }
    file += "00\r\n";
    RegistryFile registry;
    ASSERT_TRUE(registry.load(file, CU));
    EXPECT_EQ(utf8(text(registry, u"Identities\\{A}", u"Username")), "花子");
    EXPECT_EQ(text(registry, u"Identities\\{A}", u"Store"), Text(u"花子\0", 3));
}

TEST(RegistryFile, LaterValuesOverrideAndDeletionsRemove) {
    RegistryFile registry;
    ASSERT_TRUE(registry.load("Windows Registry Editor Version 5.00\n"
                              "[HKEY_CURRENT_USER\\K]\n\"v\"=\"1\"\n\"gone\"=\"x\"\n"
                              "[HKEY_CURRENT_USER\\K\\Sub]\n"
                              "[HKEY_CURRENT_USER\\K\\Old]\n"
                              "[HKEY_CURRENT_USER\\K]\n\"V\"=\"2\"\n\"gone\"=-\n"
                              "[-HKEY_CURRENT_USER\\K\\Old]\n",
                              CU));
    EXPECT_EQ(utf8(text(registry, u"K", u"v")), "2");
    EXPECT_EQ(utf8(text(registry, u"K", u"gone")), "<missing>");
    EXPECT_EQ(subKeys(registry, u"K"), std::vector<Text>{u"Sub"});
}

TEST(RegistryFile, SkipsDamagedLinesAndKeepsTheRest) {
    RegistryFile registry;
    ASSERT_TRUE(registry.load("WINE REGISTRY Version 2\n"
                              "[K] 1\n"
                              "\"unclosed\"=\"abc\n"
                              "\"badhex\"=hex(2):zz,00\n"
                              "\"badtype\"=hex(:00\n"
                              "\"nodata\"\n"
                              "garbage line\n"
                              "[unclosed key\n"
                              "\"afterBadKey\"=\"lost\"\n"
                              "[K] 2\n"
                              "\"good\"=\"yes\"\n"
                              "\"trailing\"=\"x\\",
                              CU));
    EXPECT_EQ(utf8(text(registry, u"K", u"good")), "yes");
    for (const TextView name :
         {u"unclosed", u"badhex", u"badtype", u"nodata", u"afterBadKey", u"trailing"}) {
        EXPECT_FALSE(registry.readValue(CU, u"K", name)) << utf8(Text(name));
    }
}

TEST(RegistryFile, RefusesUnknownFiles) {
    RegistryFile registry;
    EXPECT_FALSE(registry.load("", CU));
    EXPECT_FALSE(registry.load("[HKEY_CURRENT_USER\\K]\n\"v\"=\"1\"\n", CU));
    EXPECT_FALSE(registry.load("\xFF\xFE", CU));
    EXPECT_FALSE(registry.subKeyNames(CU, u"K"));
}

TEST(RegistryFile, SurvivesCutAndDamagedFiles) {
    const Bytes wine = "WINE REGISTRY Version 2\n[Identities\\\\{A}\\]] 1\n"
                       "\"Store Root\"=str(2):\"\\x30e1\\0\\\\a\"\n"
                       "\"Hex\"=hex(2):25,00,\\\n  53,00\n@=dword:1\n";
    const Bytes regedit = "REGEDIT4\r\n[HKEY_CURRENT_USER\\A]\r\n\"v\"=hex(7):41,00,\\\r\n"
                          "  42\r\n\"w\"=\"x\\\"y\"\r\n[-HKCU\\A]\r\n";
    for (const Bytes& whole : {wine, regedit}) {
        for (std::size_t cut = 0; cut <= whole.size(); ++cut) {
            RegistryFile registry;
            registry.load(whole.substr(0, cut), CU);
            (void)registry.subKeyNames(CU, u"Identities");
        }
        std::uint32_t seed = 12345;
        for (int round = 0; round < 2000; ++round) {
            Bytes damaged = whole;
            for (int k = 0; k < 3; ++k) {
                seed = seed * 1103515245u + 12345u;
                damaged[(seed >> 8) % damaged.size()] = toByte(seed >> 24);
            }
            RegistryFile registry;
            registry.load(damaged, CU);
            (void)registry.readValue(CU, u"Identities\\{A}", u"Store Root");
        }
    }
}

} // namespace
} // namespace keldor::platform
