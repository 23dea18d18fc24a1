#include "repair/line_reader.h"

#include "tests/support/test_support.h"

#include <gtest/gtest.h>

#include <system_error>

namespace keldor::repair {
namespace {

using testing::TempDir;

// Every line the reader returns, in order, with its position.
std::vector<LineRead> readAll(const std::filesystem::path& file, std::size_t windowSize) {
    auto reader = openLineReader(file, windowSize);
    EXPECT_TRUE(reader.has_value());
    std::vector<LineRead> lines;
    if (!reader) {
        return lines;
    }
    for (auto read = readLine(*reader); read; read = readLine(*reader)) {
        lines.push_back(*read);
        if (lines.size() > 100000) {
            ADD_FAILURE() << "the reader does not finish";
            break;
        }
    }
    EXPECT_FALSE(readLine(*reader)) << "a finished file stays finished";
    closeLineReader(*reader);
    return lines;
}

// The lines the file should give: split after every CR LF; the rest, if any, last.
std::vector<LineRead> expectedLines(ByteView content) {
    std::vector<LineRead> lines;
    std::size_t start = 0;
    while (start < content.size()) {
        const std::size_t crlf = content.find("\r\n", start);
        const std::size_t end = crlf == ByteView::npos ? content.size() : crlf + 2;
        lines.push_back(
            {static_cast<std::int64_t>(start), Bytes(content.substr(start, end - start))});
        start = end;
    }
    return lines;
}

struct Layout {
    const char* name;
    Bytes content;
};

class LineReaderLayouts : public ::testing::TestWithParam<std::size_t> {};

// Small windows make lines straddle every possible window edge.
TEST_P(LineReaderLayouts, GivesEveryByteInExactlyOneLineAtItsPosition) {
    const std::vector<Layout> layouts = {
        {"empty", ""},
        {"one byte", "x"},
        {"only CR LF", "\r\n"},
        {"blank lines", "\r\n\r\n\r\n"},
        {"last line without CR LF", "From: a\r\nSubject: b\r\nbody"},
        {"last line of one byte", "From: a\r\nSubject: b\r\nx"},
        {"last line a lost byte", Bytes("ab\r\n\0", 5)},
        {"ends with CR LF", "ab\r\ncd\r\n"},
        {"lone CR and LF inside lines", "a\rb\nc\r\n\n\r\r\n\r"},
        {"CR LF after a CR", "abc\r\r\ndef\r\n"},
        {"lost bytes", Bytes("\0\0\0\0ect: x\r\n\0\0\r\n", 16)},
        {"long and short", Bytes(300, 'a') + "\r\nb\r\n" + Bytes(70, 'c') + "\r\n" + Bytes(5, 'd')},
    };
    const std::size_t window = GetParam();
    TempDir dir;
    for (const Layout& layout : layouts) {
        SCOPED_TRACE(layout.name);
        const auto file = dir.path() / "m.eml";
        testing::writeFile(file, layout.content);
        const auto lines = readAll(file, window);
        const auto expected = expectedLines(layout.content);
        ASSERT_EQ(lines.size(), expected.size());
        for (std::size_t i = 0; i < lines.size(); ++i) {
            EXPECT_EQ(lines[i].position, expected[i].position) << "line " << i;
            EXPECT_EQ(lines[i].line, expected[i].line) << "line " << i;
        }
        EXPECT_EQ(testing::readFile(file), layout.content) << "reading never writes";
    }
}

INSTANTIATE_TEST_SUITE_P(WindowSizes, LineReaderLayouts,
                         ::testing::Values(2, 3, 4, 5, 7, 16, 64, kLineWindowSize));

TEST(LineReader, LineLongerThanTheWindowIsReadWholeAndTheFileGoesOn) {
    TempDir dir;
    const auto file = dir.path() / "m.eml";
    const Bytes longLine = "X-Long: " + Bytes(200 * 1024, 'a') + "\r\n";
    const Bytes content = "Subject: s\r\n" + longLine + "after\r\nlast";
    testing::writeFile(file, content);
    const auto lines = readAll(file, kLineWindowSize);
    ASSERT_EQ(lines.size(), 4u);
    EXPECT_EQ(lines[1].position, 12);
    EXPECT_EQ(lines[1].line, longLine);
    EXPECT_EQ(lines[2].line, "after\r\n");
    EXPECT_EQ(lines[3].line, "last");
    EXPECT_EQ(lines[3].position, static_cast<std::int64_t>(content.size() - 4));
}

TEST(LineReader, WritesALineBackInPlaceWithoutChangingTheSize) {
    TempDir dir;
    const auto file = dir.path() / "m.eml";
    testing::writeFile(file, Bytes("one\r\nt\0o\r\nthree", 15));
    auto reader = openLineReader(file, 4);
    ASSERT_TRUE(reader);
    readLine(*reader);
    const auto second = readLine(*reader);
    ASSERT_TRUE(second);
    ASSERT_EQ(second->position, 5);
    EXPECT_TRUE(writeLine(*reader, second->position, "two\r\n"));
    EXPECT_EQ(readLine(*reader)->line, "three");
    EXPECT_FALSE(writeLine(*reader, 12, "four")) << "would grow the file";
    EXPECT_FALSE(writeLine(*reader, -1, "x"));
    EXPECT_TRUE(writeLine(*reader, 0, "ONE")) << "an earlier line can be rewritten";
    closeLineReader(*reader);
    EXPECT_EQ(testing::readFile(file), "ONE\r\ntwo\r\nthree");
}

TEST(LineReader, FileThatCannotBeOpenedGivesNoReader) {
    TempDir dir;
    EXPECT_FALSE(openLineReader(dir.path() / "missing.eml"));
    EXPECT_FALSE(openLineReader(dir.path())) << "a folder is not a message file";
}

TEST(LineReader, FileCutShortWhileReadEndsCleanly) {
    TempDir dir;
    const auto file = dir.path() / "m.eml";
    Bytes content;
    for (int i = 0; i < 50; ++i) {
        content += "line " + std::to_string(i) + "\r\n";
    }
    testing::writeFile(file, content);
    auto reader = openLineReader(file, 16);
    ASSERT_TRUE(reader);
    EXPECT_EQ(readLine(*reader)->line, "line 0\r\n");
    std::error_code cut;
    std::filesystem::resize_file(file, 40, cut);
#ifdef _WIN32
    if (cut) {
        GTEST_SKIP() << "Windows lets no one shorten a file the reader holds without write sharing";
    }
#endif
    ASSERT_FALSE(cut) << cut.message();
    std::size_t count = 1;
    Bytes seen = "line 0\r\n";
    for (auto read = readLine(*reader); read && count < 100; read = readLine(*reader)) {
        seen += read->line;
        ++count;
    }
    EXPECT_LT(count, 100u) << "the reader does not finish";
    EXPECT_EQ(seen, content.substr(0, 40)) << "no byte past the new end is invented";
    EXPECT_FALSE(writeLine(*reader, 99, "x")) << "would grow the file cut short";
    EXPECT_EQ(std::filesystem::file_size(file), 40u);
}

} // namespace
} // namespace keldor::repair
