// The line reader with tiny windows: lines that straddle the window, lines
// longer than it, a CR at its end whose LF comes in the next read, a file
// without any CR LF. Every byte is in exactly one line, lines end at their
// first CR LF, the window size changes nothing, and lines written back at
// their own positions land there without touching the rest.

#include "fuzz/fuzz_support.h"
#include "repair/line_reader.h"

using namespace keldor;

namespace {

std::vector<repair::LineRead> readAll(const std::filesystem::path& file, std::size_t window) {
    auto reader = repair::openLineReader(file, window);
    FUZZ_CHECK(reader.has_value());
    std::vector<repair::LineRead> lines;
    for (auto read = repair::readLine(*reader); read; read = repair::readLine(*reader)) {
        lines.push_back(std::move(*read));
    }
    FUZZ_CHECK(!reader->readFailed());
    // Once finished, the file stays finished.
    FUZZ_CHECK(!repair::readLine(*reader));
    repair::closeLineReader(*reader);
    return lines;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size < 1) {
        return 0;
    }
    const std::size_t window = data[0] % 32;
    const ByteView contents = fuzz::inputBytes(data + 1, size - 1);
    const auto file = fuzz::scratchFolder() / "lines.eml";
    fuzz::writeFile(file, contents);

    const std::vector<repair::LineRead> lines = readAll(file, window);
    std::size_t offset = 0;
    for (std::size_t k = 0; k < lines.size(); ++k) {
        const Bytes& line = lines[k].line;
        FUZZ_CHECK(lines[k].position == static_cast<std::int64_t>(offset));
        FUZZ_CHECK(!line.empty());
        FUZZ_CHECK(contents.substr(offset, line.size()) == line);
        const std::size_t crlf = line.find("\r\n");
        if (k + 1 < lines.size()) {
            FUZZ_CHECK(crlf == line.size() - 2);
        } else {
            FUZZ_CHECK(crlf == Bytes::npos || crlf == line.size() - 2);
        }
        offset += line.size();
    }
    FUZZ_CHECK(offset == contents.size());

    const std::vector<repair::LineRead> wide = readAll(file, repair::kLineWindowSize);
    FUZZ_CHECK(wide.size() == lines.size());
    for (std::size_t k = 0; k < lines.size(); ++k) {
        FUZZ_CHECK(wide[k].position == lines[k].position && wide[k].line == lines[k].line);
    }

    // Every other line rewritten while the file is read: the reads go on
    // from the bytes as they were, the writes land where they belong, and
    // nothing reaching past the end or starting before it is written.
    Bytes expected(contents);
    auto reader = repair::openLineReader(file, window);
    FUZZ_CHECK(reader.has_value());
    std::size_t k = 0;
    for (auto read = repair::readLine(*reader); read; read = repair::readLine(*reader), ++k) {
        FUZZ_CHECK(k < lines.size() && read->line == lines[k].line);
        if (k % 2 == 0) {
            Bytes changed(read->line.size(), '\0');
            FUZZ_CHECK(repair::writeLine(*reader, read->position, changed));
            expected.replace(static_cast<std::size_t>(read->position), changed.size(), changed);
        }
    }
    FUZZ_CHECK(k == lines.size());
    const auto end = static_cast<std::int64_t>(contents.size());
    FUZZ_CHECK(!repair::writeLine(*reader, end, "x"));
    FUZZ_CHECK(!repair::writeLine(*reader, -1, "x"));
    if (!contents.empty()) {
        FUZZ_CHECK(!repair::writeLine(*reader, end - 1, "xy"));
    }
    repair::closeLineReader(*reader);
    FUZZ_CHECK(fuzz::readFile(file) == expected);
    return 0;
}
