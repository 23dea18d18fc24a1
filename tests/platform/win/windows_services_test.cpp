// What only the Windows build does: the system registry filled the way a
// user's machine has it, the mailbox's sharing, paths beyond MAX_PATH and
// Japanese paths. (The console is tested from outside, through a terminal.)

#include "engine/recovery_run.h"
#include "platform/files.h"
#include "platform/registry_reader.h"
#include "platform/text.h"
#include "startup/mail_store_discovery.h"
#include "tests/support/mailbox_writer.h"
#include "tests/support/test_support.h"

#include <gtest/gtest.h>

#ifndef NOMINMAX
#define NOMINMAX
#endif
#include <shlobj.h>
#include <windows.h>

namespace keldor {
namespace {

namespace fs = std::filesystem;
using testing::utf8;

std::wstring wide(TextView text) {
    return std::wstring(text.begin(), text.end());
}

Text windowsFolder() {
    wchar_t path[MAX_PATH] = {};
    const UINT n = ::GetWindowsDirectoryW(path, MAX_PATH);
    return Text(path, path + n);
}

Text appDataFolder() {
    wchar_t path[MAX_PATH] = {};
    ::SHGetFolderPathW(nullptr, CSIDL_APPDATA, nullptr, SHGFP_TYPE_CURRENT, path);
    return Text(path, path + ::wcslen(path));
}

// A registry editor export (version 5.00, UTF-16LE with its mark), imported
// into the current user's registry with the system's own regedit.
void importRegistry(const testing::TempDir& dir, const Text& text) {
    Bytes exported("\xFF\xFE", 2);
    for (const char16_t c : u"Windows Registry Editor Version 5.00\r\n\r\n" + text) {
        exported += toByte(c & 0xFF);
        exported += toByte(c >> 8);
    }
    const fs::path file = dir.path() / "import.reg";
    testing::writeFile(file, exported);
    const fs::path regedit = platform::toPath(windowsFolder()) / "regedit.exe";
    const auto result = testing::runProgram(regedit, {"/S", testing::utf8Path(file)}, dir.path());
    ASSERT_EQ(result.status, 0) << result.err;
}

// The keys the test writes, gone before and after it.
class SystemRegistry : public ::testing::Test {
protected:
    SystemRegistry() { clear(); }
    ~SystemRegistry() override {
        clear();
        restorePersonal();
    }
    static void clear() { ::RegDeleteTreeW(HKEY_CURRENT_USER, L"Identities"); }

    void savePersonal() {
        const auto registry = platform::openUserRegistry();
        savedPersonal_ =
            registry->readValue(platform::RegistryRoot::CurrentUser, kShellFolders, u"Personal");
    }
    void restorePersonal() {
        if (!savedPersonal_) {
            return;
        }
        HKEY key = nullptr;
        if (::RegOpenKeyExW(HKEY_CURRENT_USER, wide(kShellFolders).c_str(), 0, KEY_SET_VALUE,
                            &key) == ERROR_SUCCESS) {
            const std::wstring value = wide(savedPersonal_->text);
            ::RegSetValueExW(key, L"Personal", 0, savedPersonal_->type,
                             reinterpret_cast<const BYTE*>(value.c_str()),
                             static_cast<DWORD>((value.size() + 1) * sizeof(wchar_t)));
            ::RegCloseKey(key);
        }
    }

