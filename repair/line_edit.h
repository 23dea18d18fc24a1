#pragma once
// One line of a message as the repairers see it: its content length, and
// bounds-checked reads and writes, where a step that would reach past the
// last byte is reported, never carried out.

#include "platform/bytes.h"
#include "repair/step_end.h"

#include <initializer_list>
#include <optional>

namespace keldor::repair {

// The length of a line as read without its CR LF; all of it when it does not
// end in CR LF (a bare LF or CR, and a line cut off by the end of the
// message, count as content).
inline std::size_t contentLength(ByteView line) {
    const std::size_t n = line.size();
    return n >= 2 && line[n - 2] == '\r' && line[n - 1] == '\n' ? n - 2 : n;
}

// Whether the text leaves a quoted string open: it holds an odd number of
// quotes.
inline bool leavesQuoteOpen(ByteView text) {
    std::size_t quotes = 0;
    for (const char c : text) {
        quotes += c == '"' ? 1 : 0;
    }
    return quotes % 2 != 0;
}

class LineEdit {
public:
    // Writes are refused from `writeLimit` on as well, so that a rebuild can
    // keep clear of bytes that must stay as they are.
    explicit LineEdit(Bytes& line, std::size_t writeLimit = Bytes::npos)
        : line_(line), writeLimit_(writeLimit) {}

    // Indices below 0 arrive wrapped around to huge values, so they fail too.
    [[nodiscard]] bool has(std::size_t i) const { return i < line_.size(); }

    [[nodiscard]] std::optional<unsigned> at(std::size_t i) const {
        if (!has(i)) {
            return std::nullopt;
        }
        return byteAt(line_, i);
    }

    [[nodiscard]] bool isLost(std::size_t i) const { return has(i) && byteAt(line_, i) == 0; }

    // Writes `bytes` from index `from` on, in order. False when one of them
    // would fall past the end or on the write limit; the ones before it stay
    // written.
    [[nodiscard]] bool put(std::size_t from, std::initializer_list<unsigned> bytes) {
        for (const unsigned b : bytes) {
            if (from >= writeLimit_) {
                reachedWriteLimit_ = true;
                return false;
            }
            if (!has(from)) {
                return false;
            }
            line_[from++] = toByte(b);
        }
        return true;
    }

    [[nodiscard]] bool reachedWriteLimit() const { return reachedWriteLimit_; }

private:
    Bytes& line_;
    std::size_t writeLimit_;
    bool reachedWriteLimit_ = false;
};

inline StepEnd stepEnd(bool completed) {
    return completed ? StepEnd::Completed : StepEnd::PastLineEnd;
}

} // namespace keldor::repair
