// The three text repairers on one line: none changes the line's size or
// anything far from its first run of lost bytes; the Shift_JIS and EUC-JP
// ones change nothing but that run and the byte on either side of it, and
// fill the run (all but the line's last byte when the run reaches the
// end); a short run that ends before the line does is filled by all
// three when they complete.

#include "fuzz/fuzz_support.h"
#include "repair/japanese_text_repair.h"

using namespace keldor;
using repair::StepEnd;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size < 2) {
        return 0;
    }
    const repair::RepairOptions options = fuzz::optionsFor(data[0]);
    const unsigned which = data[1] % 3;
    const ByteView line = fuzz::inputBytes(data + 2, size - 2);

    using Repair = StepEnd (*)(Bytes&, const repair::RepairOptions&);
    static constexpr Repair kRepairs[] = {repair::repairJisLine, repair::repairSjisLine,
                                          repair::repairEucLine};
    Bytes repaired(line);
    const StepEnd ended = kRepairs[which](repaired, options);
    FUZZ_CHECK(repaired.size() == line.size());

    const std::size_t z = line.find('\0');
    if (z == ByteView::npos) {
        FUZZ_CHECK(repaired == line);
        FUZZ_CHECK(ended == StepEnd::Completed);
        return 0;
    }
    std::size_t s = z; // one past the first run
    while (s < line.size() && line[s] == '\0') {
        ++s;
    }
    std::vector<bool> firstRun(line.size(), false);
    for (std::size_t i = z; i < s; ++i) {
        firstRun[i] = true;
    }
    fuzz::checkNoFarChange(line, repaired, firstRun);

    const bool runReachesEnd = s == line.size();
    if (which != 0) {
        FUZZ_CHECK(ended == StepEnd::Completed);
        for (std::size_t i = 0; i < line.size(); ++i) {
            if (i + 1 < z || i > s) {
                FUZZ_CHECK(repaired[i] == line[i]);
            }
        }
        const std::size_t filledTo = runReachesEnd ? line.size() - 1 : s;
        for (std::size_t i = z; i < filledTo; ++i) {
            FUZZ_CHECK(repaired[i] != '\0');
        }
    }
    // A run of up to four, as one chain link leaves it, ending before the
    // line's CR LF.
    if (ended == StepEnd::Completed && s - z <= 4 && s + 2 <= line.size()) {
        for (std::size_t i = z; i < s; ++i) {
            FUZZ_CHECK(repaired[i] != '\0');
        }
    }
    return 0;
}
