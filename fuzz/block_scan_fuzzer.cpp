// The block scan and its joining on a file made from the input (a mailbox
// from mailboxFromBytes, raw bytes, either with bytes put before it): it
// ends, leaves the file as it was, puts every block into at most one
// message, and joins two blocks only where their own words allow it.

#include "engine/block_scan.h"
#include "fuzz/fuzz_support.h"
#include "tests/support/mailbox_writer.h"

#include <set>

namespace fs = std::filesystem;
using namespace keldor;

namespace {

constexpr std::size_t kMaxInput = 256 * 1024;

std::uint32_t wordAt(ByteView file, std::uint64_t position, std::size_t at) {
    const std::optional<std::uint32_t> word =
        engine::dbx::readLe32(file, static_cast<std::size_t>(position) + at);
    FUZZ_CHECK(word.has_value());
    return *word;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size > kMaxInput) {
        return -1;
    }
    const ByteView input = fuzz::inputBytes(data, size);
    const unsigned last = size > 0 ? data[size - 1] : 0;
    // Bit 5 of the last byte: the input as the file itself. Bit 4: bytes put
    // before the file, so its blocks form an offset group of their own.
    Bytes file = (last & 0x20) != 0 ? Bytes(input) : testing::mailboxFromBytes(input);
    if ((last & 0x10) != 0) {
        file.insert(0, Bytes((last & 0x0F) * 157 + 1, '\x02'));
    }
    const fs::path path = fuzz::scratchFolder() / "scan.dbx";
    fuzz::writeFile(path, file);

    std::error_code error;
    const std::optional<platform::ReadOnlyFile> opened = platform::ReadOnlyFile::open(path, error);
    FUZZ_CHECK(opened.has_value());
    std::uint64_t lastDone = 0;
    const engine::ScanResult scan =
        engine::scanMailboxBlocks(*opened, [&](std::uint64_t done, std::uint64_t total) {
            FUZZ_CHECK(total == file.size() && done >= lastDone && done <= total);
            lastDone = done;
            return true;
        });
    FUZZ_CHECK(lastDone == file.size());
    FUZZ_CHECK(!scan.stopped() && !scan.readFailed());

    std::set<std::uint64_t> seen;
    std::uint64_t holes = 0;
    for (std::size_t m = 0; m < scan.messageCount(); ++m) {
        const engine::ScannedMessage message = scan.message(m);
        const bool deleted = message.kind == engine::BlockKind::Deleted;
        FUZZ_CHECK(message.group < scan.groups().size() && message.pieceCount > 0);
        const std::vector<engine::MessagePiece> pieces = scan.pieces(message);
        FUZZ_CHECK(!pieces.front().hole() && !pieces.back().hole());
        const std::int64_t shift = scan.groups()[message.group].shift;
        for (std::size_t k = 0; k < pieces.size(); ++k) {
            if (pieces[k].hole()) {
                ++holes;
                FUZZ_CHECK(deleted && !pieces[k + 1].hole());
                // Bridged only where the block after names the one lost.
                FUZZ_CHECK(wordAt(file, *pieces[k - 1].block, 0x0C) ==
                           wordAt(file, *pieces[k + 1].block, 0x10));
                continue;
            }
            const std::uint64_t at = *pieces[k].block;
            FUZZ_CHECK(seen.insert(at).second);
            FUZZ_CHECK(at + (deleted ? 0x210 : 0x10 + wordAt(file, at, 8)) <= file.size());
            FUZZ_CHECK(static_cast<std::int64_t>(at) - wordAt(file, at, 0) == shift);
            FUZZ_CHECK(wordAt(file, at, 4) == (deleted ? 0x1FCu : 0x200u));
            if (k > 0 && !pieces[k - 1].hole()) {
                // The block before names this one as the next.
                FUZZ_CHECK(wordAt(file, *pieces[k - 1].block, 0x0C) == wordAt(file, at, 0));
            }
        }
        Bytes bytes;
        FUZZ_CHECK(engine::readScannedMessage(*opened, scan, message, [&](ByteView piece) {
                       bytes += piece;
                       return true;
                   }) == engine::PieceReadEnd::Complete);
        if (deleted) {
            // The records handed on for reassembly hold the same bytes.
            Bytes records;
            FUZZ_CHECK(engine::forEachScannedRecord(
                *opened, scan, message, [&](const engine::dbx::DeletedRecord* record) {
                    records += Bytes(4, '\0');
                    records += record ? Bytes(record->textView()) : Bytes(508, '\0');
                    return true;
                }));
            FUZZ_CHECK(records == bytes);
        }
    }
    FUZZ_CHECK(holes == scan.counts().holesFilled);

    // Every header at every byte is found, however the search skips ahead.
    std::uint64_t headers = 0;
    for (std::size_t p = 0; p + 0x14 <= file.size(); ++p) {
        const std::uint32_t own = wordAt(file, p, 0);
        const std::uint32_t second = wordAt(file, p, 4);
        const std::uint32_t third = wordAt(file, p, 8);
        const std::uint32_t next = wordAt(file, p, 12);
        if (own % 4 != 0) {
            continue;
        }
        if (second == 0x1FC && third == 0x210) {
            headers += p + 0x210 <= file.size() ? 1 : 0;
        } else if (second == 0x200 && third >= 1 && third <= 0x200 &&
                   p + 0x10 + third <= file.size() &&
                   (next == 0 || (next % 4 == 0 && next != own))) {
            ++headers;
        }
    }
    const engine::ScanCounts& counts = scan.counts();
    FUZZ_CHECK(headers == counts.liveBlocks + counts.deletedBlocks + counts.rejectedBlocks);
    FUZZ_CHECK(seen.size() == scan.counts().liveBlocks + scan.counts().deletedBlocks);
    FUZZ_CHECK(fuzz::readFile(path) == file);
    return 0;
}
