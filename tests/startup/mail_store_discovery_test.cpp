#include "startup/mail_store_discovery.h"

#include "platform/registry_file.h"
#include "platform/text.h"
#include "startup/registry.h"
#include "tests/support/test_support.h"

#include <gtest/gtest.h>

#ifndef _WIN32
#include "platform/linux/wine_setup.h"
#endif

namespace keldor::startup {
namespace {

namespace fs = std::filesystem;
using platform::RegistryFile;
using platform::RegistryRoot;
using testing::utf8;

// The folders as Windows gives them: paths are used as they stand.
class WindowsFolders : public platform::SystemFolders {
public:
    Text windows = u"C:\\WINDOWS";
    Text appData = u"C:\\Documents and Settings\\taro\\Application Data";
    [[nodiscard]] Text windowsFolder() const override { return windows; }
    [[nodiscard]] Text appDataFolder() const override { return appData; }
    [[nodiscard]] std::optional<Text> localFolder(TextView path) const override {
        return Text(path);
    }
    [[nodiscard]] Text fallbackDocumentsFolder() const override { return {}; }
};

std::unique_ptr<RegistryFile> userReg(const std::string& keysAndValues) {
    auto registry = std::make_unique<RegistryFile>();
    EXPECT_TRUE(
        registry->load("WINE REGISTRY Version 2\n" + keysAndValues, RegistryRoot::CurrentUser));
    return registry;
}

std::string identityKey(const std::string& id) {
    return "[Identities\\\\" + id + "] 1\n";
}
std::string storeKey(const std::string& id) {
    return "[Identities\\\\" + id + "\\\\Software\\\\Microsoft\\\\Outlook Express\\\\5.0] 1\n";
}

TEST(MailStoreDiscovery, ThreeIdentitiesKeepRegistryOrderAndFindStartAs) {
    const auto registry = userReg(
        "[Identities] 1\n\"Start As\"=\"{B}\"\n" + identityKey("{C}") + "\"Username\"=\"Third\"\n" +
        storeKey("{C}") + "\"Store Root\"=\"%SystemDrive%\\\\OE\"\n" + identityKey("{A}") +
        "\"Username\"=\"\\x592a\\x90ce\"\n" + identityKey("{B}") + "\"Username\"=\"Default\"\n" +
        storeKey("{B}") +
        "\"Store Root\"=str(2):\"%UserProfile%\\\\Local Settings\\\\Application "
        "Data\\\\Identities\\\\{B}\\\\Microsoft\\\\Outlook Express\"\n");
    const MailStores stores = discoverMailStores(*registry, WindowsFolders());

    EXPECT_EQ(utf8(stores.systemDrivePath), "C:\\");
    EXPECT_EQ(utf8(stores.userProfilePath), "C:\\Documents and Settings\\taro\\");
    const auto& entries = stores.identities.entries;
    ASSERT_EQ(entries.size(), 3u);
    EXPECT_EQ(utf8(entries[0].name), "Third");
    EXPECT_EQ(utf8(entries[0].storeRoot), "C:\\OE");
    EXPECT_EQ(utf8(entries[1].name), "太郎");
    EXPECT_EQ(entries[1].storeRoot, u"") << "no store key: empty for that entry only";
    EXPECT_EQ(utf8(entries[2].name), "Default");
    EXPECT_EQ(utf8(entries[2].storeRoot),
              "C:\\Documents and Settings\\taro\\Local Settings\\Application "
              "Data\\Identities\\{B}\\Microsoft\\Outlook Express");
    EXPECT_EQ(entries[2].storeFolder, entries[2].storeRoot);
    EXPECT_EQ(stores.identities.defaultIndex, 2u);
    EXPECT_EQ(utf8(stores.identities.defaultIdentity().name), "Default");
}

TEST(MailStoreDiscovery, StartAsMustMatchExactly) {
    for (const char* startAs : {"{b}", "{B} ", "", "{Z}"}) {
        const auto registry = userReg(std::string("[Identities] 1\n\"Start As\"=\"") + startAs +
                                      "\"\n" + identityKey("{A}") + identityKey("{B}"));
        EXPECT_EQ(discoverMailStores(*registry, WindowsFolders()).identities.defaultIndex, 0u)
            << startAs;
    }
    // "Start As" is read up to its first NUL, like every string.
    const auto registry = userReg("[Identities] 1\n\"Start As\"=\"{B}\\0junk\"\n" +
                                  identityKey("{A}") + identityKey("{B}"));
    EXPECT_EQ(discoverMailStores(*registry, WindowsFolders()).identities.defaultIndex, 1u);
}

TEST(MailStoreDiscovery, WithoutIdentitiesOneEmptyEntry) {
    for (const std::string& keys :
         {std::string(), std::string("[Identities] 1\n\"Username\"=\"not an identity\"\n")}) {
        const auto registry = userReg(keys);
        const MailStores stores = discoverMailStores(*registry, WindowsFolders());
        ASSERT_EQ(stores.identities.entries.size(), 1u);
        EXPECT_EQ(stores.identities.entries[0].name, u"");
        EXPECT_EQ(stores.identities.entries[0].storeRoot, u"");
        EXPECT_EQ(stores.identities.entries[0].storeFolder, u"");
        EXPECT_EQ(stores.identities.defaultIndex, 0u);
        EXPECT_EQ(stores.defaultOutputFolder, u"");
    }
}

TEST(MailStoreDiscovery, StoreRootOfOtherTypesCountsAsMissing) {
    const auto registry = userReg(
        identityKey("{A}") + storeKey("{A}") + "\"Store Root\"=dword:00000001\n" +
        identityKey("{B}") + storeKey("{B}") +
        "\"Store Root\"=hex(2):25,00,53,00,79,00,73,00,74,00,65,00,6d,00,44,00,72,00,69,00,76,00,"
        "65,00,25,00,5c,00,4f,00,45,00,00,00\n" +
        identityKey("{C}") + storeKey("{C}") + "\"Store Root\"=hex:43,00,3a,00\n");
    const MailStores stores = discoverMailStores(*registry, WindowsFolders());
    ASSERT_EQ(stores.identities.entries.size(), 3u);
    EXPECT_EQ(stores.identities.entries[0].storeRoot, u"");
    EXPECT_EQ(utf8(stores.identities.entries[1].storeRoot), "C:\\OE");
    EXPECT_EQ(stores.identities.entries[2].storeRoot, u"");
}

TEST(MailStoreDiscovery, ExpandsStorePlaceholders) {
    const Text drive = u"C:\\";
    const Text profile = u"C:\\Documents and Settings\\taro\\";
    const struct {
        Text in;
        std::string expected;
    } cases[] = {
        {u"%SystemDrive%\\OE", "C:\\OE"},
        {u"%UserProfile%\\x", "C:\\Documents and Settings\\taro\\x"},
        {u"%USERPROFILE%\\x", "%USERPROFILE%\\x"},
        {u"%systemdrive%\\x", "%systemdrive%\\x"},
        {u"D:\\a\\\\\\b\\\\\\\\c", "D:\\a\\\\b\\\\c"},
        {u"%SystemDrive%%SystemDrive%", "C:\\C:\\"},
        {u"%UserProfile", "%UserProfile"},
        {u"", ""},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(utf8(expandStorePlaceholders(c.in, drive, profile)), c.expected) << utf8(c.in);
    }
    // Inserted text is not searched again.
    EXPECT_EQ(utf8(expandStorePlaceholders(u"%UserProfile%", drive, u"%UserProfile%\\")),
              "%UserProfile%\\");
}

TEST(MailStoreDiscovery, ProfilePathFromApplicationData) {
    const struct {
        Text appData;
        std::string expected;
    } cases[] = {
        {u"C:\\Documents and Settings\\taro\\Application Data",
         "C:\\Documents and Settings\\taro\\"},
        {u"C:\\Documents and Settings\\taro\\Application Data\\",
         "C:\\Documents and Settings\\taro\\Application Data\\"},
        {u"C:\\Data", "C:\\"},
        {u"NoBackslash", ""},
        {u"", ""},
        {Text(u"C:\\a\\b\0\\c", 9), "C:\\a\\"},
    };
    const auto registry = userReg("");
    for (const auto& c : cases) {
        WindowsFolders folders;
        folders.appData = c.appData;
        EXPECT_EQ(utf8(discoverMailStores(*registry, folders).userProfilePath), c.expected)
            << utf8(c.appData);
    }
    WindowsFolders shortWindows;
    shortWindows.windows = u"C:";
    EXPECT_EQ(utf8(discoverMailStores(*registry, shortWindows).systemDrivePath), "C:");
}

TEST(MailStoreDiscovery, DocumentsFolderFromPersonal) {
    const struct {
        std::string personal;
        std::string expected;
    } cases[] = {
        {"D:\\\\", "D:"},
        {"C:\\\\Documents and Settings\\\\taro\\\\My Documents",
         "C:\\Documents and Settings\\taro\\My Documents"},
        // Only one trailing backslash goes, and doubled ones stay.
        {"%UserProfile%\\\\My Documents\\\\\\\\",
         "C:\\Documents and Settings\\taro\\\\My Documents\\"},
        {"%SystemDrive%Docs", "C:\\Docs"},
    };
    for (const auto& c : cases) {
        const auto registry = userReg(
            "[Software\\\\Microsoft\\\\Windows\\\\CurrentVersion\\\\Explorer\\\\Shell Folders] 1\n"
            "\"Personal\"=\"" +
            c.personal + "\"\n");
        EXPECT_EQ(utf8(discoverMailStores(*registry, WindowsFolders()).defaultOutputFolder),
                  c.expected)
            << c.personal;
    }
}

#ifndef _WIN32

// A Wine prefix as Wine lays it out, registry files written by the test.
class WinePrefixDiscovery : public ::testing::Test {
protected:
    WinePrefixDiscovery() {
        setup.prefix = dir.path() / "wine";
        setup.home = dir.path() / "home";
        setup.configHome = setup.home / ".config";
        fs::create_directories(setup.prefix / "dosdevices");
        fs::create_directories(driveC() / "users" / "taro" / "Documents");
        fs::create_directories(setup.home / "Documents");
        fs::create_directory_symlink("../drive_c", setup.prefix / "dosdevices" / "c:");
    }
    fs::path driveC() const { return setup.prefix / "drive_c"; }
    MailStores discover() const {
        const auto registry = platform::loadWineRegistry(setup);
        return discoverMailStores(*registry, platform::WineFolders(setup, *registry));
    }
    testing::TempDir dir;
    platform::WineSetup setup;
};

constexpr const char* kShellFolders =
    "[Software\\\\Microsoft\\\\Windows\\\\CurrentVersion\\\\Explorer\\\\Shell Folders] 1\n"
    "\"AppData\"=\"C:\\\\users\\\\taro\\\\Application Data\"\n";

TEST_F(WinePrefixDiscovery, StoreFoldersAndDocumentsMapIntoThePrefix) {
    const fs::path store = driveC() / "users" / "taro" / "Local Settings" / "Application Data" /
                           "Identities" / "{A}" / "Microsoft" / "Outlook Express";
    fs::create_directories(store);
    testing::writeFile(
        setup.prefix / "user.reg",
        std::string("WINE REGISTRY Version 2\n") + kShellFolders +
            "\"Personal\"=\"C:\\\\users\\\\taro\\\\Documents\"\n" +
            "[Identities] 1\n\"Start As\"=\"{A}\"\n" + identityKey("{A}") +
            "\"Username\"=\"Taro\"\n" + storeKey("{A}") +
            "\"Store Root\"=str(2):\"%UserProfile%\\\\local settings\\\\application data\\\\"
            "Identities\\\\{A}\\\\Microsoft\\\\Outlook Express\"\n" +
            identityKey("{B}") + storeKey("{B}") + "\"Store Root\"=\"Q:\\\\Mail\"\n");
    const MailStores stores = discover();
    ASSERT_EQ(stores.identities.entries.size(), 2u);
    const Identity& taro = stores.identities.entries[0];
    EXPECT_EQ(utf8(taro.storeRoot), "C:\\users\\taro\\local settings\\application "
                                    "data\\Identities\\{A}\\Microsoft\\Outlook Express");
    EXPECT_EQ(utf8(taro.storeFolder), fs::canonical(store).string());
    // No Q: drive in the prefix: the registry's text is all there is.
    EXPECT_EQ(utf8(stores.identities.entries[1].storeFolder), "Q:\\Mail");
    EXPECT_EQ(utf8(stores.defaultOutputFolder),
              fs::canonical(driveC() / "users" / "taro" / "Documents").string());
}

TEST_F(WinePrefixDiscovery, DocumentsFallBackWhenTheRegistryHasNoUsableFolder) {
    testing::writeFile(setup.prefix / "user.reg",
                       std::string("WINE REGISTRY Version 2\n") + kShellFolders);
    EXPECT_EQ(utf8(discover().defaultOutputFolder), (setup.home / "Documents").string());

    testing::writeFile(setup.prefix / "user.reg", std::string("WINE REGISTRY Version 2\n") +
                                                      kShellFolders +
                                                      "\"Personal\"=\"M:\\\\Docs\"\n");
    EXPECT_EQ(utf8(discover().defaultOutputFolder), (setup.home / "Documents").string());
}

TEST_F(WinePrefixDiscovery, MissingOrForeignRegistryGivesEmptyTexts) {
    MailStores stores = discover(); // no user.reg at all
    ASSERT_EQ(stores.identities.entries.size(), 1u);
    EXPECT_EQ(stores.identities.entries[0].name, u"");
    EXPECT_EQ(stores.userProfilePath, u"");
    EXPECT_EQ(utf8(stores.systemDrivePath), "C:\\");

    testing::writeFile(setup.prefix / "user.reg", "not a registry\n[Identities\\\\{A}] 1\n");
    stores = discover();
    ASSERT_EQ(stores.identities.entries.size(), 1u);
    EXPECT_EQ(stores.identities.entries[0].storeFolder, u"");
}

TEST_F(WinePrefixDiscovery, ReadsARegistryExportWithoutChangingIt) {
    setup.registryExport = dir.path() / "oe.reg";
    Bytes exported("\xFF\xFE", 2);
    const Text text =
        u"Windows Registry Editor Version 5.00\r\n\r\n"
        u"[HKEY_CURRENT_USER\\Identities]\r\n\"Start As\"=\"{2}\"\r\n\r\n"
        u"[HKEY_CURRENT_USER\\Identities\\{1}]\r\n\"Username\"=\"メイン ユーザー\"\r\n\r\n"
        u"[HKEY_CURRENT_USER\\Identities\\{2}]\r\n\"Username\"=\"花子\"\r\n\r\n"
        u"[HKEY_CURRENT_USER\\Identities\\{2}\\Software\\Microsoft\\Outlook "
        u"Express\\5.0]\r\n\"Store Root\"=\"C:\\\\OE\\\\花子\"\r\n";
    for (const char16_t c : text) {
        exported += toByte(c & 0xFF);
        exported += toByte(c >> 8);
    }
    testing::writeFile(*setup.registryExport, exported);
    fs::create_directories(driveC() / "OE" / "花子");
    fs::permissions(*setup.registryExport, fs::perms::owner_read, fs::perm_options::replace);
    const auto writtenAt = fs::last_write_time(*setup.registryExport);

    const MailStores stores = discover();
    ASSERT_EQ(stores.identities.entries.size(), 2u);
    EXPECT_EQ(stores.identities.defaultIndex, 1u);
    EXPECT_EQ(utf8(stores.identities.entries[0].name), "メイン ユーザー");
    EXPECT_EQ(utf8(stores.identities.defaultIdentity().storeFolder),
              fs::canonical(driveC() / "OE" / "花子").string());
    EXPECT_EQ(testing::readFile(*setup.registryExport), exported);
    EXPECT_EQ(fs::last_write_time(*setup.registryExport), writtenAt);
}

#else

TEST(WinePrefixDiscovery, StoreFoldersOfAWinePrefix) {
    GTEST_SKIP() << "Linux only: Windows reads its own registry, not a Wine prefix";
}

#endif

TEST(Registry, ListsAndReadsStrings) {
    const auto registry = userReg("[Keys] 1\n\"Sz\"=\"abc\\0def\"\n\"Number\"=dword:00000002\n"
                                  "[Keys\\\\One] 1\n[Keys\\\\Tw\\0o] 1\n[Empty] 1\n");
    const auto CU = RegistryRoot::CurrentUser;
    EXPECT_EQ(regListSubKeys(*registry, CU, u"Keys"), (std::vector<Text>{u"One", u"Tw"}));
    EXPECT_EQ(regListSubKeys(*registry, CU, u"Empty"), std::vector<Text>{Text()});
    EXPECT_EQ(regListSubKeys(*registry, CU, u"Missing"), std::vector<Text>{Text()});

    Text value = u"stale";
    EXPECT_TRUE(regReadString(*registry, CU, u"Keys", u"Sz", value));
    EXPECT_EQ(value, u"abc");
    value = u"stale";
    EXPECT_FALSE(regReadString(*registry, CU, u"Keys", u"Number", value));
    EXPECT_EQ(value, u"");
    value = u"stale";
    EXPECT_FALSE(regReadString(*registry, CU, u"Keys", u"Missing", value));
    EXPECT_EQ(value, u"");
    value = u"stale";
    EXPECT_FALSE(regReadString(*registry, CU, u"Missing", u"Sz", value));
    EXPECT_EQ(value, u"");

    EXPECT_EQ(trimAtNul(Text(u"ab\0c", 4)), u"ab");
    EXPECT_EQ(trimAtNul(Text(u"\0c", 2)), u"");
    EXPECT_EQ(trimAtNul(u"abc"), u"abc");
}

} // namespace
} // namespace keldor::startup
