#include "repair/name_case.h"

#include "platform/case_fold.h"

#include <optional>

namespace keldor::repair {

namespace {

constexpr char kLost = '\0';

// Words end at a colon or a blank: the field name and each word of a value
// keep their own case.
bool endsWord(char c) {
    return c == ':' || c == ' ';
}

bool startsWordPart(std::string_view text, std::size_t i) {
    return i == 0 || !platform::isLetterByte(static_cast<unsigned char>(text[i - 1]));
}

} // namespace

bool fitsFolded(ByteView line, std::size_t at, std::string_view text, bool* lostAny) {
    if (at > line.size() || line.size() - at < text.size()) {
        return false;
    }
    bool lost = false;
    for (std::size_t i = 0; i < text.size(); ++i) {
        const unsigned c = byteAt(line, at + i);
        if (c == 0) {
            lost = true;
        } else if (platform::foldByte(c) != platform::foldByte(byteAt(text, i))) {
            return false;
        }
    }
    if (lostAny != nullptr) {
        *lostAny = lost;
    }
    return true;
}

void fillInWritersCase(Bytes& line, std::size_t at, std::string_view text) {
    // Decided on the letters as they survived, not on those filled here.
    const Bytes written = line.substr(at, text.size());
    // The case the writer used for the letter at `i` of `text`, or nullopt
    // where nothing survives to tell.
    const auto writersCase = [&](std::size_t i) -> std::optional<bool> {
        std::size_t start = i;
        while (start > 0 && !endsWord(text[start - 1])) {
            --start;
        }
        std::size_t end = i;
        while (end < text.size() && !endsWord(text[end])) {
            ++end;
        }
        const bool initial = startsWordPart(text, i);
        bool agree = true;
        bool allUpper = true;
        bool allLower = true;
        std::optional<bool> nearest;
        std::size_t nearestDistance = 0;
        for (std::size_t j = start; j < end; ++j) {
            const unsigned c = byteAt(written, j);
            if (c == 0 || !platform::isLetterByte(c) || startsWordPart(text, j) != initial) {
                continue;
            }
            const bool upper = platform::isUpperByte(c);
            agree = agree && upper == platform::isUpperByte(byteAt(text, j));
            allUpper = allUpper && upper;
            allLower = allLower && !upper;
            const std::size_t distance = j > i ? j - i : i - j;
            if (!nearest || distance < nearestDistance) {
                nearest = upper;
                nearestDistance = distance;
            }
        }
        if (!nearest || agree) {
            return std::nullopt;
        }
        if (allUpper || allLower) {
            return allUpper;
        }
        return nearest;
    };
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (line[at + i] != kLost) {
            continue;
        }
        char c = text[i];
        if (platform::isLetterByte(static_cast<unsigned char>(c))) {
            if (const std::optional<bool> upper = writersCase(i)) {
                const unsigned lowered = platform::foldByte(static_cast<unsigned char>(c));
                c = toByte(*upper ? lowered - ('a' - 'A') : lowered);
            }
        }
        line[at + i] = c;
    }
}

} // namespace keldor::repair
