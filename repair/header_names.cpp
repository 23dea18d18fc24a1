#include "repair/header_names.h"

#include "platform/case_fold.h"
#include "repair/line_edit.h"
#include "repair/lost_byte.h"
#include "repair/name_case.h"

#include <algorithm>
#include <vector>

namespace keldor::repair {

namespace {

// The three searches restoreHeaderBreak makes for each name: two lost
// bytes and the name without its first two characters, one lost byte and
// the name without its first, a lost byte and the whole name.
struct BreakPatterns {
    std::string_view name;
    bool outsideComments = false; // a word that comments hold too ("Authenticated sender:")
    Bytes twoLost;
    Bytes oneLost;
    Bytes beforeName;
};

const std::vector<BreakPatterns>& breakPatterns() {
    static const auto patterns = [] {
        std::vector<BreakPatterns> built;
        const auto add = [&built](std::string_view name) {
            BreakPatterns& p = built.emplace_back();
            p.name = name;
            p.twoLost.assign(2, kLost).append(name.substr(2));
            p.oneLost.assign(1, kLost).append(name.substr(1));
            p.beforeName.assign(1, kLost).append(name);
        };
        std::for_each(HeaderNames.begin(), HeaderNames.end(), add);
        for (const std::string_view name : BreakOnlyNames) {
            add(name);
            built.back().outsideComments = true;
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

// Whether `text` begins with `pattern`, letters in any case, its lost bytes
// exactly where the pattern's are.
bool matchesFolded(ByteView text, ByteView pattern) {
    if (text.size() < pattern.size()) {
        return false;
    }
    for (std::size_t i = 0; i < pattern.size(); ++i) {
        if (platform::foldByte(byteAt(text, i)) != platform::foldByte(byteAt(pattern, i))) {
            return false;
        }
    }
    return true;
}

// Whether the text of the line before `crAt` (from its last line break) is
// the start of a field name without its colon: a break there would cut the
// name ("Resen" and "t-Me" lost before "ssage-ID: ").
bool cutsName(ByteView line, std::size_t crAt) {
    const std::size_t lf = line.rfind('\n', crAt == 0 ? 0 : crAt - 1);
    const std::size_t start = lf == ByteView::npos || lf >= crAt ? 0 : lf + 1;
    const ByteView before = line.substr(start, crAt - start);
    if (before.empty() || before.find_first_not_of('-') == ByteView::npos) {
        return false;
    }
    for (const char c : before) {
        const auto u = static_cast<unsigned char>(c);
        const bool nameByte = (u >= 'a' && u <= 'z') || (u >= 'A' && u <= 'Z') ||
                              (u >= '0' && u <= '9') || u == '-' || u == '_';
        if (!nameByte) {
            return false;
        }
    }
    return true;
}

// How deep in comments (parentheses outside quoted strings) the text ends;
// below 0 where it closes one that it did not open.
int commentDepth(ByteView text) {
    int depth = 0;
    bool quoted = false;
    for (const char c : text) {
        if (c == '"') {
            quoted = !quoted;
        } else if (!quoted && c == '(') {
            ++depth;
        } else if (!quoted && c == ')' && --depth < 0) {
            return depth;
        }
    }
    return depth;
}

} // namespace

void completeHeaderName(Bytes& line) {
    if (!line.empty() && (line[0] == ' ' || line[0] == '\t')) {
        return;
    }
    for (const std::string_view name : HeaderNames) {
        bool lostAny = false;
        if (!fitsFolded(line, 0, name, &lostAny)) {
            continue;
        }
        if (!lostAny) {
            return;
        }
        // A lost byte after "Content-Type:" without a blank behind it may
        // have been the type's first letter rather than the
        // blank; completeContentType tells which.
        constexpr std::string_view kTypeName = "Content-Type: ";
        const bool typeDecides = name == kTypeName && line.size() > kTypeName.size() &&
                                 line[kTypeName.size() - 1] == kLost &&
                                 line[kTypeName.size()] != ' ' && line[kTypeName.size()] != '\t';
        fillInWritersCase(line, 0, name);
        if (typeDecides) {
            line[kTypeName.size() - 1] = kLost;
        }
    }
}

void restoreHeaderBreak(Bytes& line, bool quoteOpen) {
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
            if (line[at] == kLost && matchesFolded(ByteView(line).substr(at), pattern)) {
                return at;
            }
        }
        return Bytes::npos;
    };

    // A line break inside a quoted string would end the field inside its
    // value. Where a string is open before the break, a lost byte before
    // the CR held its closing quote; without one, the name found is the
    // value's text. False: no break here.
    const auto closeQuote = [&line, quoteOpen](std::size_t crAt) {
        if (cutsName(line, crAt)) {
            return false;
        }
        if (quoteOpen == leavesQuoteOpen(ByteView(line).substr(0, crAt))) {
            return true;
        }
        if (crAt < 2 || line[crAt] != kLost || line[crAt - 1] != kLost) {
            return false;
        }
        line[crAt - 1] = '"';
        return true;
    };

    // Indices below are 0-based: `at` is the first byte of the match. The
    // CR LF goes into lost bytes just before the name, the name's lost
    // letters in the case of those that survived; a match at the start of
    // the line is not this repair's business.
    // A name of which fewer than five bytes survive is too common a text
    // ("com: " of "google.com: ") to break a line before.
    constexpr std::size_t kFewestSurviving = 5;
    const auto search = [&find](const Bytes& pattern, std::size_t lostBytes) {
        return pattern.size() - lostBytes >= kFewestSurviving ? find(pattern) : Bytes::npos;
    };
    for (const auto& [name, outsideComments, twoLost, oneLost, beforeName] : breakPatterns()) {
        // A comment open before the break closed in a lost byte before it,
        // unless the text after the name closes it ("(Authenticated" and
        // "sender: mikel)").
        const auto mayBreak = [&, outside = outsideComments](std::size_t crAt) {
            if (outside && commentDepth(ByteView(line).substr(0, crAt)) > 0) {
                if (crAt == 0 || line[crAt - 1] != kLost ||
                    commentDepth(ByteView(line).substr(crAt)) < 0) {
                    return false;
                }
                if (!closeQuote(crAt)) {
                    return false;
                }
                line[crAt - 1] = ')';
                return true;
            }
            return closeQuote(crAt);
        };
        if (const std::size_t at = search(twoLost, 2); at != Bytes::npos && at > 0) {
            if (!mayBreak(at - std::min<std::size_t>(at, 2))) {
                continue;
            }
            if (at > 2) {
                setIfLost(line, at - 2, '\r');
            }
            if (at > 1) {
                setIfLost(line, at - 1, '\n');
            }
            fillInWritersCase(line, at, name);
        } else if (const std::size_t at1 = search(oneLost, 1); at1 != Bytes::npos && at1 > 0) {
            if (!mayBreak(at1 - std::min<std::size_t>(at1, 2))) {
                continue;
            }
            if (at1 > 2) {
                setIfLost(line, at1 - 2, '\r');
            }
            if (at1 > 1) {
                setIfLost(line, at1 - 1, '\n');
            }
            fillInWritersCase(line, at1, name);
        } else if (const std::size_t at2 = find(beforeName);
                   at2 != Bytes::npos && at2 > 0 && mayBreak(at2 - 1)) {
            if (at2 > 1) {
                setIfLost(line, at2 - 1, '\r');
            }
            line[at2] = '\n';
        }
    }
}

} // namespace keldor::repair
