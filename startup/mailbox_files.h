#pragma once
// The mailbox files of one store folder as the mailbox file picker lists
// them: the well-known folders first, the bookkeeping files left out.

#include "platform/bytes.h"

#include <cstdint>
#include <filesystem>
#include <optional>
#include <vector>

namespace keldor::startup {

// Also the row's icon (1-based) and the order in which kinds are listed.
enum class FolderKind {
    Inbox = 1,    // 受信トレイ
    Outbox,       // 送信トレイ
    SentItems,    // 送信済みアイテム
    DeletedItems, // 削除済みアイテム
    Drafts,       // 下書き
    Other,
};

// The kind of a mailbox file by the start of its name, or nullopt for the
// files never listed: folders.dbx, offline.dbx, pop3uidl.dbx (any letter
// case) and names starting "search folder" (any letter case).
std::optional<FolderKind> folderKindOf(TextView fileName);

// A file length as whole kilobytes, halves rounded up, with thousands
// separators: 1536 -> "2KB", 511 -> "0KB", 1500000 -> "1,465KB".
Text formatKilobytes(std::uint64_t bytes);

struct MailboxFile {
    Text name; // without the folder
    FolderKind kind = FolderKind::Other;
    std::uint64_t size = 0; // bytes; 0 when the length cannot be read
};

// The ordinary *.dbx files of `folder` (extension in any letter case), kind
// by kind, within a kind in the order the file system returns them. Empty
// when the folder is missing or unreadable; never follows subfolders.
std::vector<MailboxFile> listMailboxFiles(const std::filesystem::path &folder);

} // namespace keldor::startup
