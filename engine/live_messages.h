#pragma once
// The live (never deleted) messages of a mailbox file, found through its
// index tree and read block by block, for reading only. The file is trusted
// for nothing: every pointer is checked against the file's length and the
// object's marker before it is followed, and every loop is noticed.

#include "platform/bytes.h"
#include "platform/files.h"

#include <cstdint>
#include <functional>
#include <optional>
#include <vector>

namespace keldor::engine {

// What was wrong in the live structures. Each ended one branch of the tree
// or one message, never the whole reading.
struct LiveDamage {
    int treeLoops = 0;       // a node reached a second time: not read again
    int badNodes = 0;        // a node pointer outside the file or to no node
    int overfullNodes = 0;   // a node claiming more entries than a node holds: its branch skipped
    int repeatedEntries = 0; // a message listed a second time: read once
    int badRecords = 0;      // a message information record outside the file or damaged
    int chainLoops = 0;      // a block chain coming back to one of its blocks
    int badBlocks = 0;       // a block pointer outside the file or to no data block
    int oversizedBlocks = 0; // a block using more than its 0x200 bytes

    [[nodiscard]] int total() const {
        return treeLoops + badNodes + overfullNodes + repeatedEntries + badRecords + chainLoops +
               badBlocks + oversizedBlocks;
    }
};

struct LiveIndex {
    std::vector<std::uint32_t> records; // message information records, in tree order, each once
    LiveDamage damage;
};

// Walks the index tree from `treeRoot` (0: no live message). Never reads
// outside the file and never visits a node twice, so it ends on any input.
[[nodiscard]] LiveIndex listLiveMessages(const platform::ReadOnlyFile& file,
                                         std::uint32_t treeRoot);

// The offset of the first data block of the message whose information
// record is at `record`: 0 when the record names none, nullopt when the
// record is damaged or outside the file.
[[nodiscard]] std::optional<std::uint32_t> messageDataOffset(const platform::ReadOnlyFile& file,
                                                             std::uint32_t record);

enum class MessageEnd {
    Complete,  // the chain ended with a zero link
    Cut,       // the chain broke (see LiveDamage); what was passed on is all there is
    NoText,    // the record holds no message text (or is unreadable): nothing passed on
    SinkFailed // `sink` returned false
};

// Passes the text of the message whose information record is at `record` to
// `sink`, block by block, as the file holds it. Damage is added to `damage`.
[[nodiscard]] MessageEnd readLiveMessage(const platform::ReadOnlyFile& file, std::uint32_t record,
                                         const std::function<bool(ByteView)>& sink,
                                         LiveDamage& damage);

} // namespace keldor::engine
