#pragma once
// How many lost bytes a run brought back from a second copy of them.

#include <cstdint>

namespace keldor::repair {

struct RestoredCounts {
    std::int64_t twinPart = 0;      // from the other part of a text/HTML alternative
    std::int64_t otherMessages = 0; // from header lines other messages of the mailbox repeat

    RestoredCounts& operator+=(const RestoredCounts& other) {
        twinPart += other.twinPart;
        otherMessages += other.otherMessages;
        return *this;
    }
};

} // namespace keldor::repair
