// The header-line repairs of encoded words: repairEncodedWord on a whole
// line, and the base64 word repair on a range of it. Neither changes the
// line's size or anything far from a lost byte, and the base64 repair keeps
// to its range and to the characters it may rewrite.

#include "fuzz/fuzz_support.h"
#include "platform/text.h"
#include "repair/base64_word_repair.h"
#include "repair/encoded_word_repair.h"
#include "tests/support/repair_reach.h"

using namespace keldor;
using repair::StepEnd;

namespace {

void checkBase64Repair(ByteView line, std::size_t start, std::size_t end,
                       const repair::RepairOptions& options, unsigned charset) {
    using Repair = StepEnd (*)(Bytes&, std::size_t, std::size_t, const repair::RepairOptions&);
    static constexpr Repair kRepairs[] = {repair::repairBase64Jis, repair::repairBase64Sjis,
                                          repair::repairBase64Euc};
    Bytes repaired(line);
    const StepEnd ended = kRepairs[charset % 3](repaired, start, end, options);
    FUZZ_CHECK(repaired.size() == line.size());
    if (end > line.size()) {
        FUZZ_CHECK(ended == StepEnd::PastLineEnd);
        FUZZ_CHECK(repaired == line);
        return;
    }
    FUZZ_CHECK(ended == StepEnd::Completed);
    if (start >= end) {
        FUZZ_CHECK(repaired == line);
        return;
    }
    // Only the encoded text is rewritten, and only its base64 characters and
    // lost bytes; padding and other bytes keep their place.
    for (std::size_t i = 0; i < line.size(); ++i) {
        const unsigned c = byteAt(line, i);
        if (i < start || i >= end || (c != 0 && platform::base64DigitValue(c) < 0)) {
            FUZZ_CHECK(repaired[i] == line[i]);
        }
    }
    // Intact text comes back byte for byte, and a loss changes nothing far
    // from it.
    fuzz::checkNoFarChange(line, repaired, testing::lostBytes(line));
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size < 4) {
        return 0;
    }
    const repair::RepairOptions options = fuzz::optionsFor(data[0]);
    const unsigned mode = data[1];
    const ByteView line = fuzz::inputBytes(data + 4, size - 4);

    if (mode % 4 == 0) {
        Bytes repaired(line);
        (void)repair::repairEncodedWord(repaired, options);
        FUZZ_CHECK(repaired.size() == line.size());
        fuzz::checkNoFarChange(line, repaired, testing::lostBytes(line));
        return 0;
    }
    // A range given by two bytes, sometimes reaching past the line or reversed.
    const std::size_t start = data[2] % (line.size() + 2);
    const std::size_t end = (mode & 0x80) != 0 ? line.size() : data[3] % (line.size() + 3);
    checkBase64Repair(line, start, end, options, mode / 4);
    return 0;
}
