#include "repair/line_reader.h"

#include <algorithm>
#include <span>

namespace keldor::repair {

bool LineReader::fillWindow(std::size_t length) {
    const std::uint64_t left = fileEnd_ > windowStart_ ? fileEnd_ - windowStart_ : 0;
    window_.resize(static_cast<std::size_t>(std::min<std::uint64_t>(length, left)));
    const auto got = file_.readAt(windowStart_, std::span<char>(window_.data(), window_.size()));
    if (!got) {
        window_.clear();
        return false;
    }
    if (*got < window_.size()) {
        // The file is shorter than it was when opened: its end is where the read stopped.
        window_.resize(*got);
        fileEnd_ = windowStart_ + *got;
    }
    return true;
}

std::optional<LineReader> openLineReader(const std::filesystem::path& file,
                                         std::size_t windowSize) {
    std::error_code error;
    auto opened = platform::ReadWriteFile::open(file, error);
    if (!opened) {
        return std::nullopt;
    }
    LineReader reader(std::move(*opened), std::max<std::size_t>(windowSize, 2));
    if (!reader.fillWindow(reader.windowSize_)) {
        reader.readFailed_ = true;
    }
    return reader;
}

namespace {
bool finished(LineRead& into) {
    into.position = 0;
    into.line.clear();
    return false;
}
} // namespace

std::optional<LineRead> readLine(LineReader& reader) {
    LineRead read;
    if (!readLine(reader, read)) {
        return std::nullopt;
    }
    return read;
}

bool readLine(LineReader& reader, LineRead& into) {
    constexpr std::size_t kNone = LineReader::kNone;
    if (reader.readFailed_) {
        return finished(into);
    }
    if (reader.cursor_ == kNone) {
        reader.cursor_ = 0;
    } else if (reader.nextBreak_ == kNone) {
        return finished(into);
    } else {
        reader.cursor_ = reader.nextBreak_ + 2;
    }

    std::size_t searchFrom = reader.cursor_;
    for (;;) {
        Bytes& window = reader.window_;
        const std::size_t cursor = reader.cursor_;
        const auto position = static_cast<std::int64_t>(reader.windowStart_ + cursor);
        const std::size_t crlf = window.find("\r\n", searchFrom);
        if (crlf != Bytes::npos) {
            reader.nextBreak_ = crlf;
            into.position = position;
            into.line.assign(window, cursor, crlf + 2 - cursor);
            return true;
        }
        reader.nextBreak_ = kNone;
        if (reader.windowStart_ + window.size() >= reader.fileEnd_) {
            if (cursor >= window.size()) {
                return finished(into);
            }
            into.position = position;
            into.line.assign(window, cursor);
            return true;
        }

        // The line runs on past the window: move the window to the line's
        // start, and grow it when the line alone fills it.
        const std::size_t held = window.size() - cursor;
        const std::size_t length = held < reader.windowSize_ ? reader.windowSize_ : held * 2;
        reader.windowStart_ += cursor;
        reader.cursor_ = 0;
        if (!reader.fillWindow(length)) {
            reader.readFailed_ = true;
            return finished(into);
        }
        // A CR at the old window's end may have its LF in the new part.
        searchFrom = held > 0 ? held - 1 : 0;
    }
}

bool writeLine(LineReader& reader, std::int64_t position, ByteView line) {
    // Never past the end the reader found, even when the file was cut short
    // meanwhile: a write there would grow the file.
    if (position < 0 || static_cast<std::uint64_t>(position) + line.size() > reader.fileEnd_) {
        return false;
    }
    return !reader.file_.writeAt(static_cast<std::uint64_t>(position), line);
}

void closeLineReader(LineReader& reader) {
    reader.file_.close();
}

bool MessageLines::readLine(LineRead& into) {
    if (next_ >= message_.size()) {
        return finished(into);
    }
    const std::size_t crlf = message_.find("\r\n", next_);
    const std::size_t end = crlf == Bytes::npos ? message_.size() : crlf + 2;
    into.position = static_cast<std::int64_t>(next_);
    into.line.assign(message_, next_, end - next_);
    next_ = end;
    return true;
}

bool MessageLines::writeLine(std::int64_t position, ByteView line) {
    if (position < 0 || static_cast<std::uint64_t>(position) + line.size() > message_.size()) {
        return false;
    }
    message_.replace(static_cast<std::size_t>(position), line.size(), line);
    return true;
}

} // namespace keldor::repair
