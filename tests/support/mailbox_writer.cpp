#include "tests/support/mailbox_writer.h"

#include <algorithm>
#include <fstream>
#include <numeric>
#include <random>
#include <span>

namespace keldor::testing {

namespace {
constexpr std::size_t kHeaderSize = 0x24BC;
constexpr std::size_t kRecordSize = 0x210;
constexpr std::size_t kPieceSize = 512;
constexpr std::size_t kTextSize = 508;

void putLe32(Bytes& out, std::size_t at, std::uint32_t value) {
    for (int k = 0; k < 4; ++k) {
        out[at + static_cast<std::size_t>(k)] = toByte((value >> (8 * k)) & 0xFF);
    }
}

constexpr std::size_t kNodeSize = 0x27C;
constexpr std::size_t kMaxNodeEntries = 51;

// Appends a node of the index tree holding `values` in order, with as many
// nodes below it as they need, and returns its position: its index in
// `file` plus `gap` (the bytes the file leaves out after its header). A
// node that cannot hold them all keeps kMaxNodeEntries and shares the rest
// evenly among its own child (the values before its first entry) and its
// entries' children.
std::uint32_t writeNode(Bytes& file, std::span<const std::uint32_t> values, std::uint64_t gap) {
    const std::size_t node = file.size();
    const auto position = static_cast<std::uint32_t>(node + gap);
    file.resize(file.size() + kNodeSize, '\0');
    putLe32(file, node, position);
    const std::size_t entries = std::min(values.size(), kMaxNodeEntries);
    file[node + 0x11] = toByte(static_cast<unsigned>(entries));
    const std::size_t below = values.size() - entries;
    const std::size_t children = entries + 1;
    std::size_t next = 0;
    const auto child = [&](std::size_t index, std::size_t at) {
        const std::size_t count = below / children + (index < below % children ? 1 : 0);
        if (count > 0) {
            putLe32(file, at, writeNode(file, values.subspan(next, count), gap));
            next += count;
        }
        return count;
    };
    child(0, node + 0x08);
    for (std::size_t e = 0; e < entries; ++e) {
        const std::size_t at = node + 0x18 + 12 * e;
        putLe32(file, at, values[next++]);
        putLe32(file, at + 8, static_cast<std::uint32_t>(child(e + 1, at + 4)));
    }
    return position;
}
} // namespace

void MailboxWriter::addMessage(ByteView message) {
    for (std::size_t at = 0; at < message.size() || at == 0; at += kPieceSize) {
        const ByteView piece = message.substr(at, kPieceSize);
        const bool last = at + kPieceSize >= message.size();
        addRecord(piece.size() > 4 ? piece.substr(4) : ByteView{}, !last);
        if (message.empty()) {
            break;
        }
    }
}

void MailboxWriter::addRecord(ByteView text, bool continues) {
    Record record;
    record.text = Bytes(text.substr(0, kTextSize));
    record.text.resize(kTextSize, '\0');
    record.continues = continues;
    records_.push_back(std::move(record));
}

Bytes MailboxWriter::build(const MailboxOptions& options) const {
    const std::size_t n = records_.size();
    std::mt19937 random(options.seed);

    // Slots after the header: every deleted record gets one, live blocks the rest.
    const std::size_t slots = n + options.liveBlocksBetween * (n + 1);
    std::vector<std::size_t> slotOfRecord(n);
    std::vector<std::size_t> order(slots);
    std::iota(order.begin(), order.end(), 0);
    if (options.scatter) {
        std::shuffle(order.begin(), order.end(), random);
    } else if (options.liveBlocksBetween > 0) {
        for (std::size_t r = 0; r < n; ++r) {
            order[r] = options.liveBlocksBetween * (r + 1) + r;
        }
    }
    for (std::size_t r = 0; r < n; ++r) {
        slotOfRecord[r] = order[r];
    }
    // Positions are the file's; `file` leaves out the gap after the header.
    const std::uint64_t gap = options.gapAfterHeader;
    const auto offsetOf = [&](std::size_t readingIndex) {
        return static_cast<std::uint32_t>(kHeaderSize + gap +
                                          slotOfRecord[readingIndex] * kRecordSize);
    };
    const auto idx = [gap](std::uint64_t position) {
        return static_cast<std::size_t>(position >= kHeaderSize + gap ? position - gap : position);
    };

    Bytes file(kHeaderSize + slots * kRecordSize, '\0');
    putLe32(file, 0x00, options.magic);
    putLe32(file, 0x04, options.fileKind);

    // Live blocks: message text of undeleted mail, which must never be read.
    std::vector<bool> used(slots, false);
    for (std::size_t r = 0; r < n; ++r) {
        used[slotOfRecord[r]] = true;
    }
    for (std::size_t s = 0; s < slots; ++s) {
        if (used[s]) {
            continue;
        }
        const std::size_t at = kHeaderSize + s * kRecordSize;
        putLe32(file, at, static_cast<std::uint32_t>(at + gap));
        putLe32(file, at + 4, 0x200);
        putLe32(file, at + 8, 0x200);
        for (std::size_t k = 0x10; k < kRecordSize; ++k) {
            file[at + k] = toByte('A' + random() % 26);
        }
    }

    // Chain order is the reverse of reading order: chain index j is reading index n-1-j.
    for (std::size_t r = 0; r < n; ++r) {
        const std::uint32_t position = offsetOf(r);
        const std::size_t at = idx(position);
        putLe32(file, at + 0x00, position);
        putLe32(file, at + 0x04, 0x1FC);
        putLe32(file, at + 0x08, 0x210);
        const bool hasNext = r + 1 < n;
        putLe32(file, at + 0x0C, records_[r].continues ? (hasNext ? offsetOf(r + 1) : 0x210u) : 0u);
        std::uint32_t link = r > 0 ? offsetOf(r - 1) : 0;
        if (r == 0 && options.loopBackTo && *options.loopBackTo < n) {
            link = offsetOf(n - 1 - *options.loopBackTo);
        }
        if (r == 0 && options.lastLink) {
            link = *options.lastLink;
        }
        putLe32(file, at + 0x10, link);
        std::copy(records_[r].text.begin(), records_[r].text.end(),
                  file.begin() + static_cast<std::ptrdiff_t>(at + 0x14));
    }
    putLe32(file, 0x48, options.head ? *options.head : (n > 0 ? offsetOf(n - 1) : 0u));

    if (!live_.empty()) {
        const auto here = [&] { return static_cast<std::uint32_t>(file.size() + gap); };
        std::vector<std::uint32_t> infos;
        for (std::size_t m = 0; m < live_.size(); ++m) {
            const ByteView message = live_[m];
            const bool damaged = m == 0;
            // The blocks first, so the record can name the first.
            std::vector<std::uint32_t> blocks;
            for (std::size_t at = 0; at < message.size() || at == 0; at += 0x200) {
                const std::uint32_t block = here();
                blocks.push_back(block);
                const ByteView text = message.substr(at, 0x200);
                file.resize(file.size() + 0x210, '\0');
                putLe32(file, idx(block), block);
                putLe32(file, idx(block + 4), 0x200);
                putLe32(file, idx(block + 8), static_cast<std::uint32_t>(text.size()));
                std::copy(text.begin(), text.end(),
                          file.begin() + static_cast<std::ptrdiff_t>(idx(block) + 0x10));
                if (blocks.size() > 1) {
                    putLe32(file, idx(blocks[blocks.size() - 2] + 0x0C), block);
                }
                if (message.empty()) {
                    break;
                }
            }
            if (damaged && options.liveChainLoop) {
                putLe32(file, idx(blocks.back() + 0x0C), blocks.front());
            }
            if (damaged && options.liveBlockOutside) {
                putLe32(file, idx(blocks.front() + 0x0C), 0x7FFFFF00);
            }
            if (damaged && options.liveUsedTooLong && blocks.size() > 1) {
                putLe32(file, idx(blocks[1] + 8), 0x201);
            }
            // Information record: two fields, the data pointer stored in the
            // data area (field 0x04) and a direct one (field 0x00) before it.
            const std::uint32_t info = here();
            file.resize(file.size() + 0x0C + 8 + 4, '\0');
            putLe32(file, idx(info), damaged && options.liveBadRecord ? info + 4 : info);
            putLe32(file, idx(info + 4), 8 + 4);
            file[idx(info) + 0x0A] = toByte(2);
            putLe32(file, idx(info + 0x0C), 0x80 | (static_cast<std::uint32_t>(m + 1) << 8));
            putLe32(file, idx(info + 0x10), 0x04);
            putLe32(file, idx(info + 0x14), blocks.front());
            infos.push_back(info);
        }
        if (options.liveRepeatedEntry) {
            infos.push_back(infos.front());
        }
        const std::uint32_t root = writeNode(file, infos, gap);
        if (options.liveOverfullNode) {
            file[idx(root) + 0x11] = toByte(kMaxNodeEntries + 1);
        }
        if (options.liveTreeLoop) {
            putLe32(file, idx(root + 0x08), root);
        }
        putLe32(file, idx(0xC4), static_cast<std::uint32_t>(live_.size()));
        putLe32(file, idx(0xE4), root);
    }

    if (options.truncateTo && *options.truncateTo < file.size()) {
        file.resize(*options.truncateTo);
    }
    return file;
}

void MailboxWriter::writeTo(const std::filesystem::path& file,
                            const MailboxOptions& options) const {
    const Bytes bytes = build(options);
    std::ofstream out(file, std::ios::binary | std::ios::trunc);
    // The gap is skipped, not written: on most file systems it takes no room.
    const std::size_t header = std::min(bytes.size(), kHeaderSize);
    out.write(bytes.data(), static_cast<std::streamsize>(header));
    out.seekp(static_cast<std::streamoff>(header + options.gapAfterHeader));
    out.write(bytes.data() + header, static_cast<std::streamsize>(bytes.size() - header));
}

Bytes mailboxFromBytes(ByteView input) {
    const unsigned mode = input.empty() ? 0 : byteAt(input, 0);
    const ByteView rest = input.empty() ? input : input.substr(1);
    if ((mode & 1) == 0) {
        Bytes file(rest);
        if (file.size() < 8) {
            file.resize(8, '\0');
        }
        const MailboxOptions words;
        putLe32(file, 0x00, words.magic);
        putLe32(file, 0x04, words.fileKind);
        return file;
    }

    MailboxWriter writer;
    std::size_t from = 0;
    for (std::size_t count = 1; count < kMaxMessages; ++count) {
        const std::size_t at = rest.find(kMessageSeparator, from);
        if (at == ByteView::npos) {
            break;
        }
        writer.addMessage(rest.substr(from, at - from));
        from = at + kMessageSeparator.size();
    }
    writer.addMessage(rest.substr(from));

    MailboxOptions options;
    options.scatter = (mode & 0x02) != 0;
    options.liveBlocksBetween = (mode & 0x04) != 0 ? 1 : 0;
    if ((mode & 0x08) != 0) {
        options.loopBackTo = (mode & 0x80) != 0 ? 1 : 0;
    }
    if ((mode & 0x40) != 0) {
        options.lastLink = 0x7FFFFFF0;
    }
    options.seed = mode >> 4;
    Bytes file = writer.build(options);
    if ((mode & 0x10) != 0 && file.size() > kHeaderSize + kRecordSize) {
        // Cut inside the last record.
        file.resize(file.size() - kRecordSize / 2);
    }
    return file;
}

std::vector<std::size_t> lostPositions(std::size_t messageSize) {
    std::vector<std::size_t> positions;
    for (std::size_t at = 0; at < messageSize; at += kPieceSize) {
        for (std::size_t k = 0; k < 4 && at + k < messageSize; ++k) {
            positions.push_back(at + k);
        }
    }
    return positions;
}

} // namespace keldor::testing
