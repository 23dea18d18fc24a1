#include "engine/header_names.h"

#include "repair/lost_byte.h"

#include <vector>

namespace keldor::engine {

namespace {

using repair::kLost;

// The three searches restoreHeaderBreak makes for each name: two lost
// bytes and the name without its first two characters, one lost byte and
// the name without its first, a lost byte and the whole name.
struct BreakPatterns {
    Bytes twoLost;
    Bytes oneLost;
    Bytes beforeName;
};

const std::array<BreakPatterns, HeaderNames.size()>& breakPatterns() {
    static const auto patterns = [] {
        std::array<BreakPatterns, HeaderNames.size()> built;
        for (std::size_t k = 0; k < HeaderNames.size(); ++k) {
            const std::string_view name = HeaderNames[k];
            built[k].twoLost.assign(2, kLost).append(name.substr(2));
            built[k].oneLost.assign(1, kLost).append(name.substr(1));
            built[k].beforeName.assign(1, kLost).append(name);
        }
        return built;
    }();
    return patterns;
}

void setIfLost(Bytes& line, std::size_t at, char value) {
    if (line[at] == kLost) {
        line[at] = value;
    }
}

} // namespace

void completeHeaderName(Bytes& line) {
    if (!line.empty() && (line[0] == ' ' || line[0] == '\t')) {
        return;
    }
    for (const std::string_view name : HeaderNames) {
        if (line.size() < name.size()) {
            continue;
        }
        bool matches = true;
        bool lostAny = false;
        for (std::size_t i = 0; i < name.size(); ++i) {
            if (line[i] == kLost) {
                lostAny = true;
            } else if (line[i] != name[i]) {
                matches = false;
                break;
            }
        }
        if (!matches) {
            continue;
        }
        if (!lostAny) {
            return;
        }
        for (std::size_t i = 0; i < name.size(); ++i) {
            setIfLost(line, i, name[i]);
        }
    }
}

void restoreHeaderBreak(Bytes& line) {
    // Every pattern starts with a lost byte, so its first occurrence starts
    // at the first lost byte where it fits. The repairs below only ever fill
    // lost bytes, so the lost bytes found now are the only places a pattern
    // can start, for every name; the searches need not look anywhere else.
    std::vector<std::size_t> lost;
    for (std::size_t at = line.find(kLost); at != Bytes::npos; at = line.find(kLost, at + 1)) {
        lost.push_back(at);
    }
    const auto find = [&line, &lost](ByteView pattern) {
        for (const std::size_t at : lost) {
            if (line.size() - at < pattern.size()) {
                break;
            }
            if (line[at] == kLost && ByteView(line).substr(at, pattern.size()) == pattern) {
                return at;
            }
        }
        return Bytes::npos;
    };

    // Indices below are 0-based: `at` is the first byte of the match. The
    // CR LF goes into lost bytes just before the name; a match at the start
    // of the line is not this repair's business.
    const auto& patterns = breakPatterns();
    for (std::size_t k = 0; k < HeaderNames.size(); ++k) {
        const std::string_view name = HeaderNames[k];
        const auto& [twoLost, oneLost, beforeName] = patterns[k];
        if (const std::size_t at = find(twoLost); at != Bytes::npos && at > 0) {
            if (at > 2) {
                setIfLost(line, at - 2, '\r');
            }
            if (at > 1) {
                setIfLost(line, at - 1, '\n');
            }
            line[at] = name[0];
            line[at + 1] = name[1];
        } else if (const std::size_t at1 = find(oneLost); at1 != Bytes::npos && at1 > 0) {
            if (at1 > 2) {
                setIfLost(line, at1 - 2, '\r');
            }
            if (at1 > 1) {
                setIfLost(line, at1 - 1, '\n');
            }
            line[at1] = name[0];
        } else if (const std::size_t at2 = find(beforeName); at2 != Bytes::npos && at2 > 0) {
            if (at2 > 1) {
                setIfLost(line, at2 - 1, '\r');
            }
            line[at2] = '\n';
        }
    }
}

} // namespace keldor::engine
