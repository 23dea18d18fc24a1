#include "engine/live_messages.h"

#include "engine/dbx_layout.h"

#include <optional>
#include <unordered_set>
#include <utility>

namespace keldor::engine {

namespace {

using namespace dbx;

// `size` bytes at `offset`, or nullopt when they are not all inside the file.
std::optional<Bytes> readWhole(const platform::ReadOnlyFile& file, std::uint64_t offset,
                               std::size_t size) {
    if (offset > file.size() || file.size() - offset < size) {
        return std::nullopt;
    }
    Bytes bytes(size, '\0');
    const auto got = file.readAt(offset, bytes);
    if (!got || *got != size) {
        return std::nullopt;
    }
    return bytes;
}

// An object whose first word is its own offset.
bool marked(ByteView object, std::uint64_t offset) {
    return readLe32(object, 0) == offset;
}

struct TreeNode {
    std::uint32_t child = 0;
    std::vector<std::pair<std::uint32_t, std::uint32_t>> entries; // value, child
};

enum class NodeRead { Read, Bad, Overfull };

NodeRead readNode(const platform::ReadOnlyFile& file, std::uint32_t offset, TreeNode& node) {
    const std::optional<Bytes> block = readWhole(file, offset, kTreeNodeSize);
    if (!block || !marked(*block, offset)) {
        return NodeRead::Bad;
    }
    const std::size_t count = byteAt(*block, kNodeEntryCountAt);
    if (count > kMaxNodeEntries) {
        return NodeRead::Overfull;
    }
    node.child = *readLe32(*block, kNodeChildAt);
    node.entries.clear();
    for (std::size_t i = 0; i < count; ++i) {
        const std::size_t at = kNodeEntriesAt + i * kNodeEntrySize;
        node.entries.emplace_back(*readLe32(*block, at + kNodeEntryValueAt),
                                  *readLe32(*block, at + kNodeEntryChildAt));
    }
    return NodeRead::Read;
}

} // namespace

std::optional<std::uint32_t> messageDataOffset(const platform::ReadOnlyFile& file,
                                               std::uint32_t record) {
    const std::optional<Bytes> header = readWhole(file, record, kInfoHeaderSize);
    if (!header || !marked(*header, record)) {
        return std::nullopt;
    }
    const std::uint32_t bodySize = *readLe32(*header, kInfoBodySizeAt);
    const std::size_t fields = byteAt(*header, kInfoFieldCountAt);
    const std::size_t tableSize = fields * kInfoFieldSize;
    if (tableSize > bodySize) {
        return std::nullopt;
    }
    const std::optional<Bytes> table = readWhole(file, record + kInfoHeaderSize, tableSize);
    if (!table) {
        return std::nullopt;
    }
    for (std::size_t i = 0; i < fields; ++i) {
        const std::uint32_t word = *readLe32(*table, i * kInfoFieldSize);
        if ((word & kInfoFieldNumberMask) != kMessageDataField) {
            continue;
        }
        const std::uint32_t value = word >> 8;
        if (word & kInfoFieldDirect) {
            return value;
        }
        // The value lies in the data area, which must hold all four bytes.
        if (value > bodySize - tableSize || bodySize - tableSize - value < 4) {
            return std::nullopt;
        }
        const std::optional<Bytes> stored =
            readWhole(file, std::uint64_t{record} + kInfoHeaderSize + tableSize + value, 4);
        if (!stored) {
            return std::nullopt;
        }
        return readLe32(*stored, 0);
    }
    return 0;
}

LiveIndex listLiveMessages(const platform::ReadOnlyFile& file, std::uint32_t treeRoot) {
    LiveIndex index;
    if (treeRoot == 0) {
        return index;
    }
    // Depth first and in order, with a stack of our own: a hostile tree may
    // be as deep as the file has nodes.
    struct Frame {
        TreeNode node;
        bool childDone = false;
        std::size_t next = 0;
    };
    std::vector<Frame> stack;
    std::unordered_set<std::uint32_t> seenNodes;
    std::unordered_set<std::uint32_t> seenRecords;
    const auto enter = [&](std::uint32_t offset) {
        if (!seenNodes.insert(offset).second) {
            ++index.damage.treeLoops;
            return;
        }
        Frame frame;
        switch (readNode(file, offset, frame.node)) {
        case NodeRead::Read:
            stack.push_back(std::move(frame));
            break;
        case NodeRead::Bad:
            ++index.damage.badNodes;
            break;
        case NodeRead::Overfull:
            ++index.damage.overfullNodes;
            break;
        }
    };

    enter(treeRoot);
    while (!stack.empty()) {
        Frame& top = stack.back();
        if (!top.childDone) {
            top.childDone = true;
            if (const std::uint32_t child = top.node.child; child != 0) {
                enter(child); // may move `top`
            }
            continue;
        }
        if (top.next == top.node.entries.size()) {
            stack.pop_back();
            continue;
        }
        const auto [record, child] = top.node.entries[top.next++];
        if (seenRecords.insert(record).second) {
            index.records.push_back(record);
        } else {
            ++index.damage.repeatedEntries;
        }
        if (child != 0) {
            enter(child);
        }
    }
    return index;
}

MessageEnd readLiveMessage(const platform::ReadOnlyFile& file, std::uint32_t record,
                           const std::function<bool(ByteView)>& sink, LiveDamage& damage) {
    const std::optional<std::uint32_t> first = messageDataOffset(file, record);
    if (!first) {
        ++damage.badRecords;
        return MessageEnd::NoText;
    }
    if (*first == 0) {
        return MessageEnd::NoText;
    }
    std::unordered_set<std::uint32_t> seenBlocks;
    for (std::uint32_t offset = *first; offset != 0;) {
        if (!seenBlocks.insert(offset).second) {
            ++damage.chainLoops;
            return MessageEnd::Cut;
        }
        const std::optional<Bytes> header = readWhole(file, offset, kDataBlockHeaderSize);
        if (!header || !marked(*header, offset) ||
            readLe32(*header, kBlockSizeAt) != kDataBlockSize) {
            ++damage.badBlocks;
            return MessageEnd::Cut;
        }
        const std::uint32_t used = *readLe32(*header, kBlockUsedAt);
        if (used > kDataBlockSize) {
            ++damage.oversizedBlocks;
            return MessageEnd::Cut;
        }
        const std::optional<Bytes> text = readWhole(file, offset + kDataBlockHeaderSize, used);
        if (!text) {
            ++damage.badBlocks; // the block runs past the end of the file
            return MessageEnd::Cut;
        }
        if (!sink(*text)) {
            return MessageEnd::SinkFailed;
        }
        offset = *readLe32(*header, kBlockNextAt);
    }
    return MessageEnd::Complete;
}

} // namespace keldor::engine
