#include "engine/block_scan.h"

#include "engine/extract_run.h"
#include "engine/live_messages.h"
#include "engine/recovery_run.h"
#include "engine/run_flags.h"
#include "platform/text.h"
#include "tests/support/mailbox_writer.h"
#include "tests/support/test_support.h"

#include <gtest/gtest.h>

#include <map>
#include <random>
#include <set>

namespace keldor::engine {
namespace {

namespace fs = std::filesystem;
using testing::MailboxOptions;
using testing::MailboxWriter;

constexpr std::size_t kHeaderSize = 0x24BC;
constexpr std::size_t kRecordSize = 0x210;

Bytes mail(int number, std::size_t size) {
    Bytes text = "From: sender" + std::to_string(number) + "@example.jp\r\nSubject: mail " +
                 std::to_string(number) + "\r\n\r\n";
    while (text.size() < size) {
        text += "line of message " + std::to_string(number) + "\r\n";
    }
    text.resize(size);
    return text;
}

void putLe32(Bytes& file, std::size_t at, std::uint32_t value) {
    for (std::size_t k = 0; k < 4; ++k) {
        file[at + k] = toByte((value >> (8 * k)) & 0xFF);
    }
}

std::uint32_t le32(ByteView file, std::size_t at) {
    return *dbx::readLe32(file, at);
}

platform::ReadOnlyFile openFile(const fs::path& path) {
    std::error_code error;
    std::optional<platform::ReadOnlyFile> file = platform::ReadOnlyFile::open(path, error);
    EXPECT_TRUE(file) << error.message();
    return std::move(*file);
}

// A message as the chain walk or the index tree gives it: its blocks'
// positions in message order.
struct Original {
    BlockKind kind;
    std::vector<std::uint64_t> blocks;
    bool operator==(const Original&) const = default;
};

// The messages of an intact mailbox, as the index tree and recovery's chain
// walk list them, in their order: the live ones first, as the scan has them.
std::vector<Original> originals(const platform::ReadOnlyFile& file, ByteView bytes) {
    std::vector<Original> list;
    for (const std::uint32_t info : listLiveMessages(file, le32(bytes, 0xE4)).records) {
        list.push_back({BlockKind::Live, {}});
        for (std::uint32_t block = *messageDataOffset(file, info); block != 0;
             block = le32(bytes, block + 0x0C)) {
            list.back().blocks.push_back(block);
        }
    }
    std::vector<std::uint64_t> chain =
        listDeletedChain(file, le32(bytes, 0x48), [](std::size_t) { return true; });
    const dbx::RecordReader reader(file);
    dbx::DeletedRecord record;
    bool start = true;
    for (std::size_t i = chain.size(); i-- > 0;) {
        if (start) {
            list.push_back({BlockKind::Deleted, {}});
        }
        list.back().blocks.push_back(chain[i]);
        EXPECT_TRUE(reader.read(chain[i], record));
        start = !record.fullByLayout();
    }
    return list;
}

std::function<bool(ByteView)> into(Bytes& out) {
    return [&out](ByteView bytes) {
        out += bytes;
        return true;
    };
}

// Holes as UINT64_MAX.
std::vector<Original> scanned(const ScanResult& scan) {
    std::vector<Original> list;
    for (std::size_t m = 0; m < scan.messageCount(); ++m) {
        const ScannedMessage message = scan.message(m);
        list.push_back({message.kind, {}});
        for (const MessagePiece& piece : scan.pieces(message)) {
            list.back().blocks.push_back(piece.block.value_or(UINT64_MAX));
        }
    }
    return list;
}

class BlockScan : public ::testing::Test {
protected:
    // Deleted mails of one block, exactly one block, several blocks; live
    // ones likewise.
    void SetUp() override {
        const std::size_t sizes[] = {300, 512, 1500, 5000, 2048, 700, 9000, 513};
        for (std::size_t n = 0; n < kDeletedMails; ++n) {
            writer.addMessage(mail(static_cast<int>(n), sizes[n % 8] + n / 8 * 37));
        }
        for (int n = 0; n < 12; ++n) {
            writer.addLiveMessage(mail(100 + n, 200 + static_cast<std::size_t>(n) * 611));
        }
    }
    fs::path write(const Bytes& bytes, const char* name = "mailbox.dbx") {
        const fs::path path = dir.path() / name;
        testing::writeFile(path, bytes);
        return path;
    }
    testing::TempDir dir;
    static constexpr std::size_t kDeletedMails = 32;
    MailboxWriter writer;
};

TEST_F(BlockScan, IntactMailboxGivesTheChainsAndTheTreesMessagesAndBytes) {
    for (const bool scatter : {false, true}) {
        MailboxOptions options;
        options.scatter = scatter;
        // A gap that puts a block header across the first large read.
        options.gapAfterHeader = scatter ? 0 : 4 * 1024 * 1024 - kHeaderSize - 8;
        const fs::path path = dir.path() / "mailbox.dbx";
        writer.writeTo(path, options);
        const platform::ReadOnlyFile file = openFile(path);
        const Bytes bytes = testing::readFile(path);

        std::uint64_t done = 0;
        const ScanResult scan = scanMailboxBlocks(file, [&](std::uint64_t at, std::uint64_t all) {
            EXPECT_TRUE(at >= done && all == bytes.size());
            done = at;
            return true;
        });
        EXPECT_EQ(done, bytes.size());

        const std::vector<Original> expected = originals(file, bytes);
        const std::vector<Original> found = scanned(scan);
        ASSERT_TRUE(found == expected) << scatter;
        const ScanCounts& counts = scan.counts();
        EXPECT_EQ(counts.offsetGroups, 1u);
        EXPECT_EQ(counts.deletedBlocks, writer.recordCount());
        EXPECT_EQ(counts.unjoinedFragments + counts.cutMessages + counts.holesFilled, 0u);

        // The bytes: live as the tree's reading passes them, deleted as the
        // chain's records hold them, the four bytes their links took as 0x00.
        const dbx::RecordReader reader(file);
        dbx::DeletedRecord record;
        const LiveIndex tree = listLiveMessages(file, le32(bytes, 0xE4));
        for (std::size_t m = 0; m < scan.messageCount(); ++m) {
            Bytes got;
            Bytes want;
            ASSERT_EQ(readScannedMessage(file, scan, scan.message(m), into(got)),
                      PieceReadEnd::Complete);
            LiveDamage damage;
            if (m < tree.records.size()) {
                ASSERT_EQ(readLiveMessage(file, tree.records[m], into(want), damage),
                          MessageEnd::Complete);
            } else {
                for (const std::uint64_t block : expected[m].blocks) {
                    ASSERT_TRUE(reader.read(block, record));
                    want += Bytes(4, '\0') + Bytes(record.textView());
                }
            }
            EXPECT_EQ(got, want) << m;
        }
    }
}

// Damage done to an intact mailbox (no gap, records in order), with what the
// scan must still find.
TEST_F(BlockScan, DamagedMailboxesKeepEverySurvivingBlockInPlaceAndNeverSplice) {
    using Blocks = std::vector<std::uint64_t>;
    struct Case {
        const char* name;
        void (*damage)(Bytes& file, const Blocks& deleted, std::set<std::uint64_t>& lost);
        std::int64_t shift;
        bool sameOrder; // messages come in the intact file's order
    };
    const Case cases[] = {
        {"header wiped", [](Bytes& f, auto&, auto&) { std::fill_n(f.begin(), kHeaderSize, 0); }, 0,
         true},
        {"chain head zeroed", [](Bytes& f, auto&, auto&) { putLe32(f, 0x48, 0); }, 0, true},
        {"five chain links zeroed",
         [](Bytes& f, const Blocks& deleted, auto&) {
             for (std::size_t k = 1; k <= 5; ++k) {
                 putLe32(f, deleted[k * deleted.size() / 6] + 0x10, 0);
             }
         },
         0, false},
        {"a tenth of the deleted blocks reused or overwritten",
         [](Bytes& f, const Blocks& deleted, std::set<std::uint64_t>& lost) {
             std::mt19937 random(7);
             for (std::size_t k = 3; k < deleted.size(); k += 10) {
                 const std::size_t at = deleted[k];
                 lost.insert(at);
                 std::generate_n(f.begin() + static_cast<std::ptrdiff_t>(at), kRecordSize,
                                 [&] { return toByte(random() % 256); });
                 if (k % 20 == 3) { // reused by a live message
                     std::size_t word = at;
                     for (const std::uint32_t value : {std::uint32_t(at), 0x200u, 0x100u, 0u}) {
                         putLe32(f, std::exchange(word, word + 4), value);
                     }
                 }
             }
         },
         0, false},
        {"cut at 60%", [](Bytes& f, auto&, auto&) { f.resize(f.size() * 6 / 10); }, 0, false},
        // Inside the live messages: a block whose next lies past the end stays.
        {"cut at 90%", [](Bytes& f, auto&, auto&) { f.resize(f.size() * 9 / 10); }, 0, false},
        {"5,000 bytes put before it", [](Bytes& f, auto&, auto&) { f.insert(0, 5000, 'x'); }, 5000,
         true},
        {"4,099 bytes put before it", [](Bytes& f, auto&, auto&) { f.insert(0, 4099, 'x'); }, 4099,
         true},
    };
    const Bytes intact = writer.build();
    const platform::ReadOnlyFile intactFile = openFile(write(intact, "intact.dbx"));
    const std::vector<Original> expected = originals(intactFile, intact);
    // Where each block of the intact file belongs.
    std::map<std::uint64_t, std::pair<std::size_t, std::size_t>> home;
    Blocks deleted;
    for (std::size_t m = 0; m < expected.size(); ++m) {
        for (std::size_t b = 0; b < expected[m].blocks.size(); ++b) {
            home[expected[m].blocks[b]] = {m, b};
            if (expected[m].kind == BlockKind::Deleted) {
                deleted.push_back(expected[m].blocks[b]);
            }
        }
    }
    std::sort(deleted.begin(), deleted.end());

    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        Bytes damaged = intact;
        std::set<std::uint64_t> lost;
        c.damage(damaged, deleted, lost);
        const platform::ReadOnlyFile file = openFile(write(damaged));
        const ScanResult scan = scanMailboxBlocks(file);
        ASSERT_EQ(scan.groups().size(), 1u);
        EXPECT_EQ(scan.groups()[0].shift, c.shift);
        EXPECT_FALSE(scan.stopped() || scan.readFailed());
        EXPECT_EQ(testing::readFile(dir.path() / "mailbox.dbx"), damaged);

        // Every piece sits at its place in one intact message; every block
        // that survived is in exactly one found message.
        std::size_t holes = 0;
        const std::vector<Original> found = scanned(scan);
        std::set<std::uint64_t> seen;
        std::vector<std::size_t> foundAs(expected.size(), SIZE_MAX);
        for (std::size_t m = 0; m < found.size(); ++m) {
            std::optional<std::pair<std::size_t, std::size_t>> base;
            for (std::size_t k = 0; k < found[m].blocks.size(); ++k) {
                if (found[m].blocks[k] == UINT64_MAX) {
                    ++holes;
                    continue;
                }
                const std::uint64_t position = found[m].blocks[k] - c.shift;
                EXPECT_TRUE(seen.insert(position).second) << "block in two messages";
                const auto it = home.find(position);
                if (lost.count(position) != 0 || it == home.end()) {
                    EXPECT_EQ(found[m].blocks.size(), 1u) << "a foreign block joined to a message";
                    continue;
                }
                if (!base) {
                    base = {it->second.first, it->second.second - k};
                }
                EXPECT_EQ(it->second.first, base->first) << "two messages spliced";
                EXPECT_EQ(it->second.second, base->second + k) << "a piece out of place";
            }
            if (base && base->second == 0 &&
                found[m].blocks.size() == expected[base->first].blocks.size()) {
                foundAs[base->first] = m;
            }
        }
        std::uint64_t holesExpected = 0;
        for (std::size_t m = 0; m < expected.size(); ++m) {
            // A message survives whole (with holes for lost blocks inside)
            // unless its first or last block is lost, two lost blocks are
            // next to each other, or the cut took some of it.
            const std::vector<std::uint64_t>& blocks = expected[m].blocks;
            bool whole = true;
            for (std::size_t b = 0; b < blocks.size(); ++b) {
                if (blocks[b] + kRecordSize > damaged.size() - c.shift) {
                    whole = false;
                } else if (lost.count(blocks[b]) != 0) {
                    const bool bridged = b > 0 && b + 1 < blocks.size() &&
                                         lost.count(blocks[b - 1]) == 0 &&
                                         lost.count(blocks[b + 1]) == 0;
                    whole = whole && bridged;
                    holesExpected += bridged ? 1 : 0;
                } else {
                    EXPECT_EQ(seen.count(blocks[b]), 1u) << "a surviving block was not found";
                }
            }
            if (whole) {
                EXPECT_NE(foundAs[m], SIZE_MAX) << "message " << m << " not whole";
                if (c.sameOrder && foundAs[m] != SIZE_MAX) {
                    EXPECT_EQ(foundAs[m], m);
                }
            }
        }
        EXPECT_TRUE(lost.empty() || holesExpected > 0);
        EXPECT_EQ(scan.counts().holesFilled, holesExpected);
        EXPECT_EQ(holes, holesExpected);
    }
}

// Hand-made blocks whose links contradict each other.
TEST_F(BlockScan, ContradictoryLinksAreNeverFollowed) {
    struct Block {
        std::uint32_t at;
        bool deleted;
        std::uint32_t link;      // next, or continuation
        std::uint32_t chainLink; // deleted only
        std::uint32_t used = 0x40;
    };
    struct Case {
        const char* name;
        std::vector<Block> blocks;
        std::size_t fileSize;
        std::vector<std::vector<std::uint32_t>> messages; // own positions
    };
    constexpr std::uint32_t a = 0x3000, b = 0x3210, c = 0x3420;
    const Case cases[] = {
        {"two live blocks naming one",
         {{a, false, c, 0}, {b, false, c, 0}, {c, false, 0, 0}},
         0x4000,
         {{a}, {b}, {c}}},
        {"live loop", {{a, false, b, 0}, {b, false, a, 0}}, 0x4000, {{a, b}}},
        {"live block naming itself", {{a, false, a, 0}, {b, false, 0, 0}}, 0x4000, {{b}}},
        {"used 0 and 0x201", {{a, false, 0, 0, 0}, {b, false, 0, 0, 0x201}}, 0x4000, {}},
        {"block past the end", {{a, false, 0, 0}, {b, true, 0, 0}}, b + 0x100, {{a}}},
        {"two deleted naming one, its link broken",
         {{a, true, c, 0}, {b, true, c, 0}, {c, true, 0, 0x7777770}},
         0x4000,
         {{a}, {b}, {c}}},
        {"two deleted naming one, its link names one",
         {{a, true, c, 0}, {b, true, c, 0}, {c, true, 0, b}},
         0x4000,
         {{a}, {b, c}}},
        {"deleted loop through both links", {{a, true, b, b}, {b, true, a, a}}, 0x4000, {{a, b}}},
        {"deleted and live never joined", {{a, true, b, 0}, {b, false, 0, 0}}, 0x4000, {{b}, {a}}},
    };
    for (const Case& t : cases) {
        SCOPED_TRACE(t.name);
        Bytes file(0x4000, '\0');
        for (const Block& block : t.blocks) {
            putLe32(file, block.at, block.at);
            putLe32(file, block.at + 4, block.deleted ? 0x1FC : 0x200);
            putLe32(file, block.at + 8, block.deleted ? 0x210 : block.used);
            putLe32(file, block.at + 12, block.link);
            putLe32(file, block.at + 16, block.chainLink);
        }
        file.resize(t.fileSize);
        const platform::ReadOnlyFile opened = openFile(write(file));
        const ScanResult scan = scanMailboxBlocks(opened);
        std::vector<std::vector<std::uint32_t>> got;
        for (const Original& o : scanned(scan)) {
            got.emplace_back(o.blocks.begin(), o.blocks.end());
        }
        EXPECT_EQ(got, t.messages);
    }

    // A stop asked for at once.
    const platform::ReadOnlyFile full = openFile(write(writer.build()));
    const ScanResult stopped =
        scanMailboxBlocks(full, [](std::uint64_t, std::uint64_t) { return false; });
    EXPECT_TRUE(stopped.stopped());
}

// Offsets are unsigned: a mailbox whose chain, blocks and tree all lie past
// 2 GiB (a sparse file) is recovered, extracted and scanned like any other.
TEST_F(BlockScan, MailboxPastTwoGibibytesIsRecoveredExtractedAndScanned) {
    testing::TempDir big(fs::temp_directory_path());
    MailboxOptions options;
    options.gapAfterHeader = (std::uint64_t{1} << 31) + 0x1000 - kHeaderSize;
    const fs::path path = big.path() / "big.dbx";
    writer.writeTo(path, options);
    ASSERT_GT(fs::file_size(path), std::uint64_t{1} << 31);

    StopRequested = false;
    ExitAfterStop = false;
    testing::RecordingView view;
    view.location = platform::pathText(big.path());
    const RunReport recovered =
        recoverMailbox(path, view, repair::RepairOptions{}, testing::everyPoint());
    EXPECT_EQ(recovered.outcome, RunOutcome::Completed);
    EXPECT_EQ(static_cast<std::size_t>(recovered.recordCount), writer.recordCount());
    EXPECT_EQ(static_cast<std::size_t>(recovered.mailCount), kDeletedMails);

    const ExtractReport extracted = extractMailbox(path, view);
    EXPECT_EQ(extracted.outcome, RunOutcome::Completed);
    ASSERT_EQ(extracted.mailCount, 12);
    EXPECT_EQ(extracted.damage.total(), 0);
    for (int n = 0; n < 12; ++n) {
        EXPECT_EQ(testing::readFile(extracted.files[static_cast<std::size_t>(n)].file),
                  mail(100 + n, 200 + static_cast<std::size_t>(n) * 611));
    }

    const ScanResult scan = scanMailboxBlocks(openFile(path));
    EXPECT_EQ(scan.messageCount(), kDeletedMails + 12);
    EXPECT_EQ(scan.counts().deletedBlocks, writer.recordCount());
    EXPECT_EQ(scan.counts().unjoinedFragments + scan.counts().cutMessages, 0u);
    for (std::size_t m = 0; m < scan.messageCount(); ++m) {
        for (const MessagePiece& piece : scan.pieces(scan.message(m))) {
            EXPECT_GT(*piece.block, std::uint64_t{1} << 31);
        }
    }
}

} // namespace
} // namespace keldor::engine
