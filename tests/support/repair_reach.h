#pragma once
// How far from a lost byte a repair may change the message: the text
// repairers rewrite a character that straddles a lost run, and a base64
// word re-encodes the groups around a lost character. Shared by the tests
// and the fuzz targets.

#include "platform/bytes.h"

#include <algorithm>
#include <optional>
#include <vector>

namespace keldor::testing {

constexpr std::size_t kRepairReach = 8;

// The first index where `after` differs from `before` on a byte farther than
// `reach` from every byte that `lost` marks; nullopt when there is none. All
// three have the same size.
inline std::optional<std::size_t> changeFarFromLoss(ByteView before, ByteView after,
                                                    const std::vector<bool>& lost,
                                                    std::size_t reach = kRepairReach) {
    const std::size_t n = std::min({before.size(), after.size(), lost.size()});
    std::vector<std::size_t> distance(n, Bytes::npos);
    for (std::size_t i = 0, last = Bytes::npos; i < n; ++i) {
        last = lost[i] ? i : last;
        if (last != Bytes::npos) {
            distance[i] = i - last;
        }
    }
    for (std::size_t i = n, last = Bytes::npos; i-- > 0;) {
        last = lost[i] ? i : last;
        if (last != Bytes::npos) {
            distance[i] = std::min(distance[i], last - i);
        }
    }
    for (std::size_t i = 0; i < n; ++i) {
        if (before[i] != after[i] && distance[i] > reach) {
            return i;
        }
    }
    return std::nullopt;
}

// Marks the bytes of `bytes` that are lost (0x00).
inline std::vector<bool> lostBytes(ByteView bytes) {
    std::vector<bool> lost(bytes.size());
    for (std::size_t i = 0; i < bytes.size(); ++i) {
        lost[i] = bytes[i] == '\0';
    }
    return lost;
}

} // namespace keldor::testing
