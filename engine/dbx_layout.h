#pragma once
// The few structures of an Outlook Express mailbox file (.dbx) that we read:
// the header's two identifying words and the head of the chain of deleted
// records, and the deleted record itself, for recovery; the message count,
// the index tree, the message information records and the message data
// blocks, for extracting the live messages. All integers are little-endian
// (32-bit unless said otherwise); all offsets are 0-based from the start of
// the file. Every object of the live structures begins with its own offset,
// its marker.

#include "platform/bytes.h"
#include "platform/files.h"

#include <array>
#include <cstdint>
#include <optional>

namespace keldor::engine::dbx {

// File header, read as one block from offset 0.
constexpr std::size_t kHeaderSize = 0x24BC;
constexpr std::size_t kMagicAt = 0x0000;
constexpr std::size_t kFileKindAt = 0x0004;
constexpr std::size_t kDeletedChainHeadAt = 0x0048;
constexpr std::size_t kMessageCountAt = 0x00C4;
constexpr std::size_t kIndexTreeRootAt = 0x00E4;
constexpr std::uint32_t kMagic = 0xFE12ADCF;
constexpr std::uint32_t kMessageFileKind = 0x6F74FDC5;

// Deleted record. Its 512-byte text area starts at kChainLinkAt: the chain
// link took the first four text bytes, so only kTextSize of them survive.
constexpr std::size_t kRecordSize = 0x210;
constexpr std::size_t kContinuationAt = 0x00C;
constexpr std::size_t kChainLinkAt = 0x010;
constexpr std::size_t kTextAt = 0x014;
constexpr std::size_t kTextSize = 508;
constexpr std::size_t kLostBytesPerRecord = 4; // each written as repair::kLost (repair/lost_byte.h)

// Node of the message index tree: a header, then entries of three words
// each (the offset of a message information record, a child node, the
// number of values under that child). The node's own child holds the values
// before its first entry, each entry's child those after that entry.
constexpr std::size_t kTreeNodeSize = 0x27C;
constexpr std::size_t kNodeMarkerAt = 0x00;
constexpr std::size_t kNodeChildAt = 0x08;
constexpr std::size_t kNodeEntryCountAt = 0x11; // one byte
constexpr std::size_t kNodeEntriesAt = 0x18;
constexpr std::size_t kNodeEntrySize = 0x0C;
constexpr std::size_t kNodeEntryValueAt = 0x00;
constexpr std::size_t kNodeEntryChildAt = 0x04;
constexpr std::size_t kMaxNodeEntries = (kTreeNodeSize - kNodeEntriesAt) / kNodeEntrySize; // 51

// Message information record: a header, a field table of one word per
// field (low byte: field number, bit 7 set when the value is stored in the
// table itself; upper three bytes: the value, or the offset of the value in
// the data area that follows the table), then the data area.
constexpr std::size_t kInfoHeaderSize = 0x0C;
constexpr std::size_t kInfoMarkerAt = 0x00;
constexpr std::size_t kInfoBodySizeAt = 0x04;   // table and data area
constexpr std::size_t kInfoFieldCountAt = 0x0A; // one byte
constexpr std::size_t kInfoFieldSize = 4;
constexpr unsigned kInfoFieldDirect = 0x80;
constexpr unsigned kInfoFieldNumberMask = 0x7F;
constexpr unsigned kMessageDataField = 0x04; // offset of the message's first data block

// Message data block: a header, then kDataBlockSize bytes of which the
// first `used` hold message text. Blocks are chained; 0 ends the chain.
constexpr std::size_t kDataBlockHeaderSize = 0x10;
constexpr std::size_t kBlockMarkerAt = 0x00;
constexpr std::size_t kBlockSizeAt = 0x04;
constexpr std::size_t kBlockUsedAt = 0x08;
constexpr std::size_t kBlockNextAt = 0x0C;
constexpr std::uint32_t kDataBlockSize = 0x200;

// Little-endian word at `at`, or nullopt when it would read past `block`.
std::optional<std::uint32_t> readLe32(ByteView block, std::size_t at);

struct MailboxHeader {
    std::uint32_t magic = 0;
    std::uint32_t fileKind = 0;
    std::uint32_t deletedChainHead = 0; // 0: no deleted record
    std::uint32_t messageCount = 0;     // live messages, as the header counts them
    std::uint32_t indexTreeRoot = 0;    // 0: no live message
};

enum class HeaderCheck { Accepted, NotOutlookExpressFile, NotMessageFile };

// Parses as much of the header as `block` holds. nullopt when it is too short
// for the two identifying words; a block that ends before the chain head
// reads as a file without deleted records (or live messages).
std::optional<MailboxHeader> parseHeader(ByteView block);

// The magic word first, then the file kind.
HeaderCheck checkHeader(const std::optional<MailboxHeader>& header);

struct DeletedRecord {
    std::uint32_t continuation = 0; // nonzero: the message goes on in the next record
    std::uint32_t chainLink = 0;    // next record of the chain; 0 ends it
    std::array<char, kTextSize> text{};

    [[nodiscard]] ByteView textView() const { return {text.data(), text.size()}; }
    // The last text byte is not 0x00 and the continuation is set.
    [[nodiscard]] bool fullByLayout() const;
};

// Reads records of one open mailbox file; never reads outside it.
class RecordReader {
public:
    explicit RecordReader(const platform::ReadOnlyFile& file) : file_(file) {}

    // The record at `offset`, or false when it would run past the end of the
    // file or the read fails. `record` is overwritten either way.
    bool read(std::uint64_t offset, DeletedRecord& record) const;

    // Only the chain link of the record at `offset` (a walk of the chain
    // needs nothing else); nullopt where read() would give false.
    [[nodiscard]] std::optional<std::uint32_t> readChainLink(std::uint64_t offset) const;

private:
    const platform::ReadOnlyFile& file_;
};

} // namespace keldor::engine::dbx
