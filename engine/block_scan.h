#pragma once
// Finds the messages of a mailbox file without its header, index tree or
// deleted chain: one sequential pass recognises every live and deleted
// block by its own header, then the blocks are joined through their own
// links. Also finds a mailbox that starts later inside a larger file (a
// disk image, a file with bytes put before it): every block of such a
// mailbox is off from its own position by the same amount, and the blocks
// of each such offset group are joined on their own. For reading only.
//
// Recognised block headers (little-endian words at the block's start;
// `own` is the block's position inside its mailbox, a multiple of 4):
//
//   live:    own, 0x200, used (1 … 0x200), next (0, or a multiple of 4 other than own)
//            then 0x200 bytes of which the first `used` are message text
//   deleted: own, 0x1FC, 0x210, continuation, chain link
//            then 508 text bytes (the chain link took the first four)
//
// The header is looked for at every byte of the file, so a mailbox starting
// at any place inside an image is found.

#include "engine/dbx_layout.h"
#include "platform/bytes.h"
#include "platform/files.h"

#include <cstdint>
#include <functional>
#include <optional>
#include <vector>

namespace keldor::engine {

enum class BlockKind : std::uint8_t { Live, Deleted };

// One place of a found message, in message order: a block found in the file,
// or a hole where one block of the message is lost (512 lost bytes).
struct MessagePiece {
    std::optional<std::uint64_t> block; // the block's position in the file; nullopt: a hole

    [[nodiscard]] bool hole() const { return !block; }
};

struct ScannedMessage {
    BlockKind kind = BlockKind::Live;
    // Its last block names a next block that was not joined (gone, beyond
    // the end, claimed twice, or the message came round to itself).
    bool cut = false;
    // Its first block does not begin like a mail: the rest of a message
    // whose beginning is lost, or a stale block no message names.
    bool fragment = false;
    std::size_t group = 0;      // index into ScanResult::groups()
    std::size_t firstPiece = 0; // into ScanResult's pieces
    std::size_t pieceCount = 0;
};

// The mailbox positions of one offset group's blocks plus `shift` give their
// positions in the file. Shift 0 is the file itself.
struct OffsetGroup {
    std::int64_t shift = 0;
    std::uint64_t liveBlocks = 0;
    std::uint64_t deletedBlocks = 0;
};

struct ScanCounts {
    std::uint64_t liveBlocks = 0;    // in accepted offset groups
    std::uint64_t deletedBlocks = 0; // in accepted offset groups
    // Messages whose first block does not begin like a mail (no header
    // line at its start): the rest of a message whose beginning is lost.
    std::uint64_t unjoinedFragments = 0;
    std::uint64_t cutMessages = 0; // see ScannedMessage::cut
    std::uint64_t holesFilled = 0; // lost blocks bridged inside a message
    std::uint64_t offsetGroups = 0;
    // Blocks of offsets shared by too few blocks to be a mailbox (fewer
    // than four; the file's own offset needs one): left out.
    std::uint64_t rejectedBlocks = 0;
};

class ScanResult {
public:
    // Live messages: in index-tree order where the tree names them (the
    // file's own mailbox only), the rest by position. Deleted messages: in
    // the order a walk of the deleted chain reads them where the chain's
    // links hold, the rest by position. Groups in order of their shift,
    // the file's own first; per group the live messages, then the deleted.
    [[nodiscard]] std::size_t messageCount() const { return messages_.size(); }
    [[nodiscard]] ScannedMessage message(std::size_t index) const;
    [[nodiscard]] std::vector<MessagePiece> pieces(const ScannedMessage& message) const;

    [[nodiscard]] const std::vector<OffsetGroup>& groups() const { return groups_; }
    [[nodiscard]] const ScanCounts& counts() const { return counts_; }

    // The scan ended early: the progress callback asked to stop, or a read
    // failed. What was found before is joined and kept.
    [[nodiscard]] bool stopped() const { return stopped_; }
    [[nodiscard]] bool readFailed() const { return readFailed_; }

private:
    friend class BlockJoiner;
    friend ScanResult scanMailboxBlocks(const platform::ReadOnlyFile& file,
                                        const std::function<bool(std::uint64_t, std::uint64_t)>&);

    // Eight bytes a message and four a piece, so that a mailbox of
    // one-block messages costs no more than its blocks.
    struct PackedMessage {
        std::uint32_t firstPiece = 0;
        std::uint32_t info = 0; // group << 3 | fragment << 2 | cut << 1 | deleted
    };
    std::vector<PackedMessage> messages_;
    std::vector<std::uint32_t> pieces_; // a block's mailbox position, or kHole
    std::vector<OffsetGroup> groups_;
    ScanCounts counts_;
    bool stopped_ = false;
    bool readFailed_ = false;
};

// Scans all of `file` once, front to back, in large reads, then joins the
// blocks found into messages. `progress` (may be empty) is called after
// every read with the bytes done and the file's size; false stops the scan.
//
// Joining: a live block is followed by the block its `next` names when no
// other block names that one. A deleted block is followed by the block its
// continuation names when that block's chain link names it back, or when
// that block's chain link is broken (0, outside, naming no deleted block)
// and no other block names it. Where a deleted message's next block is gone
// and one fragment that nobody names, and whose text does not begin like a
// mail, has a chain link naming that same missing block, the two are joined
// with a hole between them. Every block is in at most one message; blocks
// of different groups or kinds are never joined. A block whose link points
// past the end of the file is kept and ends its message as cut. Ends on any
// input and never reads outside the file.
//
// Besides the pass, only the file's own header and index tree are read, to
// put the live messages in the tree's order. Memory: the read buffer, 20
// bytes per block found while joining, then 4 a piece and 8 a message.
[[nodiscard]] ScanResult scanMailboxBlocks(
    const platform::ReadOnlyFile& file,
    const std::function<bool(std::uint64_t done, std::uint64_t total)>& progress = {});

enum class PieceReadEnd { Complete, ReadFailed, SinkFailed };

// Passes the bytes of one found message to `sink`, one call per piece, in
// message order. Live: each block's used bytes as the file holds them, as
// the index tree's reading passes them. Deleted: per block its 512-byte text
// area as the deleted chain's reading sees it, the four bytes the chain link
// took as 0x00 followed by the 508 surviving text bytes, untrimmed. A hole:
// 512 bytes 0x00. A block that can no longer be read (the file shrank, a
// read error) ends the message with ReadFailed.
[[nodiscard]] PieceReadEnd readScannedMessage(const platform::ReadOnlyFile& file,
                                              const ScanResult& scan, const ScannedMessage& message,
                                              const std::function<bool(ByteView)>& sink);

// The deleted records of a found deleted message in reading order (the
// order a chain walk reads them back, the reverse of chain order), for the
// same reassembly as the chain's records: `record` is the record at the
// piece's block, or nullptr for a hole. False from `each` stops; returns
// false when a record could not be read or `each` stopped.
bool forEachScannedRecord(const platform::ReadOnlyFile& file, const ScanResult& scan,
                          const ScannedMessage& message,
                          const std::function<bool(const dbx::DeletedRecord* record)>& each);

} // namespace keldor::engine
