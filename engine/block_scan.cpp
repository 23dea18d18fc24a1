#include "engine/block_scan.h"

#include "engine/live_messages.h"

#include <algorithm>
#include <array>
#include <bit>
#include <cstdint>
#include <cstring>
#include <memory>
#include <utility>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

namespace keldor::engine {

namespace {

using namespace dbx;

constexpr std::uint32_t kDeletedSizeWord = 0x1FC;
constexpr std::uint32_t kDeletedLengthWord = 0x210;
// A block's own-position word is at 0, its two fixed words at 4 and 8; both
// headers carry the byte 0x02 at one place, which the search looks for.
constexpr std::size_t kLiveKeyAt = 5;      // 00 [02] 00 00: 0x200
constexpr std::size_t kDeletedKeyAt = 9;   // 10 [02] 00 00: 0x210
constexpr char kKeyByte = 0x02;            // followed by 00 00 in both
constexpr std::size_t kHeaderWords = 0x14; // all a block's header words
constexpr std::size_t kPieceSize = 512;    // a block's text area

constexpr std::size_t kReadSize = 4 * 1024 * 1024;
// A candidate is tested once all its bytes are in hand (or the file ends
// before them), so the last bytes of a read but one are carried over.
constexpr std::size_t kCarry = kRecordSize - 1;
constexpr std::size_t kPageSize = 4096;
constexpr std::size_t kCarryRoom = kPageSize; // at least kCarry

// Blocks that share an offset other than the file's own before they are
// taken for a mailbox inside the file.
constexpr std::size_t kMinShiftedGroup = 4;

constexpr std::uint32_t kNone = 0xFFFFFFFF;
constexpr std::uint32_t kHole = 0xFFFFFFFF; // never a block's position: not a multiple of 4
constexpr std::uint64_t kMaxBlocks = 0xFFFFFFFE;
constexpr std::uint64_t kMaxPosition = (std::uint64_t{1} << 40) - 1;

std::uint32_t le32(const char* at) {
    return static_cast<std::uint32_t>(static_cast<unsigned char>(at[0])) |
           static_cast<std::uint32_t>(static_cast<unsigned char>(at[1])) << 8 |
           static_cast<std::uint32_t>(static_cast<unsigned char>(at[2])) << 16 |
           static_cast<std::uint32_t>(static_cast<unsigned char>(at[3])) << 24;
}

bool headerNameByte(unsigned c) {
    return c > 0x20 && c < 0x7F && c != ':';
}

// Header name bytes (at least `minName` of them) and a colon at `at`.
bool headerLineAt(ByteView text, std::size_t at, std::size_t minName) {
    constexpr std::size_t kLongestName = 76;
    std::size_t k = at;
    while (k < text.size() && k - at <= kLongestName && headerNameByte(byteAt(text, k))) {
        ++k;
    }
    return k < text.size() && byteAt(text, k) == ':' && k - at >= minName;
}

// Whether a block's text reads like the first block of a mail. A deleted
// block lost its first four bytes, which may have held a whole short header
// name ("To: "), so the line after the first is looked at as well.
bool looksLikeMailStart(ByteView text, bool firstBytesLost) {
    if (headerLineAt(text, 0, firstBytesLost ? 0 : 1)) {
        return true;
    }
    if (!firstBytesLost) {
        return false;
    }
    // A lost name leaves a short rest of its line ("To: " leaves the address).
    constexpr std::size_t kShortLine = 256;
    const std::size_t lineEnd = text.substr(0, kShortLine).find("\r\n");
    return lineEnd != ByteView::npos && headerLineAt(text, lineEnd + 2, 1);
}

// Calls `each` with every q < `end`, in order, where data[q..q+2] are
// 02 00 00 (`limit` bytes are in hand). memchr skips what holds no 0x02 at
// memory speed; where one is found, random bytes have one every 256 bytes,
// so the stretch after it is gone through 16 bytes at a time instead of a
// call per byte found.
template <class Each>
void forEachKey(const char* data, std::size_t end, std::size_t limit, Each each) {
    const auto isKey = [&](std::size_t q) {
        return q + 2 < limit && data[q] == kKeyByte && data[q + 1] == 0 && data[q + 2] == 0;
    };
    for (std::size_t q = 0; q < end;) {
        const void* hit = std::memchr(data + q, kKeyByte, end - q);
        if (hit == nullptr) {
            return;
        }
        q = static_cast<std::size_t>(static_cast<const char*>(hit) - data);
#if defined(__SSE2__)
        // 64 bytes a step: most steps hold no 0x02 at all and end after
        // one test; the others look for the two zero bytes after it.
        constexpr std::size_t kStretch = 64 * 1024;
        const std::size_t stretchEnd = std::min(end, q + kStretch);
        const __m128i key = _mm_set1_epi8(kKeyByte);
        const __m128i zero = _mm_setzero_si128();
        for (; q + 64 <= stretchEnd && q + 66 <= limit; q += 64) {
            __m128i v[4];
            for (int k = 0; k < 4; ++k) {
                v[k] = _mm_loadu_si128(reinterpret_cast<const __m128i*>(data + q + 16 * k));
            }
            // A key byte with a zero byte after it: the next 16 bytes
            // (one further along) compared for zero and the key ANDed in
            // before any mask leaves the registers, so that random data,
            // where a lone key byte is common, costs no branch.
            __m128i pairs[4];
            for (int k = 0; k < 4; ++k) {
                const __m128i next =
                    _mm_loadu_si128(reinterpret_cast<const __m128i*>(data + q + 16 * k + 1));
                pairs[k] = _mm_and_si128(_mm_cmpeq_epi8(v[k], key), _mm_cmpeq_epi8(next, zero));
            }
            const __m128i any =
                _mm_or_si128(_mm_or_si128(pairs[0], pairs[1]), _mm_or_si128(pairs[2], pairs[3]));
            if (_mm_movemask_epi8(any) == 0) {
                continue;
            }
            std::uint64_t keys = 0;
            std::uint64_t zeros = 0;
            for (int k = 0; k < 4; ++k) {
                keys |= std::uint64_t{static_cast<unsigned>(
                            _mm_movemask_epi8(_mm_cmpeq_epi8(v[k], key)))}
                        << (16 * k);
                zeros |= std::uint64_t{static_cast<unsigned>(
                             _mm_movemask_epi8(_mm_cmpeq_epi8(v[k], zero)))}
                         << (16 * k);
            }
            const std::uint64_t after1 = (zeros >> 1) | (std::uint64_t{data[q + 64] == 0} << 63);
            const std::uint64_t after2 = (zeros >> 2) | (std::uint64_t{data[q + 64] == 0} << 62) |
                                         (std::uint64_t{data[q + 65] == 0} << 63);
            for (std::uint64_t mask = keys & after1 & after2; mask != 0; mask &= mask - 1) {
                each(q + static_cast<std::size_t>(std::countr_zero(mask)));
            }
        }
        for (; q < stretchEnd; ++q) {
            if (isKey(q)) {
                each(q);
            }
        }
#else
        if (isKey(q)) {
            each(q);
        }
        ++q;
#endif
    }
}

// One block found by the scan, 20 bytes. No member initialisers: a chunk of
// them is only touched as it is filled. `link` and `chainLink` start as the
// block's own words and are reused for the joining's results.
struct Entry {
    std::uint32_t positionLow;
    std::uint32_t own;       // the block's own-position word
    std::uint32_t link;      // live: next; deleted: continuation; then the successor's index
    std::uint32_t chainLink; // deleted only
    std::uint32_t bits;      // position bits 32-39, the used length, the flags

