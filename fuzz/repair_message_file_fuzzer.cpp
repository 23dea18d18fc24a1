// repairMessageFile on arbitrary message bytes: the file keeps its size, no
// lost (0x00) byte is left, and nothing farther than the repair reach from a
// lost byte changes; a message repaired in memory comes out the same.

#include "fuzz/fuzz_support.h"
#include "repair/repair_pipeline.h"
#include "repair/twin_parts.h"

using namespace keldor;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size < 1) {
        return 0;
    }
    const repair::RepairOptions options = fuzz::optionsFor(data[0]);
    const ByteView message = fuzz::inputBytes(data + 1, size - 1);
    const auto file = fuzz::scratchFolder() / "Recover1.eml";
    fuzz::writeFile(file, message);

    fuzz::QuietView view;
    repair::repairMessageFile(file, options, view);
    const Bytes repaired = fuzz::readFile(file);

    FUZZ_CHECK(repaired.size() == message.size());
    FUZZ_CHECK(repaired.find('\0') == Bytes::npos);
    fuzz::checkNoFarChange(message, repaired, testing::lostBytes(message));
    // The window gets its events after every line, as the lines stand once
    // an alternative's parts filled each other's lost bytes (line breaks
    // among them).
    Bytes twinFilled(message);
    repair::restoreTwinParts(twinFilled);
    const ByteView read = twinFilled;
    long lines = 0;
    std::size_t from = 0;
    for (std::size_t at = read.find("\r\n"); at != ByteView::npos;
         at = read.find("\r\n", from)) {
        ++lines;
        from = at + 2;
    }
    lines += from < read.size() ? 1 : 0;
    FUZZ_CHECK(view.events() == lines);

    // The same message held in memory comes out the same, with the same events.
    Bytes held(message);
    fuzz::QuietView memoryView;
    repair::repairMessage(held, options, memoryView);
    FUZZ_CHECK(held == repaired);
    FUZZ_CHECK(memoryView.events() == view.events());
    return 0;
}
