// keldor-cli stores, run as a user runs it, against a Wine prefix and a
// registry export written by the test.

#include "tests/support/test_support.h"

#include <gtest/gtest.h>

namespace keldor {
namespace {

namespace fs = std::filesystem;

using Result = testing::CommandResult;

#ifdef _WIN32

TEST(StoresCommand, ReadsAWinePrefixOrARegistryExport) {
    GTEST_SKIP() << "Linux only: on Windows the command reads the system's registry, which "
                    "the Windows registry tests fill";
}

#else

class StoresCommand : public ::testing::Test {
protected:
    StoresCommand() {
        fs::create_directories(prefix() / "dosdevices");
        fs::create_directories(prefix() / "drive_c" / "OE" / "Taro");
        fs::create_directories(home() / "Documents");
        fs::create_directory_symlink("../drive_c", prefix() / "dosdevices" / "c:");
    }
    fs::path prefix() const { return dir.path() / "wine"; }
    fs::path home() const { return dir.path() / "home"; }

    Result run(const std::vector<std::string>& args, const std::string& registryExport = "") {
        testing::EnvironmentChanges environment = {
            {"KELDOR_REGISTRY", std::nullopt},
            {"XDG_CONFIG_HOME", std::nullopt},
            {"HOME", home().string()},
            {"WINEPREFIX", prefix().string()},
        };
        if (!registryExport.empty()) {
            environment.emplace_back("KELDOR_REGISTRY", registryExport);
        }
        return testing::runProgram(KELDOR_CLI_PATH, args, dir.path(), environment);
    }

    void writeUserReg() {
        testing::writeFile(
            prefix() / "user.reg",
            "WINE REGISTRY Version 2\n"
            "[Identities] 1\n\"Start As\"=\"{2}\"\n"
            "[Identities\\\\{1}] 1\n\"Username\"=\"\\x30e1\\x30a4\\x30f3\"\n"
            "[Identities\\\\{2}] 1\n\"Username\"=\"Taro\"\n"
            "[Identities\\\\{2}\\\\Software\\\\Microsoft\\\\Outlook Express\\\\5.0] 1\n"
            "\"Store Root\"=str(2):\"%SystemDrive%\\\\oe\\\\taro\"\n");
    }

    testing::TempDir dir;
};

TEST_F(StoresCommand, ListsIdentitiesFromTheWinePrefix) {
    writeUserReg();
    const Result r = run({"stores"});
    ASSERT_EQ(r.status, 0) << r.err;
    const std::string store = fs::canonical(prefix() / "drive_c" / "OE" / "Taro").string();
    EXPECT_EQ(r.out, "Identities:\n"
                     "  1. メイン\n"
                     "     store folder: (none)\n"
                     "* 2. Taro\n"
                     "     store folder: " +
                         store +
                         "\n"
                         "     in registry:  C:\\oe\\taro\n"
                         "Default identity: 2. Taro\n"
                         "Deleted Items: " +
                         store +
                         "/削除済みアイテム.dbx\n"
                         "Default output folder: " +
                         (home() / "Documents").string() + "\n");
    EXPECT_TRUE(r.err.empty()) << r.err;
}

TEST_F(StoresCommand, JsonFromARegistryExport) {
    writeUserReg(); // the export wins over the prefix's own registry
    const auto exported = dir.path() / "oe.reg";
    testing::writeFile(exported,
                       "REGEDIT4\r\n\r\n"
                       "[HKEY_CURRENT_USER\\Identities\\{9}]\r\n"
                       "\"Username\"=\"Solo \\\"Q\\\"\"\r\n"
                       "[HKEY_CURRENT_USER\\Software\\Microsoft\\Windows\\CurrentVersion\\"
                       "Explorer\\Shell Folders]\r\n"
                       "\"Personal\"=\"C:\\\\OE\\\\\"\r\n");
    const Result r = run({"stores", "--json"}, exported.string());
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.out, "{\"identities\": [{\"name\": \"Solo \\\"Q\\\"\", \"storeFolder\": \"\", "
                     "\"storeRoot\": \"\", \"default\": true}], \"defaultIndex\": 0, "
                     "\"deletedItems\": \"\", \"defaultOutputFolder\": \"" +
                         fs::canonical(prefix() / "drive_c" / "OE").string() + "\"}\n");
}

TEST_F(StoresCommand, EmptyRegistryAndUsageErrors) {
    const Result empty = run({"stores"});
    ASSERT_EQ(empty.status, 0) << empty.err;
    EXPECT_NE(empty.out.find("* 1. (none)\n     store folder: (none)\n"), std::string::npos)
        << empty.out;
    EXPECT_NE(empty.out.find("Deleted Items: (none)\n"), std::string::npos) << empty.out;

    const Result bad = run({"stores", "--bogus"});
    EXPECT_EQ(bad.status, 2);
    EXPECT_TRUE(bad.out.empty());
    EXPECT_NE(bad.err.find("--bogus"), std::string::npos) << bad.err;

    const Result help = run({"--help"});
    EXPECT_NE(help.out.find("keldor-cli stores [--json]"), std::string::npos) << help.out;
}

#endif

} // namespace
} // namespace keldor
