#pragma once
// The few structures of an Outlook Express mailbox file (.dbx) that recovery
// reads: the header's two identifying words and the head of the chain of
// deleted records, and the deleted record itself. All integers are 32-bit
// little-endian; all offsets are 0-based from the start of the file.

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
constexpr std::uint32_t kMagic = 0xFE12ADCF;
constexpr std::uint32_t kMessageFileKind = 0x6F74FDC5;

// Deleted record. Its 512-byte text area starts at kChainLinkAt: the chain
// link took the first four text bytes, so only kTextSize of them survive.
constexpr std::size_t kRecordSize = 0x210;
constexpr std::size_t kContinuationAt = 0x00C;
constexpr std::size_t kChainLinkAt = 0x010;
constexpr std::size_t kTextAt = 0x014;
constexpr std::size_t kTextSize = 508;
constexpr std::size_t kLostBytesPerRecord = 4;

// Little-endian word at `at`, or nullopt when it would read past `block`.
std::optional<std::uint32_t> readLe32(ByteView block, std::size_t at);

struct MailboxHeader {
    std::uint32_t magic = 0;
    std::uint32_t fileKind = 0;
    std::uint32_t deletedChainHead = 0; // 0: no deleted record
};

enum class HeaderCheck { Accepted, NotOutlookExpressFile, NotMessageFile };

// Parses as much of the header as `block` holds. nullopt when it is too short
// for the two identifying words; a block that ends before the chain head
// reads as a file without deleted records.
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