    static constexpr std::uint32_t kHighMask = 0xFF;
    static constexpr unsigned kUsedShift = 8;
    static constexpr std::uint32_t kUsedMask = 0x3FF;
    static constexpr unsigned kClaimsShift = 18; // two bits: 0, 1, 2 or more namers
    enum Flag : std::uint32_t {
        Deleted = 1u << 20,
        MailStart = 1u << 21,
        Resolved = 1u << 22,     // `link` is the index of the block of its kind it names
        HasSuccessor = 1u << 23, // that block follows it (Resolved too)
        HasPredecessor = 1u << 24,
        HoleBefore = 1u << 25,     // one lost block between the predecessor and this one
        ChainLinkFound = 1u << 26, // the chain link names a deleted block of the group
        Cut = 1u << 28,            // last, and names a next block that was not joined
        NextMessage = 1u << 29,    // last, and `link` is the next message's first block
        HasPrevMessage = 1u << 30,
        Emitted = 1u << 31,
    };

    [[nodiscard]] std::uint64_t position() const {
        return (std::uint64_t{bits & kHighMask} << 32) | positionLow;
    }
    [[nodiscard]] std::int64_t shift() const {
        return static_cast<std::int64_t>(position()) - static_cast<std::int64_t>(own);
    }
    [[nodiscard]] bool has(Flag flag) const { return (bits & flag) != 0; }
    void set(Flag flag) { bits |= flag; }
    void clear(Flag flag) { bits &= ~static_cast<std::uint32_t>(flag); }
    [[nodiscard]] bool deleted() const { return has(Deleted); }
    [[nodiscard]] std::uint32_t used() const { return (bits >> kUsedShift) & kUsedMask; }
    [[nodiscard]] unsigned claims() const { return (bits >> kClaimsShift) & 3; }
    void addClaim() {
        if (claims() < 2) {
            bits += 1u << kClaimsShift;
        }
    }
};
static_assert(sizeof(Entry) == 20);

// Group order: the file's own offset first, then by offset; by position inside.
bool groupOrder(const Entry& a, const Entry& b) {
    const std::int64_t sa = a.shift();
    const std::int64_t sb = b.shift();
    if ((sa != 0) != (sb != 0)) {
        return sa == 0;
    }
    if (sa != sb) {
        return sa < sb;
    }
    return a.position() < b.position();
}

// Blocks as the scan finds them, in chunks, so that growing never copies.
class EntryStore {
public:
    void push(const Entry& entry) {
        if (count_ % kChunk == 0) {
            chunks_.push_back(std::make_unique_for_overwrite<Entry[]>(kChunk));
        }
        (*this)[count_++] = entry;
    }
    Entry& operator[](std::uint64_t i) { return chunks_[i / kChunk][i % kChunk]; }
    [[nodiscard]] std::uint64_t size() const { return count_; }

