#include "engine/dbx_layout.h"

#include <algorithm>

namespace keldor::engine::dbx {

std::optional<std::uint32_t> readLe32(ByteView block, std::size_t at) {
    if (at > block.size() || block.size() - at < 4) {
        return std::nullopt;
    }
    return static_cast<std::uint32_t>(byteAt(block, at)) |
           static_cast<std::uint32_t>(byteAt(block, at + 1)) << 8 |
           static_cast<std::uint32_t>(byteAt(block, at + 2)) << 16 |
           static_cast<std::uint32_t>(byteAt(block, at + 3)) << 24;
}

std::optional<MailboxHeader> parseHeader(ByteView block) {
    const auto magic = readLe32(block, kMagicAt);
    const auto fileKind = readLe32(block, kFileKindAt);
    if (!magic || !fileKind) {
        return std::nullopt;
    }
    MailboxHeader header;
    header.magic = *magic;
    header.fileKind = *fileKind;
    header.deletedChainHead = readLe32(block, kDeletedChainHeadAt).value_or(0);
    header.messageCount = readLe32(block, kMessageCountAt).value_or(0);
    header.indexTreeRoot = readLe32(block, kIndexTreeRootAt).value_or(0);
    return header;
}

HeaderCheck checkHeader(const std::optional<MailboxHeader>& header) {
    if (!header || header->magic != kMagic) {
        return HeaderCheck::NotOutlookExpressFile;
    }
    if (header->fileKind != kMessageFileKind) {
        return HeaderCheck::NotMessageFile;
    }
    return HeaderCheck::Accepted;
}

bool DeletedRecord::fullByLayout() const {
    return text[kTextSize - 1] != 0 && continuation != 0;
}

bool RecordReader::read(std::uint64_t offset, DeletedRecord& record) const {
    record = DeletedRecord{};
    if (offset > file_.size() || file_.size() - offset < kRecordSize) {
        return false;
    }
    std::array<char, kRecordSize> block{};
    const auto got = file_.readAt(offset, block);
    if (!got || *got != kRecordSize) {
        return false;
    }
    const ByteView view(block.data(), block.size());
    record.continuation = *readLe32(view, kContinuationAt);
    record.chainLink = *readLe32(view, kChainLinkAt);
    std::copy(block.begin() + kTextAt, block.end(), record.text.begin());
    return true;
}

std::optional<std::uint32_t> RecordReader::readChainLink(std::uint64_t offset) const {
    if (offset > file_.size() || file_.size() - offset < kRecordSize) {
        return std::nullopt;
    }
    std::array<char, 4> link{};
    const auto got = file_.readAt(offset + kChainLinkAt, link);
    if (!got || *got != link.size()) {
        return std::nullopt;
    }
    return readLe32(ByteView(link.data(), link.size()), 0);
}

} // namespace keldor::engine::dbx
