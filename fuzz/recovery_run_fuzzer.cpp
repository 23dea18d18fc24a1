// The whole recovery run on a mailbox made from the input: it ends, writes
// only into its own output folder, leaves the mailbox as it was, and names
// every message file it wrote.

#include "engine/recovery_run.h"
#include "engine/run_flags.h"
#include "fuzz/fuzz_support.h"
#include "platform/text.h"
#include "tests/support/mailbox_writer.h"

namespace fs = std::filesystem;
using namespace keldor;

namespace {

// Large enough for a few dozen records; larger inputs add little but time.
constexpr std::size_t kMaxInput = 256 * 1024;

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size > kMaxInput) {
        return -1;
    }
    const ByteView input = fuzz::inputBytes(data, size);
    const fs::path& scratch = fuzz::scratchFolder();
    fuzz::emptyFolder(scratch);
    const fs::path mailboxFolder = scratch / "mailbox";
    const fs::path outputRoot = scratch / "out";
    fs::create_directory(mailboxFolder);
    fs::create_directory(outputRoot);

    const fs::path mailbox = mailboxFolder / u8"削除済みアイテム.dbx";
    const Bytes file = testing::mailboxFromBytes(input);
    fuzz::writeFile(mailbox, file);
    const auto writtenAt = fs::last_write_time(mailbox);

    engine::StopRequested = false;
    engine::ExitAfterStop = false;
    fuzz::QuietView view(platform::pathText(outputRoot));
    const repair::RepairOptions options = fuzz::optionsFor(size > 0 ? data[size - 1] : 0);
    engine::RunSettings settings;
    settings.keepFileList = true;
    // Every other input through the message files themselves: both routes
    // of the reassembly are driven.
    settings.inMemoryLimit = size % 2 == 0 ? engine::kInMemoryMessageLimit : 0;
    const engine::RunReport report = engine::recoverMailbox(mailbox, view, options, settings);

    // The mailbox is only read.
    FUZZ_CHECK(fuzz::readFile(mailbox) == file);
    FUZZ_CHECK(fs::last_write_time(mailbox) == writtenAt);
    FUZZ_CHECK(fs::directory_iterator(mailboxFolder) != fs::directory_iterator());
    FUZZ_CHECK(std::next(fs::directory_iterator(mailboxFolder)) == fs::directory_iterator());

    // The header words are set, so the run always goes through.
    FUZZ_CHECK(report.outcome == engine::RunOutcome::Completed);
    FUZZ_CHECK(!report.stopped);
    FUZZ_CHECK(report.recordCount >= 0 &&
               static_cast<std::uint64_t>(report.recordCount) <= file.size() / 0x210);
    FUZZ_CHECK(report.mailCount >= 0 && report.mailCount <= report.recordCount);
    FUZZ_CHECK(report.files.size() == static_cast<std::size_t>(report.mailCount));

    // One output folder under the chosen location, holding exactly the files
    // the report names, each a regular file directly inside it.
    FUZZ_CHECK(report.outputFolder.parent_path() == outputRoot);
    std::size_t entries = 0;
    for (const auto& entry : fs::recursive_directory_iterator(outputRoot)) {
        ++entries;
        if (entry.path() == report.outputFolder) {
            FUZZ_CHECK(entry.is_directory() && !entry.is_symlink());
            continue;
        }
        FUZZ_CHECK(entry.path().parent_path() == report.outputFolder);
        FUZZ_CHECK(entry.is_regular_file() && !entry.is_symlink());
    }
    FUZZ_CHECK(entries == report.files.size() + 1);
    for (const engine::RenamedFile& renamed : report.files) {
        FUZZ_CHECK(renamed.reached);
        FUZZ_CHECK(renamed.file.parent_path() == report.outputFolder);
        FUZZ_CHECK(renamed.file.extension() == ".eml");
        FUZZ_CHECK(fs::is_regular_file(renamed.file));
    }
    return 0;
}
