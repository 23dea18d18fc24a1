#pragma once
// Builds mailbox files whose deleted-record chain holds messages the caller
// gives, laid out as Outlook Express leaves a deleted message: a freed block
// (its own offset, 0x1FC, 0x210, then the stale pointer to the next block of
// the same message, which recovery reads as the continuation), the chain
// link written over the first four text bytes, and the chain running from
// the last record to be read back to the first.

#include "platform/bytes.h"

#include <cstdint>
#include <filesystem>
#include <optional>
#include <vector>

namespace keldor::testing {

struct MailboxOptions {
    std::uint32_t magic = 0xFE12ADCF;
    std::uint32_t fileKind = 0x6F74FDC5;
    bool scatter = false;              // records in shuffled places instead of in order
    std::uint32_t seed = 1;            // for scatter and live-block contents
    std::size_t liveBlocksBetween = 0; // undeleted blocks laid between deleted records
    // Chain index (0 = head) that the chain's last record links back to,
    // making a loop; nullopt ends the chain with a zero link.
    std::optional<std::size_t> loopBackTo;
    // A raw value for the link of the chain's last record (e.g. past the end of the file).
    std::optional<std::uint32_t> lastLink;
    // A raw value for the chain head in the header.
    std::optional<std::uint32_t> head;
    // Damage to the live messages' structures (message 0 is the one damaged).
    bool liveTreeLoop = false;      // the index tree's root names itself as its child
    bool liveOverfullNode = false;  // the root claims more entries than a node holds
    bool liveRepeatedEntry = false; // the root lists message 0 a second time
    bool liveChainLoop = false;     // message 0's last block links back to its first
    bool liveBlockOutside = false;  // message 0's first block links past the end of the file
    bool liveUsedTooLong = false;   // message 0's second block claims 0x201 used bytes
    bool liveBadRecord = false;     // message 0's information record has a wrong marker
    // Cut the file to this many bytes.
    std::optional<std::size_t> truncateTo;
    // Zero bytes between the header and the first record. build() leaves
    // them out (its bytes are the header, then the rest; every position in
    // them counts the gap); writeTo() skips them, so a large gap makes a
    // sparse file.
    std::uint64_t gapAfterHeader = 0;
};

class MailboxWriter {
public:
    // Splits a message into 512-byte pieces, one record each, in reading order.
    void addMessage(ByteView message);

    // One record in reading order: its 508 surviving text bytes (padded with
    // 0x00) and whether its continuation field is set.
    void addRecord(ByteView text, bool continues);

    // A live (never deleted) message: an information record naming its first
    // data block, the blocks (0x200 bytes each, the last one partly used),
    // and an entry in the index tree: one node for up to 51 messages, more
    // nodes below it for more.
    void addLiveMessage(ByteView message) { live_.emplace_back(message); }

    [[nodiscard]] std::size_t recordCount() const { return records_.size(); }

    // The whole file.
    [[nodiscard]] Bytes build(const MailboxOptions& options = {}) const;
    void writeTo(const std::filesystem::path& file, const MailboxOptions& options = {}) const;

private:
    struct Record {
        Bytes text; // 508 bytes
        bool continues = false;
    };
    std::vector<Record> records_;
    std::vector<Bytes> live_;
};

// A mailbox made from arbitrary bytes, as the fuzz target of the whole run
// and the regression inputs use it. The first byte says how. Its low bit
// clear: the rest is the file itself, with the header's two identifying words
// written over its start, so the chain head and the records are the input's.
// Set: the rest is split at kMessageSeparator into messages (at most
// kMaxMessages, the last one taking the rest) laid out as deleted records;
// the next bits ask for scattered records, live blocks between them, a chain
// that loops back, a cut end, and a last link past the end of the file.
inline constexpr std::string_view kMessageSeparator{"\xFF\x00\xFF\x00", 4};
inline constexpr std::size_t kMaxMessages = 64;
Bytes mailboxFromBytes(ByteView input);

// The number of bytes recovery writes for `message`, and the 0-based
// positions in it that the chain links took (the first four of every 512).
std::vector<std::size_t> lostPositions(std::size_t messageSize);

} // namespace keldor::testing