    // All entries in one vector; each chunk is freed once copied.
    std::vector<Entry> take() {
        std::vector<Entry> all;
        all.reserve(count_);
        for (std::size_t c = 0; c < chunks_.size(); ++c) {
            const std::uint64_t n = std::min<std::uint64_t>(kChunk, count_ - c * kChunk);
            all.insert(all.end(), chunks_[c].get(), chunks_[c].get() + n);
            chunks_[c].reset();
        }
        chunks_.clear();
        count_ = 0;
        return all;
    }

private:
    static constexpr std::uint64_t kChunk = 1 << 14;
    std::vector<std::unique_ptr<Entry[]>> chunks_;
    std::uint64_t count_ = 0;
};

// Tests the candidate whose bytes start at `at` (file position `position`);
// `bytes` of them are in hand, all the file holds when fewer than a record.
void testCandidate(const char* at, std::size_t bytes, std::uint64_t position, bool deleted,
                   EntryStore& found) {
    if (bytes < kHeaderWords || position > kMaxPosition || found.size() >= kMaxBlocks) {
        return;
    }
    const std::uint32_t own = le32(at);
    const std::uint32_t size = le32(at + kBlockSizeAt);
    const std::uint32_t third = le32(at + kBlockUsedAt);
    const std::uint32_t link = le32(at + kBlockNextAt);
    if (own % 4 != 0) {
        return;
    }
    Entry entry{};
    entry.positionLow = static_cast<std::uint32_t>(position);
    entry.own = own;
    entry.link = link;
    entry.bits = static_cast<std::uint32_t>(position >> 32);
    if (deleted) {
        if (size != kDeletedSizeWord || third != kDeletedLengthWord || bytes < kRecordSize) {
            return;
        }
        entry.chainLink = le32(at + kChainLinkAt);
        entry.set(Entry::Deleted);
        if (looksLikeMailStart(ByteView(at + kTextAt, kTextSize), true)) {
            entry.set(Entry::MailStart);
        }
    } else {
        if (size != kDataBlockSize || third == 0 || third > kDataBlockSize ||
            bytes - kDataBlockHeaderSize < third || (link != 0 && (link % 4 != 0 || link == own))) {
            return;
        }
        entry.bits |= third << Entry::kUsedShift;
        if (looksLikeMailStart(ByteView(at + kDataBlockHeaderSize, third), false)) {
            entry.set(Entry::MailStart);
        }
    }
    // The two kinds' keys sit four bytes apart, so a block may be found just
    // after one that lies up to four bytes behind it: keep the order.
    std::uint64_t i = found.size();
    found.push(entry);
    for (; i > 0 && found[i - 1].position() > position; --i) {
        std::swap(found[i - 1], found[i]);
    }
}

} // namespace

// Joins the blocks of each offset group and lays out the result.
class BlockJoiner {
public:
    BlockJoiner(const platform::ReadOnlyFile& file, std::vector<Entry> table, ScanResult& result)
        : file_(file), table_(std::move(table)), result_(result) {}

