#include "repair/twin_parts.h"

#include "platform/event_point.h"
#include "repair/repair_pipeline.h"
#include "tests/repair/encoded_word_testing.h"
#include "tests/support/charset_conversion.h"
#include "tests/support/file_bytes.h"
#include "tests/support/test_support.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace keldor::repair {
namespace {

using keldor::testing::readFile;
using keldor::testing::writeFile;

constexpr std::string_view kBoundary = "----=_NextPart_001_0009_01C95F2A.4F2B6B80";

class NoEvents : public platform::EventPoint {
public:
    void processEvents() override {}
};

Bytes encoded(const std::string& utf8, const char* iconvName) {
    if (std::string_view(iconvName) == "US-ASCII") {
        return utf8;
    }
    const std::optional<std::string> converted =
        keldor::testing::convertCharset(utf8, "UTF-8", iconvName);
    EXPECT_TRUE(converted.has_value()) << utf8;
    return converted.value_or("");
}

// An HTML mail with a plain-text alternative, as Outlook Express writes it:
// each line a DIV, an empty one a non-breaking space, "&" as "&amp;".
Bytes alternativeMail(const std::vector<std::string>& lines, const char* charsetName,
                      const char* iconvName, const char* plainEncoding) {
    Bytes plain;
    Bytes html = "<!DOCTYPE HTML PUBLIC \"-//W3C//DTD HTML 4.0 Transitional//EN\">\r\n"
                 "<HTML><HEAD>\r\n<META http-equiv=Content-Type content=\"text/html; charset=" +
                 Bytes(charsetName) + "\">\r\n</HEAD>\r\n<BODY bgColor=#ffffff>\r\n";
    // A "\n" in a line: the text part breaks it there, the HTML has a space.
    for (const std::string& line : lines) {
        std::string broken;
        std::string escaped;
        for (const char c : line) {
            broken += c == '\n' ? std::string("\r\n") : std::string(1, c);
            escaped += c == '&' ? std::string("&amp;") : c == '\n' ? " " : std::string(1, c);
        }
        plain += encoded(broken, iconvName) + "\r\n";
        html += "<DIV><FONT size=2>" +
                (line.empty() ? Bytes("&nbsp;") : encoded(escaped, iconvName)) +
                "</FONT></DIV>\r\n";
    }
    html += "</BODY></HTML>\r\n";
    const std::string encoding(plainEncoding);
    const Bytes plainBody = encoding == "base64" ? repair::testing::base64Lines(plain)
                            : encoding == "quoted-printable"
                                ? repair::testing::quotedPrintable(plain, false)
                                : plain;
    const Bytes delimiter = "--" + Bytes(kBoundary);
    return "From: <taro@example.co.jp>\r\nMIME-Version: 1.0\r\n"
           "Content-Type: multipart/alternative;\r\n\tboundary=\"" +
           Bytes(kBoundary) + "\"\r\n\r\nThis is a multi-part message in MIME format.\r\n\r\n" +
           delimiter + "\r\nContent-Type: text/plain;\r\n\tcharset=\"" + charsetName +
           "\"\r\nContent-Transfer-Encoding: " + encoding + "\r\n\r\n" + plainBody + "\r\n" +
           delimiter + "\r\nContent-Type: text/html;\r\n\tcharset=\"" + charsetName +
           "\"\r\nContent-Transfer-Encoding: quoted-printable\r\n\r\n" +
           repair::testing::quotedPrintable(html, false) + "\r\n" + delimiter + "--\r\n\r\n";
}

const std::vector<std::string> kJapanese = {"山田様",
                                            "",
                                            "いつもお世話になっております。",
                                            "先日の会議の議事録を添付いたします。",
                                            "ご確認のほど、よろしくお願いいたします。",
                                            "",
                                            "鈴木花子"};
const std::vector<std::string> kEnglish = {"Dear Hanako,",
                                           "",
                                           "The minutes of the Q&A session are attached.",
                                           "Please check them by Friday.",
                                           "Tell me if the files do not open on\nyour side.",
                                           "",
                                           "Taro"};
const std::vector<std::string> kRepeated = {"Hello,", "The big room A is booked today.",
                                            "The big room B is booked today.", "Taro"};

enum class Side { Plain, Html };

// Lost bytes: `count` of them from `offset` past where `needle` first
// stands in that part's body.
struct Loss {
    Side side;
    Bytes needle;
    std::size_t offset;
    std::size_t count = 4;
};

struct TwinCase {
    const char* name;
    const std::vector<std::string>* lines;
    const char* charsetName;
    const char* iconvName;
    const char* plainEncoding;
    std::vector<Loss> losses;
    std::int64_t filled; // lost bytes that must come back
};

const TwinCase kCases[] = {
    {"JisPlainFromQuotedPrintableHtml",
     &kJapanese,
     "iso-2022-jp",
     "ISO-2022-JP",
     "7bit",
     {{Side::Plain, "5D;vO?", 1}},
     4},
    {"JisPlainEscapeFromHtml",
     &kJapanese,
     "iso-2022-jp",
     "ISO-2022-JP",
     "7bit",
     {{Side::Plain, "5D;vO?", 4}},
     4},
    {"JisHtmlFromPlain",
     &kJapanese,
     "iso-2022-jp",
     "ISO-2022-JP",
     "7bit",
     {{Side::Html, "5D;vO?", 1}},
     4},
    {"JisHtmlEscapeFromPlain",
     &kJapanese,
     "iso-2022-jp",
     "ISO-2022-JP",
     "quoted-printable",
     {{Side::Html, "=1B$B@hF|", 1}},
     4},
    {"SjisHtmlFromPlain",
     &kJapanese,
     "shift_jis",
     "SHIFT_JIS",
     "8bit",
     {{Side::Html, "=8Bc=8E=96=98^", 2}},
     4},
    {"SjisPlainFromHtml",
     &kJapanese,
     "shift_jis",
     "SHIFT_JIS",
     "8bit",
     {{Side::Plain,
       "\x8b"
       "c\x8e\x96\x98^",
       1}},
     4},
    {"AsciiQuotedPrintablePlainFromHtml",
     &kEnglish,
     "us-ascii",
     "US-ASCII",
     "quoted-printable",
     {{Side::Plain, "Q&A", 1}},
     4},
    {"AsciiQuotedPrintableHtmlFromPlain",
     &kEnglish,
     "us-ascii",
     "US-ASCII",
     "quoted-printable",
     {{Side::Html, "Friday", 2}},
     4},
    {"Base64PlainFromHtml",
     &kJapanese,
     "euc-jp",
     "EUC-JP",
     "base64",
     {{Side::Plain, "\r\n", 10}},
     4},
    {"BothDirectionsAtOnce",
     &kJapanese,
     "euc-jp",
     "EUC-JP",
     "8bit",
     {{Side::Plain, "\xb5\xc4\xbb\xf6", 1}, {Side::Html, "=A4=E8=A4=ED", 2}},
     8},
    // The text part broke the line where the HTML has a space: a tab and
    // a space would read the same, so only the first byte is certain.
    {"TextBrokenWhereHtmlHasSpace",
     &kEnglish,
     "us-ascii",
     "US-ASCII",
     "7bit",
     {{Side::Plain, "on\r\nyour", 0}},
     1},
    // "The big room " stands before both letters: which one was lost
    // cannot be told, the bytes after it can.
    {"AmbiguousPlaceLeavesTheDifference",
     &kRepeated,
     "us-ascii",
     "US-ASCII",
     "7bit",
     {{Side::Plain, "A is", 0}},
     3},
    {"TwinLostTheSameText",
     &kJapanese,
     "iso-2022-jp",
     "ISO-2022-JP",
     "7bit",
     {{Side::Plain, "5D;vO?", 1}, {Side::Html, "5D;vO?", 1}},
     0},
};

// Where a part's body begins: past the blank line after its delimiter.
std::size_t bodyStart(ByteView mail, Side side) {
    const Bytes delimiter = "--" + Bytes(kBoundary) + "\r\n";
    std::size_t at = mail.find(delimiter);
    if (side == Side::Html) {
        at = mail.find(delimiter, at + 1);
    }
    return mail.find("\r\n\r\n", at) + 4;
}

TEST(TwinParts, FillsLostBytesOnlyWhereTheOtherPartDecidesThem) {
    for (const TwinCase& c : kCases) {
        SCOPED_TRACE(c.name);
        const Bytes original =
            alternativeMail(*c.lines, c.charsetName, c.iconvName, c.plainEncoding);
        Bytes damaged = original;
        for (const Loss& loss : c.losses) {
            const std::size_t body = bodyStart(original, loss.side);
            const std::size_t at = original.find(loss.needle, body);
            ASSERT_NE(at, Bytes::npos) << "needle not in the part";
            damaged.replace(at + loss.offset, loss.count, loss.count, '\0');
        }
        Bytes repaired = damaged;
        EXPECT_EQ(restoreTwinParts(repaired), c.filled);
        ASSERT_EQ(repaired.size(), original.size());
        std::int64_t back = 0;
        for (std::size_t i = 0; i < original.size(); ++i) {
            if (repaired[i] != damaged[i]) {
                ASSERT_EQ(damaged[i], '\0') << "a surviving byte changed at " << i;
                ASSERT_EQ(repaired[i], original[i]) << "a wrong byte at " << i;
                ++back;
            }
        }
        EXPECT_EQ(back, c.filled);

        // The pipeline does the same in memory and in a file and counts it.
        NoEvents events;
        Bytes inMemory = damaged;
        const RestoredCounts memoryCounts = repairMessage(inMemory, RepairOptions{}, events);
        EXPECT_EQ(memoryCounts.twinPart, c.filled);
        keldor::testing::TempDir dir;
        const auto file = dir.path() / "Recover1.eml";
        ASSERT_TRUE(writeFile(file, damaged));
        EXPECT_EQ(repairMessageFile(file, RepairOptions{}, events).twinPart, c.filled);
        EXPECT_EQ(readFile(file), inMemory);
    }
}

TEST(TwinParts, LeavesAnUndamagedAlternativeAsItIs) {
    for (const char* encoding : {"7bit", "quoted-printable", "base64"}) {
        const Bytes original = alternativeMail(kJapanese, "iso-2022-jp", "ISO-2022-JP", encoding);
        Bytes repaired = original;
        EXPECT_EQ(restoreTwinParts(repaired), 0);
        EXPECT_EQ(repaired, original) << encoding;
    }
}

} // namespace
} // namespace keldor::repair
