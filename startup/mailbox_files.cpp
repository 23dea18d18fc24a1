#include "startup/mailbox_files.h"

#include "platform/case_fold.h"
#include "platform/files.h"
#include "platform/text.h"

#include <algorithm>

namespace keldor::startup {

namespace {

constexpr struct {
    TextView prefix;
    FolderKind kind;
} kKnownFolders[] = {
    {u"受信トレイ", FolderKind::Inbox},
    {u"送信トレイ", FolderKind::Outbox},
    {u"送信済みアイテム", FolderKind::SentItems},
    {u"削除済みアイテム", FolderKind::DeletedItems},
    {u"下書き", FolderKind::Drafts},
};

constexpr TextView kNeverListed[] = {u"folders.dbx", u"offline.dbx", u"pop3uidl.dbx"};
constexpr TextView kSearchFolder = u"search folder";

} // namespace

std::optional<FolderKind> folderKindOf(TextView fileName) {
    const Text folded = platform::foldCase(fileName);
    for (const TextView excluded : kNeverListed) {
        if (folded == excluded) {
            return std::nullopt;
        }
    }
    for (const auto& known : kKnownFolders) {
        if (folded.starts_with(known.prefix)) {
            return known.kind;
        }
    }
    if (folded.starts_with(kSearchFolder)) {
        return std::nullopt;
    }
    return FolderKind::Other;
}

Text formatKilobytes(std::uint64_t bytes) {
    const std::uint64_t kilobytes = bytes / 1024 + (bytes % 1024 >= 512 ? 1 : 0);
    const std::string digits = std::to_string(kilobytes);
    std::string grouped;
    for (std::size_t i = 0; i < digits.size(); ++i) {
        if (i > 0 && (digits.size() - i) % 3 == 0) {
            grouped += ',';
        }
        grouped += digits[i];
    }
    return platform::asciiText(grouped + "KB");
}

std::vector<MailboxFile> listMailboxFiles(const std::filesystem::path& folder) {
    std::vector<MailboxFile> files;
    for (platform::FolderEntry& entry : platform::listFiles(folder)) {
        if (!platform::foldCase(entry.name).ends_with(u".dbx")) {
            continue;
        }
        const std::optional<FolderKind> kind = folderKindOf(entry.name);
        if (!kind) {
            continue;
        }
        files.push_back(MailboxFile{std::move(entry.name), *kind, entry.size});
    }
    // Kind by kind; stable, so the file system's order stays within a kind.
    std::stable_sort(files.begin(), files.end(),
                     [](const MailboxFile& a, const MailboxFile& b) { return a.kind < b.kind; });
    return files;
}

} // namespace keldor::startup
