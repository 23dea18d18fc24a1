#include "tests/support/test_support.h"

#include <gtest/gtest.h>

#ifdef _WIN32

TEST(WineFoldersTest, ReachesTheRegistryOfAWinePrefix) {
    GTEST_SKIP() << "Linux only: Windows reads its own registry, not a Wine prefix";
}

#else

#include "platform/linux/wine_setup.h"
#include "platform/text.h"

namespace keldor::platform {
namespace {

namespace fs = std::filesystem;
using testing::utf8;

class WineFoldersTest : public ::testing::Test {
protected:
    WineFoldersTest() {
        setup.prefix = dir.path() / "prefix";
        setup.home = dir.path() / "home";
        setup.configHome = dir.path() / "home" / ".config";
        fs::create_directories(setup.prefix / "dosdevices");
        fs::create_directories(setup.prefix / "drive_c" / "Users" / "Taro" / "Outlook Express");
        fs::create_directories(setup.configHome);
        fs::create_directory_symlink("../drive_c", setup.prefix / "dosdevices" / "c:");
    }
    std::string local(TextView registryPath) const {
        const RegistryFile empty;
        const auto folder = WineFolders(setup, empty).localFolder(registryPath);
        return folder ? utf8(*folder) : "<none>";
    }
    std::string documents() const {
        const RegistryFile empty;
        return utf8(WineFolders(setup, empty).fallbackDocumentsFolder());
    }
    testing::TempDir dir;
    WineSetup setup;
};

TEST_F(WineFoldersTest, MapsDrivePathsThroughDosDevices) {
    const std::string driveC = (dir.path() / "prefix" / "drive_c").string();
    EXPECT_EQ(local(u"C:\\Users\\Taro\\Outlook Express"), driveC + "/Users/Taro/Outlook Express");
    // Letter case is matched against what is on disk, like Windows does.
    EXPECT_EQ(local(u"c:\\users\\TARO\\outlook express\\"), driveC + "/Users/Taro/Outlook Express");
    EXPECT_EQ(local(u"C:\\Users\\\\Taro"), driveC + "/Users/Taro");
    EXPECT_EQ(local(u"C:"), driveC);
    // A folder not (yet) there keeps the registry's spelling.
    EXPECT_EQ(local(u"C:\\Users\\Hanako\\OE"), driveC + "/Users/Hanako/OE");
}

TEST_F(WineFoldersTest, PathsWithoutAPlaceHaveNoLocalFolder) {
    EXPECT_EQ(local(u"D:\\x"), "<none>"); // no dosdevices link for d:
    EXPECT_EQ(local(u"C:relative"), "<none>");
    EXPECT_EQ(local(u"\\\\server\\share"), "<none>");
    EXPECT_EQ(local(u"Outlook Express"), "<none>");
    EXPECT_EQ(local(u""), "<none>");
    EXPECT_EQ(local(u"/srv/mail"), "/srv/mail");
}

TEST_F(WineFoldersTest, DocumentsFromUserDirs) {
    testing::writeFile(setup.configHome / "user-dirs.dirs",
                       "# written by xdg-user-dirs-update\n"
                       "XDG_DESKTOP_DIR=\"$HOME/Desktop\"\n"
                       "XDG_DOCUMENTS_DIR=\"$HOME/ドキュメント/\"\n");
    EXPECT_EQ(documents(), (setup.home / "ドキュメント").string());

    testing::writeFile(setup.configHome / "user-dirs.dirs",
                       "XDG_DOCUMENTS_DIR=\"/data/my \\\"docs\\\"\"\n");
    EXPECT_EQ(documents(), "/data/my \"docs\"");

    testing::writeFile(setup.configHome / "user-dirs.dirs", "XDG_DOCUMENTS_DIR=\"$HOME/\"\n");
    EXPECT_EQ(documents(), setup.home.string());
}

TEST_F(WineFoldersTest, DocumentsFallBackToHome) {
    // Unusable entries are ignored.
    testing::writeFile(setup.configHome / "user-dirs.dirs",
                       "XDG_DOCUMENTS_DIR=\"relative/docs\"\nXDG_DOCUMENTS_DIR=\"$HOMEX/a\"\n");
    EXPECT_EQ(documents(), setup.home.string());
    fs::create_directories(setup.home / "Documents");
    EXPECT_EQ(documents(), (setup.home / "Documents").string());
}

TEST_F(WineFoldersTest, WindowsAndAppDataFoldersFromTheRegistry) {
    testing::writeFile(setup.prefix / "user.reg",
                       "WINE REGISTRY Version 2\n"
                       "[Software\\\\Microsoft\\\\Windows\\\\CurrentVersion\\\\Explorer\\\\Shell "
                       "Folders] 1\n"
                       "\"AppData\"=\"C:\\\\users\\\\taro\\\\AppData\\\\Roaming\"\n");
    auto registry = loadWineRegistry(setup);
    EXPECT_EQ(utf8(WineFolders(setup, *registry).windowsFolder()), "C:\\windows");
    EXPECT_EQ(utf8(WineFolders(setup, *registry).appDataFolder()),
              "C:\\users\\taro\\AppData\\Roaming");

    testing::writeFile(setup.prefix / "system.reg",
                       "WINE REGISTRY Version 2\n"
                       "[Software\\\\Microsoft\\\\Windows NT\\\\CurrentVersion] 1\n"
                       "\"SystemRoot\"=\"E:\\\\WINNT\"\n");
    registry = loadWineRegistry(setup);
    EXPECT_EQ(utf8(WineFolders(setup, *registry).windowsFolder()), "E:\\WINNT");
}

TEST_F(WineFoldersTest, ExportReplacesThePrefixRegistry) {
    testing::writeFile(setup.prefix / "user.reg", "WINE REGISTRY Version 2\n[FromPrefix] 1\n");
    setup.registryExport = dir.path() / "export.reg";
    testing::writeFile(*setup.registryExport, "REGEDIT4\n[HKEY_CURRENT_USER\\FromExport]\n");
    const auto registry = loadWineRegistry(setup);
    EXPECT_TRUE(registry->subKeyNames(RegistryRoot::CurrentUser, u"FromExport"));
    EXPECT_FALSE(registry->subKeyNames(RegistryRoot::CurrentUser, u"FromPrefix"));

    setup.registryExport = dir.path() / "missing.reg";
    EXPECT_EQ(loadWineRegistry(setup)->subKeyNames(RegistryRoot::CurrentUser, u""),
              std::vector<Text>{});
}

} // namespace
} // namespace keldor::platform

#endif