    void run();

private:
    void joinGroup(std::uint32_t begin, std::uint32_t end, std::size_t group);
    [[nodiscard]] std::uint32_t find(std::uint32_t begin, std::uint32_t end,
                                     std::uint32_t own) const;
    [[nodiscard]] std::uint64_t guess(std::uint32_t begin, std::uint32_t end,
                                      std::uint32_t own) const;
    void prefetch(std::uint32_t begin, std::uint32_t end, std::uint32_t own) const;
    [[nodiscard]] std::uint32_t findDeleted(std::uint32_t begin, std::uint32_t end,
                                            std::uint32_t own) const;
    void linkBlocks(std::uint32_t begin, std::uint32_t end);
    void fillHoles(std::uint32_t begin, std::uint32_t end);
    void markCuts(std::uint32_t begin, std::uint32_t end);
    void breakLoop(std::uint32_t start);
    void orderDeleted(std::uint32_t begin, std::uint32_t end);
    void emit(std::uint32_t start, std::size_t group);
    void emitFrom(std::uint32_t start, std::size_t group);
    [[nodiscard]] std::vector<std::uint32_t> treeOrder() const;

    const platform::ReadOnlyFile& file_;
    std::vector<Entry> table_;
    ScanResult& result_;
};

std::uint64_t BlockJoiner::guess(std::uint32_t begin, std::uint32_t end, std::uint32_t own) const {
    // Blocks fill most of a mailbox, so a block lies near its share of the
    // group's range.
    const std::uint64_t first = table_[begin].own;
    const std::uint64_t span = table_[end - 1].own - first;
    if (span == 0 || own < first || own - first > span) {
        return begin;
    }
    return begin + (own - first) * (end - 1 - begin) / span;
}

void BlockJoiner::prefetch(std::uint32_t begin, std::uint32_t end, std::uint32_t own) const {
#if defined(__GNUC__)
    // The lookups go all over a table larger than the caches; asked for a
    // few blocks ahead, the wait for memory overlaps.
    __builtin_prefetch(&table_[guess(begin, end, own)]);
#else
    (void)begin, (void)end, (void)own;
#endif
}

std::uint32_t BlockJoiner::find(std::uint32_t begin, std::uint32_t end, std::uint32_t own) const {
    if (begin == end || own < table_[begin].own || own > table_[end - 1].own) {
        return kNone;
    }
    // From the guess, the search widens step by step.
    const std::uint64_t start = guess(begin, end, own);
    std::uint64_t low = begin;
    std::uint64_t high = end;
    if (table_[start].own < own) {
        low = start + 1;
        for (std::uint64_t step = 1; start + step < end; step *= 2) {
            if (table_[start + step].own >= own) {
                high = start + step + 1;
                break;
            }
            low = start + step + 1;
        }
    } else {
        high = start + 1;
        for (std::uint64_t step = 1; step <= start - begin; step *= 2) {
            if (table_[start - step].own <= own) {
                low = start - step;
                break;
            }
            high = start - step;
        }
    }
    const auto it =
        std::lower_bound(table_.begin() + static_cast<std::ptrdiff_t>(low),
                         table_.begin() + static_cast<std::ptrdiff_t>(high), own,
                         [](const Entry& e, std::uint32_t value) { return e.own < value; });
    return it != table_.begin() + static_cast<std::ptrdiff_t>(high) && it->own == own
               ? static_cast<std::uint32_t>(it - table_.begin())
               : kNone;
}

std::uint32_t BlockJoiner::findDeleted(std::uint32_t begin, std::uint32_t end,
                                       std::uint32_t own) const {
    const std::uint32_t i = find(begin, end, own);
    return i != kNone && table_[i].deleted() ? i : kNone;
}

void BlockJoiner::run() {
    if (!std::is_sorted(table_.begin(), table_.end(), groupOrder)) {
        std::sort(table_.begin(), table_.end(), groupOrder);
    }
    ScanCounts& counts = result_.counts_;
    std::vector<std::pair<std::uint32_t, std::uint32_t>> groups; // ranges of table_
    for (std::uint32_t begin = 0; begin < table_.size();) {
        std::uint32_t end = begin + 1;
        const std::int64_t shift = table_[begin].shift();
        while (end < table_.size() && table_[end].shift() == shift) {
            ++end;
        }
        if (shift != 0 && end - begin < kMinShiftedGroup) {
            counts.rejectedBlocks += end - begin;
        } else {
            OffsetGroup group;
            group.shift = shift;
            for (std::uint32_t i = begin; i < end; ++i) {
                ++(table_[i].deleted() ? group.deletedBlocks : group.liveBlocks);
            }
            counts.liveBlocks += group.liveBlocks;
            counts.deletedBlocks += group.deletedBlocks;
            result_.groups_.push_back(group);
            groups.emplace_back(begin, end);
        }
        begin = end;
    }
    counts.offsetGroups = result_.groups_.size();

    // Exact sizes, so that the result costs what it holds.
    std::size_t pieces = 0;
    for (const auto& [begin, end] : groups) {
        linkBlocks(begin, end);
        fillHoles(begin, end);
        markCuts(begin, end);
        orderDeleted(begin, end);
        pieces += end - begin;
    }
    result_.pieces_.reserve(pieces + counts.holesFilled);
    std::size_t messages = 0;
    for (const auto& [begin, end] : groups) {
        for (std::uint32_t i = begin; i < end; ++i) {
            messages += table_[i].has(Entry::HasPredecessor) ? 0 : 1;
        }
    }
    result_.messages_.reserve(messages);

    for (std::size_t g = 0; g < groups.size(); ++g) {
        const auto [begin, end] = groups[g];
        if (result_.groups_[g].shift == 0) {
            for (const std::uint32_t own : treeOrder()) {
                const std::uint32_t i = find(begin, end, own);
                if (i != kNone && !table_[i].deleted() && !table_[i].has(Entry::HasPredecessor) &&
                    !table_[i].has(Entry::Emitted)) {
                    emit(i, g);
                }
            }
        }
        for (std::uint32_t i = begin; i < end; ++i) {
            if (!table_[i].deleted() && !table_[i].has(Entry::HasPredecessor) &&
                !table_[i].has(Entry::Emitted)) {
                emit(i, g);
            }
        }
        // Chains of messages first, each from its first message on.
        for (std::uint32_t i = begin; i < end; ++i) {
            if (table_[i].deleted() && !table_[i].has(Entry::HasPredecessor) &&
                !table_[i].has(Entry::HasPrevMessage)) {
                emitFrom(i, g);
            }
        }
        // Messages whose chain came round to itself.
        for (std::uint32_t i = begin; i < end; ++i) {
            if (table_[i].deleted() && !table_[i].has(Entry::HasPredecessor)) {
                emitFrom(i, g);
            }
        }
        // What is left lies on loops of blocks: each begins at its lowest
        // position.
        for (std::uint32_t i = begin; i < end; ++i) {
            if (!table_[i].has(Entry::Emitted)) {
                breakLoop(i);
                emit(i, g);
            }
        }
    }
    table_.clear();
    table_.shrink_to_fit();
}

void BlockJoiner::linkBlocks(std::uint32_t begin, std::uint32_t end) {
    // Each link looked up once: who names whom, counted before anything is
    // decided. A chain link that names the block whose continuation found
    // it needs no lookup of its own, which spares most of them.
    constexpr std::uint32_t kAhead = 16;
    for (std::uint32_t i = begin; i < end; ++i) {
        if (end - i > kAhead) {
            prefetch(begin, end, table_[i + kAhead].link);
        }
        Entry& e = table_[i];
        if (e.link == 0 || e.link == e.own) {
            continue;
        }
        const std::uint32_t t = find(begin, end, e.link);
        if (t != kNone && table_[t].deleted() == e.deleted()) {
            Entry& target = table_[t];
            target.addClaim();
            if (e.deleted() && target.chainLink == e.own && target.chainLink != target.own) {
                target.set(Entry::ChainLinkFound);
            }
            e.link = t;
            e.set(Entry::Resolved);
        }
    }
    for (std::uint32_t i = begin; i < end; ++i) {
        if (end - i > kAhead && !table_[i + kAhead].has(Entry::ChainLinkFound)) {
            prefetch(begin, end, table_[i + kAhead].chainLink);
        }
        Entry& e = table_[i];
        if (e.deleted() && !e.has(Entry::ChainLinkFound) && e.chainLink != 0 &&
            e.chainLink != e.own && findDeleted(begin, end, e.chainLink) != kNone) {
            e.set(Entry::ChainLinkFound);
        }
    }
    // Every decision reads only the target's own words and counts.
    for (std::uint32_t i = begin; i < end; ++i) {
        Entry& e = table_[i];
        if (!e.has(Entry::Resolved)) {
            continue;
        }
        Entry& target = table_[e.link];
        bool accept = false;
        if (!e.deleted()) {
            accept = target.claims() == 1;
        } else if (target.chainLink == e.own) {
            accept = true; // the chain link confirms it
        } else {
            accept = !target.has(Entry::ChainLinkFound) && target.claims() == 1;
        }
        if (accept) {
            e.set(Entry::HasSuccessor);
            target.set(Entry::HasPredecessor);
        }
    }
}

void BlockJoiner::fillHoles(std::uint32_t begin, std::uint32_t end) {
    // (missing block, index): message ends whose continuation names a block
    // that is gone, and fragments whose chain link names one.
    std::vector<std::pair<std::uint32_t, std::uint32_t>> ends;
    std::vector<std::pair<std::uint32_t, std::uint32_t>> fragments;
    for (std::uint32_t i = begin; i < end; ++i) {
        const Entry& e = table_[i];
        if (!e.deleted()) {
            continue;
        }
        if (!e.has(Entry::Resolved) && e.link != 0 && e.link != e.own) {
            ends.emplace_back(e.link, i);
        }
        if (!e.has(Entry::HasPredecessor) && e.claims() == 0 && !e.has(Entry::MailStart) &&
            e.chainLink != 0 && e.chainLink != e.own && !e.has(Entry::ChainLinkFound)) {
            fragments.emplace_back(e.chainLink, i);
        }
    }
    if (ends.empty() || fragments.empty()) {
        return;
    }
    std::sort(ends.begin(), ends.end());
    std::sort(fragments.begin(), fragments.end());
    const auto alone = [](const auto& list, std::size_t k) {
        return (k == 0 || list[k - 1].first != list[k].first) &&
               (k + 1 == list.size() || list[k + 1].first != list[k].first);
    };
    std::size_t f = 0;
    for (std::size_t k = 0; k < ends.size(); ++k) {
        while (f < fragments.size() && fragments[f].first < ends[k].first) {
            ++f;
        }
        if (f == fragments.size() || fragments[f].first != ends[k].first || !alone(ends, k) ||
            !alone(fragments, f)) {
            continue;
        }
        const std::uint32_t tail = ends[k].second;
        const std::uint32_t head = fragments[f].second;
        // Joining a fragment to its own end would close a loop.
        std::uint32_t i = head;
        while (i != tail && table_[i].has(Entry::HasSuccessor)) {
            i = table_[i].link;
        }
        if (i == tail) {
            continue;
        }
        table_[tail].link = head;
        table_[tail].set(Entry::Resolved);
        table_[tail].set(Entry::HasSuccessor);
        table_[head].set(Entry::HasPredecessor);
        table_[head].set(Entry::HoleBefore);
        ++result_.counts_.holesFilled;
    }
}

void BlockJoiner::markCuts(std::uint32_t begin, std::uint32_t end) {
    // A last block is cut when it names a block of its kind that does not
    // follow it, or one that is not there.
    for (std::uint32_t i = begin; i < end; ++i) {
        Entry& e = table_[i];
        if (!e.has(Entry::HasSuccessor) &&
            (e.has(Entry::Resolved) || (e.link != 0 && e.link != e.own))) {
            e.set(Entry::Cut);
        }
    }
}

void BlockJoiner::breakLoop(std::uint32_t start) {
    // Every block of a loop has a predecessor, so none is a message's first;
    // the loop is cut before `start`.
    std::uint32_t i = start;
    while (table_[i].link != start) {
        i = table_[i].link;
    }
    table_[i].clear(Entry::HasSuccessor);
    table_[i].set(Entry::Cut);
    Entry& first = table_[start];
    first.clear(Entry::HasPredecessor);
    if (first.has(Entry::HoleBefore)) {
        first.clear(Entry::HoleBefore);
        --result_.counts_.holesFilled;
    }
}

void BlockJoiner::orderDeleted(std::uint32_t begin, std::uint32_t end) {
    // A deleted message's first block links to the last block of the
    // message read before it.
    for (std::uint32_t i = begin; i < end; ++i) {
        Entry& e = table_[i];
        if (!e.deleted() || e.has(Entry::HasPredecessor) || e.chainLink == 0) {
            continue;
        }
        const std::uint32_t before = findDeleted(begin, end, e.chainLink);
        if (before == kNone || before == i || table_[before].has(Entry::HasSuccessor) ||
            table_[before].has(Entry::NextMessage)) {
            continue;
        }
        table_[before].link = i;
        table_[before].set(Entry::NextMessage);
        e.set(Entry::HasPrevMessage);
    }
}

void BlockJoiner::emitFrom(std::uint32_t start, std::size_t group) {
    for (std::uint32_t i = start; !table_[i].has(Entry::Emitted);) {
        emit(i, group);
        while (table_[i].has(Entry::HasSuccessor)) {
            i = table_[i].link;
        }
        if (!table_[i].has(Entry::NextMessage)) {
            break;
        }
        i = table_[i].link;
    }
}

void BlockJoiner::emit(std::uint32_t start, std::size_t group) {
    ScanResult::PackedMessage message;
    message.firstPiece = static_cast<std::uint32_t>(result_.pieces_.size());
    std::uint32_t i = start;
    for (;;) {
        Entry& e = table_[i];
        e.set(Entry::Emitted);
        if (e.has(Entry::HoleBefore)) {
            result_.pieces_.push_back(kHole);
        }
        result_.pieces_.push_back(e.own);
        if (!e.has(Entry::HasSuccessor)) {
            break;
        }
        i = e.link;
    }
    const bool cut = table_[i].has(Entry::Cut);
    const bool deleted = table_[start].deleted();
    const bool fragment = !table_[start].has(Entry::MailStart);
    message.info = static_cast<std::uint32_t>(group << 3) | (fragment ? 4u : 0u) | (cut ? 2u : 0u) |
                   (deleted ? 1u : 0u);
    result_.messages_.push_back(message);
    ScanCounts& counts = result_.counts_;
    counts.cutMessages += cut ? 1 : 0;
    counts.unjoinedFragments += fragment ? 1 : 0;
}

std::vector<std::uint32_t> BlockJoiner::treeOrder() const {
    std::vector<std::uint32_t> firstBlocks;
    std::array<char, kHeaderSize> block{};
    const std::optional<std::size_t> got = file_.readAt(0, block);
    if (!got) {
        return firstBlocks;
    }
    const std::optional<MailboxHeader> header = parseHeader(ByteView(block.data(), *got));
    if (checkHeader(header) != HeaderCheck::Accepted) {
        return firstBlocks;
    }
    for (const std::uint32_t record : listLiveMessages(file_, header->indexTreeRoot).records) {
        if (const std::optional<std::uint32_t> first = messageDataOffset(file_, record);
            first && *first != 0) {
            firstBlocks.push_back(*first);
        }
    }
    return firstBlocks;
}

ScannedMessage ScanResult::message(std::size_t index) const {
    const PackedMessage& packed = messages_[index];
    ScannedMessage message;
    message.kind = (packed.info & 1) != 0 ? BlockKind::Deleted : BlockKind::Live;
    message.cut = (packed.info & 2) != 0;
    message.fragment = (packed.info & 4) != 0;
    message.group = packed.info >> 3;
    message.firstPiece = packed.firstPiece;
    message.pieceCount =
        (index + 1 < messages_.size() ? messages_[index + 1].firstPiece : pieces_.size()) -
        packed.firstPiece;
    return message;
}

std::vector<MessagePiece> ScanResult::pieces(const ScannedMessage& message) const {
    std::vector<MessagePiece> list;
    list.reserve(message.pieceCount);
    const std::int64_t shift = groups_[message.group].shift;
    for (std::size_t i = 0; i < message.pieceCount; ++i) {
        const std::uint32_t own = pieces_[message.firstPiece + i];
        MessagePiece piece;
        if (own != kHole) {
            piece.block = static_cast<std::uint64_t>(static_cast<std::int64_t>(own) + shift);
        }
        list.push_back(piece);
    }
    return list;
}

ScanResult scanMailboxBlocks(const platform::ReadOnlyFile& file,
                             const std::function<bool(std::uint64_t, std::uint64_t)>& progress) {
    ScanResult result;
    EntryStore found;
    const std::uint64_t total = file.size();
    // Reads land on a page boundary (the kernel copies into an unaligned
    // buffer several times slower); the bytes carried over go just before.
    const std::size_t readSize =
        static_cast<std::size_t>(std::min<std::uint64_t>(total, kReadSize));
    std::vector<char> buffer(kCarryRoom + readSize + kPageSize);
    const std::size_t misalignment =
        reinterpret_cast<std::uintptr_t>(buffer.data() + kCarryRoom) % kPageSize;
    char* const readArea = buffer.data() + kCarryRoom + (kPageSize - misalignment) % kPageSize;
    std::uint64_t base = 0; // file position of the first byte carried over
    std::size_t carried = 0;
    for (;;) {
        const std::uint64_t want =
            std::min<std::uint64_t>(readSize, total - std::min(total, base + carried));
        std::size_t got = 0;
        if (want > 0) {
            const std::optional<std::size_t> read = file.readAt(
                base + carried, std::span<char>(readArea, static_cast<std::size_t>(want)));
            if (!read) {
                result.readFailed_ = true;
                break;
            }
            got = *read;
        }
        const std::size_t have = carried + got;
        const bool atEnd = got == 0 || base + have >= total;
        // Candidates before `handled` have all their bytes in hand.
        const std::size_t handled = atEnd ? have : have - std::min(have, kCarry);

        const char* const data = readArea - carried;
        const std::size_t searchEnd = std::min(have, handled + kDeletedKeyAt);
        forEachKey(data, searchEnd, have, [&](std::size_t q) {
            if (q >= kDeletedKeyAt && q - kDeletedKeyAt < handled) {
                const std::size_t p = q - kDeletedKeyAt;
                testCandidate(data + p, have - p, base + p, true, found);
            }
            if (q >= kLiveKeyAt && q - kLiveKeyAt < handled) {
                const std::size_t p = q - kLiveKeyAt;
                testCandidate(data + p, have - p, base + p, false, found);
            }
        });

        if (progress && !progress(base + handled, total)) {
            result.stopped_ = true;
            break;
        }
        if (atEnd) {
            break;
        }
        carried = have - handled;
        std::memmove(readArea - carried, data + handled, carried);
        base += handled;
    }
    buffer = {};

    BlockJoiner joiner(file, found.take(), result);
    joiner.run();
    return result;
}

PieceReadEnd readScannedMessage(const platform::ReadOnlyFile& file, const ScanResult& scan,
                                const ScannedMessage& message,
                                const std::function<bool(ByteView)>& sink) {
    std::array<char, kRecordSize> block{};
    const std::array<char, kPieceSize> lost{};
    const RecordReader reader(file);
    DeletedRecord record;
    for (const MessagePiece& piece : scan.pieces(message)) {
        ByteView bytes(lost.data(), lost.size());
        if (piece.block && message.kind == BlockKind::Deleted) {
            if (!reader.read(*piece.block, record)) {
                return PieceReadEnd::ReadFailed;
            }
            std::copy(record.text.begin(), record.text.end(), block.begin() + kLostBytesPerRecord);
            std::fill_n(block.begin(), kLostBytesPerRecord, '\0');
            bytes = ByteView(block.data(), kPieceSize);
        } else if (piece.block) {
            // Checked again: the file may have changed since the scan.
            const std::optional<std::size_t> got =
                file.readAt(*piece.block, std::span<char>(block.data(), kDataBlockHeaderSize));
            if (!got || *got != kDataBlockHeaderSize) {
                return PieceReadEnd::ReadFailed;
            }
            const std::uint32_t used = le32(block.data() + kBlockUsedAt);
            if (le32(block.data() + kBlockSizeAt) != kDataBlockSize || used > kDataBlockSize) {
                return PieceReadEnd::ReadFailed;
            }
            const std::optional<std::size_t> text = file.readAt(
                *piece.block + kDataBlockHeaderSize, std::span<char>(block.data(), used));
            if (!text || *text != used) {
                return PieceReadEnd::ReadFailed;
            }
            bytes = ByteView(block.data(), used);
        }
        if (!sink(bytes)) {
            return PieceReadEnd::SinkFailed;
        }
    }
    return PieceReadEnd::Complete;
}

bool forEachScannedRecord(const platform::ReadOnlyFile& file, const ScanResult& scan,
                          const ScannedMessage& message,
                          const std::function<bool(const DeletedRecord* record)>& each) {
    const RecordReader reader(file);
    DeletedRecord record;
    for (const MessagePiece& piece : scan.pieces(message)) {
        if (piece.block && !reader.read(*piece.block, record)) {
            return false;
        }
        if (!each(piece.block ? &record : nullptr)) {
            return false;
        }
    }
    return true;
}

} // namespace keldor::engine