    static constexpr TextView kShellFolders =
        u"Software\\Microsoft\\Windows\\CurrentVersion\\Explorer\\Shell Folders";
    testing::TempDir dir;
    std::optional<platform::RegistryValue> savedPersonal_;
};

TEST_F(SystemRegistry, DiscoversIdentitiesAndStoresAsTheRegistryHasThem) {
    savePersonal();
    // %UserProfile% ends in a backslash of its own; the one after it goes.
    const Text kStoreKey = u"\\Software\\Microsoft\\Outlook Express\\5.0]\r\n";
    importRegistry(dir,
                   u"[HKEY_CURRENT_USER\\Identities]\r\n\"Start As\"=\"{C}\"\r\n\r\n"
                   u"[HKEY_CURRENT_USER\\Identities\\{A}]\r\n\"Username\"=\"メイン ユーザー\"\r\n"
                   u"[HKEY_CURRENT_USER\\Identities\\{A}" +
                       kStoreKey + u"\"Store Root\"=\"%SystemDrive%\\\\OE\"\r\n\r\n" +
                       u"[HKEY_CURRENT_USER\\Identities\\{B}]\r\n\"Username\"=\"数字\"\r\n"
                       u"[HKEY_CURRENT_USER\\Identities\\{B}" +
                       kStoreKey + u"\"Store Root\"=dword:00000001\r\n\r\n" +
                       u"[HKEY_CURRENT_USER\\Identities\\{C}]\r\n\"Username\"=\"花子\"\r\n"
                       u"[HKEY_CURRENT_USER\\Identities\\{C}" +
                       kStoreKey +
                       // REG_EXPAND_SZ "%UserProfile%\OE\{C}", read as stored
                       u"\"Store Root\"=hex(2):25,00,55,00,73,00,65,00,72,00,50,00,72,00,6f,00,"
                       u"66,00,69,00,6c,00,65,00,25,00,5c,00,4f,00,45,00,5c,00,7b,00,43,00,7d,"
                       u"00,00,00\r\n\r\n"
                       u"[HKEY_CURRENT_USER\\" +
                       Text(kShellFolders) + u"]\r\n\"Personal\"=\"D:\\\\\"\r\n");

    const auto registry = platform::openUserRegistry();
    const auto folders = platform::openSystemFolders(*registry);
    const startup::MailStores stores = startup::discoverMailStores(*registry, *folders);

    const Text appData = appDataFolder();
    const Text profile = appData.substr(0, appData.rfind(u'\\') + 1);
    EXPECT_EQ(stores.systemDrivePath, windowsFolder().substr(0, 3));
    EXPECT_EQ(stores.userProfilePath, profile);
    ASSERT_EQ(stores.identities.entries.size(), 3u);
    EXPECT_EQ(stores.identities.defaultIndex, 2u);
    const auto& entries = stores.identities.entries;
    EXPECT_EQ(utf8(entries[0].name), "メイン ユーザー");
    EXPECT_EQ(entries[0].storeFolder, windowsFolder().substr(0, 3) + u"OE");
    EXPECT_EQ(utf8(entries[1].name), "数字");
    EXPECT_EQ(entries[1].storeFolder, u"") << "a number is no folder";
    EXPECT_EQ(utf8(entries[2].name), "花子");
    EXPECT_EQ(entries[2].storeFolder, profile + u"OE\\{C}");
    EXPECT_EQ(stores.defaultOutputFolder, u"D:");

    // The command line reads the same registry.
    const auto listed = testing::runProgram(KELDOR_CLI_PATH, {"stores"}, dir.path());
    ASSERT_EQ(listed.status, 0) << listed.err;
    EXPECT_NE(listed.out.find("* 3. 花子\n     store folder: " + utf8(profile) + "OE\\{C}\n"),
              std::string::npos)
        << listed.out;
    EXPECT_NE(listed.out.find("Default output folder: D:\n"), std::string::npos) << listed.out;
}

TEST_F(SystemRegistry, StartAsMatchesOnlyInTheSameLetterCase) {
    importRegistry(dir, u"[HKEY_CURRENT_USER\\Identities]\r\n\"Start As\"=\"{b}\"\r\n"
                        u"[HKEY_CURRENT_USER\\Identities\\{A}]\r\n"
                        u"[HKEY_CURRENT_USER\\Identities\\{B}]\r\n");
    const auto registry = platform::openUserRegistry();
    const auto stores =
        startup::discoverMailStores(*registry, *platform::openSystemFolders(*registry));
    ASSERT_EQ(stores.identities.entries.size(), 2u);
    EXPECT_EQ(stores.identities.defaultIndex, 0u);
}

class WindowsFiles : public ::testing::Test {
protected:
    fs::path makeMailbox(const fs::path& folder, int messages) {
        testing::MailboxWriter writer;
        for (int n = 1; n <= messages; ++n) {
            writer.addMessage(
                "Subject: =?ISO-2022-JP?B?GyRCSXw4NSVGJTklSBsoQg==?= " + std::to_string(n) +
                "\r\nDate: Thu, 23 Oct 2008 15:30:45 +0900\r\n\r\nbody\r\n");
        }
        const fs::path shortPath = dir.path() / "staging.dbx";
        writer.writeTo(shortPath);
        const fs::path mailbox = folder / u"削除済みアイテム.dbx";
        EXPECT_TRUE(::CopyFileW(longForm(shortPath).c_str(), longForm(mailbox).c_str(), TRUE));
        return mailbox;
    }
    static std::wstring longForm(const fs::path& path) { return L"\\\\?\\" + path.wstring(); }
    testing::TempDir dir;
    testing::RecordingView view;
};

TEST_F(WindowsFiles, MailboxHeldForWritingByAnotherProgramIsRefused) {
    const fs::path mailbox = makeMailbox(dir.path(), 1);
    {
        // Outlook Express holds its mailboxes open for writing, sharing nothing.
        HANDLE held = ::CreateFileW(mailbox.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr,
                                    OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
        ASSERT_NE(held, INVALID_HANDLE_VALUE);
        view.location = platform::pathText(dir.path());
        const engine::RunReport report =
            engine::recoverMailbox(mailbox, view, repair::RepairOptions{}, testing::everyPoint());
        ::CloseHandle(held);
        EXPECT_EQ(report.outcome, engine::RunOutcome::CouldNotOpen);
        ASSERT_EQ(view.messages.size(), 1u);
        EXPECT_EQ(view.messages[0].text.rfind(u"DBXファイルをオープンできませんでした。", 0), 0u);
    }
    // While the run reads it, others may read the mailbox but nobody may write it.
    std::error_code error;
    const auto reading = platform::ReadOnlyFile::open(mailbox, error);
    ASSERT_TRUE(reading) << error.message();
    HANDLE writer =
        ::CreateFileW(mailbox.c_str(), GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                      OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    EXPECT_EQ(writer, INVALID_HANDLE_VALUE);
    EXPECT_EQ(::GetLastError(), static_cast<DWORD>(ERROR_SHARING_VIOLATION));
    if (writer != INVALID_HANDLE_VALUE) {
        ::CloseHandle(writer);
    }
    HANDLE reader = ::CreateFileW(mailbox.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr,
                                  OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    EXPECT_NE(reader, INVALID_HANDLE_VALUE);
    ::CloseHandle(reader);
}

TEST_F(WindowsFiles, RecoversFromAndIntoJapanesePathsLongerThanMaxPath) {
    fs::path folder = dir.path() / u"受信トレイ";
    ASSERT_TRUE(platform::makeFolder(folder));
    while (folder.native().size() < 300) {
        folder /= u"とても長いフォルダの名前です";
        ASSERT_TRUE(platform::makeFolder(folder)) << folder.native().size();
    }
    const fs::path mailbox = makeMailbox(folder, 3);
    view.location = platform::pathText(folder);
    const engine::RunReport report =
        engine::recoverMailbox(mailbox, view, repair::RepairOptions{}, testing::everyPoint());
    ASSERT_EQ(report.outcome, engine::RunOutcome::Completed) << utf8(report.message);
    EXPECT_EQ(report.mailCount, 3);
    ASSERT_EQ(report.files.size(), 3u);
    EXPECT_EQ(utf8(report.files[0].subject), "復元テスト 1");
    const auto written = platform::listFiles(report.outputFolder);
    ASSERT_EQ(written.size(), 3u);
    for (const platform::FolderEntry& file : written) {
        EXPECT_EQ(utf8(file.name).rfind("復元テスト ", 0), 0u) << utf8(file.name);
        EXPECT_GT(file.size, 0u);
    }
    // The mailbox's folder lists the mailbox, and the run's folder as no file.
    const auto beside = platform::listFiles(folder);
    ASSERT_EQ(beside.size(), 1u);
    EXPECT_EQ(utf8(beside[0].name), "削除済みアイテム.dbx");
}

} // namespace
} // namespace keldor
