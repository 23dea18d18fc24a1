#include "startup/mailbox_files.h"

#include "platform/text.h"
#include "tests/support/test_support.h"

#include <gtest/gtest.h>

namespace keldor::startup {
namespace {

namespace fs = std::filesystem;
using testing::utf8;

void makeFile(const fs::path& folder, const std::string& name, std::size_t size = 0) {
    testing::writeFile(folder / testing::pathFromUtf8(name), Bytes(size, 'x'));
}

std::vector<std::string> names(const std::vector<MailboxFile>& files) {
    std::vector<std::string> out;
    for (const auto& file : files) {
        out.push_back(utf8(file.name));
    }
    return out;
}

TEST(MailboxFiles, WellKnownFoldersFirstAndBookkeepingLeftOut) {
    testing::TempDir dir;
    for (const char* name : {"受信トレイ.dbx", "Folders.dbx", "ニュース.dbx", "下書き.dbx",
                             "送信済みアイテム.dbx", "Pop3uidl.dbx"}) {
        makeFile(dir.path(), name);
    }
    const auto files = listMailboxFiles(dir.path());
    EXPECT_EQ(names(files), (std::vector<std::string>{"受信トレイ.dbx", "送信済みアイテム.dbx",
                                                      "下書き.dbx", "ニュース.dbx"}));
    ASSERT_EQ(files.size(), 4u);
    EXPECT_EQ(files[0].kind, FolderKind::Inbox);
    EXPECT_EQ(files[1].kind, FolderKind::SentItems);
    EXPECT_EQ(files[2].kind, FolderKind::Drafts);
    EXPECT_EQ(files[3].kind, FolderKind::Other);
    // A second listing gives the same rows, each file once.
    EXPECT_EQ(names(listMailboxFiles(dir.path())), names(files));
}

TEST(MailboxFiles, KindsByNameStart) {
    const struct {
        const char* name;
        std::optional<FolderKind> kind;
    } cases[] = {
        {"受信トレイ.dbx", FolderKind::Inbox},
        {"受信トレイ (2).dbx", FolderKind::Inbox},
        {"送信トレイ.dbx", FolderKind::Outbox},
        {"送信済みアイテム.dbx", FolderKind::SentItems},
        {"削除済みアイテム.dbx", FolderKind::DeletedItems},
        {"下書き.dbx", FolderKind::Drafts},
        {"受信.dbx", FolderKind::Other},
        {"Inbox.dbx", FolderKind::Other},
        {"folders.dbx", std::nullopt},
        {"FOLDERS.DBX", std::nullopt},
        {"OffLine.dbx", std::nullopt},
        {"pop3UIDL.dbx", std::nullopt},
        {"folders2.dbx", FolderKind::Other},
        {"Search Folder 1.dbx", std::nullopt},
        {"SEARCH FOLDER.dbx", std::nullopt},
        {"Search Folde.dbx", FolderKind::Other},
        {"My Search Folder.dbx", FolderKind::Other},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(folderKindOf(platform::fromUtf8(c.name)), c.kind) << c.name;
    }
}

TEST(MailboxFiles, OnlyOrdinaryDbxFiles) {
    testing::TempDir dir;
    makeFile(dir.path(), "削除済みアイテム.DBX");
    makeFile(dir.path(), "notes.txt");
    makeFile(dir.path(), "old.dbx.bak");
    makeFile(dir.path(), "dbx");
    fs::create_directory(dir.path() / "folder.dbx");
    makeFile(dir.path() / "folder.dbx", "受信トレイ.dbx");
    EXPECT_EQ(names(listMailboxFiles(dir.path())),
              std::vector<std::string>{"削除済みアイテム.DBX"});
    EXPECT_TRUE(listMailboxFiles(dir.path() / "missing").empty());
    EXPECT_TRUE(listMailboxFiles(dir.path() / "notes.txt").empty());
    EXPECT_TRUE(listMailboxFiles(fs::path()).empty());
}

TEST(MailboxFiles, EveryKindBeforeTheNext) {
    testing::TempDir dir;
    for (const char* name :
         {"b.dbx", "下書き.dbx", "a.dbx", "削除済みアイテム.dbx", "送信トレイ.dbx",
          "受信トレイ1.dbx", "送信済みアイテム.dbx", "受信トレイ2.dbx"}) {
        makeFile(dir.path(), name);
    }
    const auto files = listMailboxFiles(dir.path());
    ASSERT_EQ(files.size(), 8u);
    for (std::size_t i = 1; i < files.size(); ++i) {
        EXPECT_LE(files[i - 1].kind, files[i].kind) << utf8(files[i].name);
    }
    EXPECT_EQ(files[0].kind, FolderKind::Inbox);
    EXPECT_EQ(files[1].kind, FolderKind::Inbox);
    EXPECT_EQ(files[7].kind, FolderKind::Other);
}

TEST(MailboxFiles, SizesInKilobytes) {
    const struct {
        std::uint64_t bytes;
        const char* shown;
    } cases[] = {
        {0, "0KB"},
        {511, "0KB"},
        {512, "1KB"},
        {1023, "1KB"},
        {1536, "2KB"},
        {2559, "2KB"},
        {1500000, "1,465KB"},
        {999 * 1024, "999KB"},
        {1000 * 1024, "1,000KB"},
        {3ULL * 1024 * 1024 * 1024, "3,145,728KB"},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(utf8(formatKilobytes(c.bytes)), c.shown) << c.bytes;
    }

    testing::TempDir dir;
    makeFile(dir.path(), "a.dbx", 1536);
    const auto files = listMailboxFiles(dir.path());
    ASSERT_EQ(files.size(), 1u);
    EXPECT_EQ(files[0].size, 1536u);
}

} // namespace
} // namespace keldor::startup
