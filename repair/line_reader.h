#pragma once
// Reads a message file back one line at a time and rewrites single lines in
// place, at their own length. One reader per file; the file never changes size.

#include "platform/bytes.h"
#include "platform/files.h"

#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <optional>

namespace keldor::repair {

// How much of the file the reader holds at once. A longer line makes the
// window grow until the whole line fits.
constexpr std::size_t kLineWindowSize = 64 * 1024;

// One line: the 0-based offset in the file of its first byte, and its bytes,
// CR LF included (the last line of a file may lack it).
struct LineRead {
    std::int64_t position = 0;
    Bytes line;
};

class LineReader {
public:
    // True once a read of the file failed; the reader then reports the file
    // as finished.
    [[nodiscard]] bool readFailed() const { return readFailed_; }

private:
    LineReader(platform::ReadWriteFile file, std::size_t windowSize)
        : file_(std::move(file)), windowSize_(windowSize), fileEnd_(file_.size()) {}

    // Reads `length` bytes from windowStart_ into the window (fewer at the end
    // of the file); false when the read failed.
    bool fillWindow(std::size_t length);

    friend std::optional<LineReader> openLineReader(const std::filesystem::path& file,
                                                    std::size_t windowSize);
    friend bool readLine(LineReader& reader, LineRead& into);
    friend bool writeLine(LineReader& reader, std::int64_t position, ByteView line);
    friend void closeLineReader(LineReader& reader);

    static constexpr std::size_t kNone = static_cast<std::size_t>(-1);

    platform::ReadWriteFile file_;
    std::size_t windowSize_;
    std::uint64_t fileEnd_;         // the file's size, lowered if a read comes up short
    Bytes window_;                  // a copy of the file from windowStart_
    std::uint64_t windowStart_ = 0; // 0-based file offset of window_[0]
    std::size_t cursor_ = kNone;    // index in window_ of the current line; kNone before the first
    std::size_t nextBreak_ = kNone; // index of the CR ending the current line; kNone when none
    bool readFailed_ = false;
};

// Opens the file for reading and rewriting; nullopt when it cannot be opened
// (the file is then left as it is). `windowSize` is for tests; at least 2.
std::optional<LineReader> openLineReader(const std::filesystem::path& file,
                                         std::size_t windowSize = kLineWindowSize);

// The next line of the file, however long; every byte of the file is in
// exactly one line, the last one included even when it is a single byte.
// nullopt when the file is finished; a failed read ends the file.
std::optional<LineRead> readLine(LineReader& reader);

// The same into `into`, whose buffer is reused; false (and `into` empty, at
// position 0) when the file is finished.
bool readLine(LineReader& reader, LineRead& into);

// Writes `line` over the file from the 0-based `position`. Refuses (false)
// a write that would reach past the end of the file or start before it. The
// reader's window is not updated: lines already read are never read again.
bool writeLine(LineReader& reader, std::int64_t position, ByteView line);

void closeLineReader(LineReader& reader);

// A whole message held in memory, read and rewritten line by line as a
// LineReader reads and rewrites a file holding the same bytes: the same
// lines at the same positions, the same writes refused. Its lines are cut
// from the message as it stands, and a write only ever reaches lines
// already read, so they are also the lines of the message as written.
class MessageLines {
public:
    explicit MessageLines(Bytes& message) : message_(message) {}

    // The next line into `into`, whose buffer is reused; false (and `into`
    // empty, at position 0) when the message is finished.
    bool readLine(LineRead& into);

    // Writes `line` over the message from the 0-based `position`; refuses
    // (false) a write that would start before it or reach past its end.
    bool writeLine(std::int64_t position, ByteView line);

private:
    Bytes& message_;
    std::size_t next_ = 0; // index of the next line's first byte
};

} // namespace keldor::repair
