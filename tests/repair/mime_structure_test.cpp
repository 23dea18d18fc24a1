#include "repair/mime_structure.h"

#include "tests/support/repair_lines.h"

#include <gtest/gtest.h>

#include <map>
#include <tuple>

namespace keldor::repair {
namespace {

using testing::raw;

constexpr std::string_view kBoundary = "----=_NextPart_000_0001_01C6A0B6.5C4E5A70";
const Bytes kDelimiter = "--" + Bytes(kBoundary);

// A file of earlier lines that detectBoundary may rewrite, byte by byte.
struct FakeFile {
    Bytes bytes = Bytes(4096, '.');
    std::vector<std::pair<std::int64_t, Bytes>> writes;
    RewriteAt writer() {
        return [this](std::int64_t position, ByteView written) {
            writes.emplace_back(position, Bytes(written));
            bytes.replace(static_cast<std::size_t>(position), written.size(), written);
            return true;
        };
    }
};

class DetectBoundary : public ::testing::Test {
protected:
    BoundaryResult feed(Bytes& line, std::int64_t position = 1) {
        return detectBoundary(table, line, position, file.writer());
    }
    BoundaryResult feedCopy(Bytes line, std::int64_t position = 1) { return feed(line, position); }

    BoundaryTable table;
    FakeFile file;
};

TEST_F(DetectBoundary, RecordsTheBoundaryOnTheLineAfterTheMultipartType) {
    EXPECT_EQ(feedCopy("Content-Type: multipart/mixed;\r\n", 100), BoundaryResult::MultipartSeen);
    Bytes param = "\tboundary=\"" + Bytes(kBoundary) + "\"\r\n";
    EXPECT_EQ(feed(param, 132), BoundaryResult::BoundaryRecorded);
    ASSERT_EQ(table.entries.size(), 1u);
    EXPECT_EQ(table.entries[0].delimiter, kDelimiter);
    EXPECT_EQ(table.entries[0].delimiter.size(), 43u);
    EXPECT_EQ(table.entries[0].linePosition, 132);
    EXPECT_EQ(table.entries[0].paramStart, 1u);
    EXPECT_EQ(table.entries[0].headerLine, param);
    EXPECT_EQ(table.multipartState, MultipartState::None);
}

TEST_F(DetectBoundary, LooksForTheBoundaryOnEveryContinuationLineOfTheField) {
    feedCopy("Content-Type: multipart/related;\r\n");
    feedCopy("\ttype=\"multipart/alternative\";\r\n");
    feedCopy("\tstart=\"<part1>\";\r\n");
    EXPECT_EQ(feedCopy("\tboundary=\"=_715392540==_.REL\"\r\n"), BoundaryResult::BoundaryRecorded);
    ASSERT_EQ(table.entries.size(), 1u);
    EXPECT_EQ(table.entries[0].delimiter, "--=_715392540==_.REL");
    // A field that ends before any boundary: delimiter lines are looked for again.
    feedCopy("Content-Type: multipart/mixed;\r\n");
    feedCopy("\ttype=\"a\"\r\n");
    feedCopy("X-Other: boundary=\"not-this-one\"\r\n");
    EXPECT_EQ(table.entries.size(), 1u);
    EXPECT_EQ(feedCopy("--=_715392540==_.REL\r\n"), BoundaryResult::DelimiterMatched);
}

TEST_F(DetectBoundary, ADelimiterRightAfterATypeLineThatHeldItsBoundary) {
    feedCopy("Content-Type: multipart/related; boundary=\"Enmime-Test-101\"\r\n");
    Bytes line = raw("\0\0\0-Enmime-Test-101\r\n");
    EXPECT_EQ(feed(line), BoundaryResult::DelimiterMatched);
    EXPECT_EQ(line, "\r\n--Enmime-Test-101\r\n");
}

TEST_F(DetectBoundary, ALongerBoundaryWhoseBytes41To44WereLostIsNoOutlookExpressOne) {
    feedCopy("Content-Type: multipart/mixed;\r\n");
    const Bytes value = "----sinikael-?=_1-14763587882000.8241290969717285";
    Bytes param =
        " boundary=\"" + value.substr(0, 41) + raw("\0\0\0\0") + value.substr(45) + "\"\r\n";
    EXPECT_EQ(feed(param), BoundaryResult::BoundaryRecorded);
    ASSERT_EQ(table.entries.size(), 1u);
    EXPECT_EQ(table.entries[0].form, BoundaryForm::Other);
    Bytes delimiter = "--" + value + "\r\n";
    EXPECT_EQ(feed(delimiter), BoundaryResult::DelimiterMatched);
}

TEST(RestoreBlankBeforeDelimiter, OnlyBeforeTheLinesOwnBoundary) {
    const std::vector<std::pair<Bytes, Bytes>> cases = {
        {raw("\tboundary=\"=_71==_\"\0\0\0\0--=_71==_\r\n"),
         "\tboundary=\"=_71==_\"\r\n\r\n--=_71==_\r\n"},
        {raw(" boundary=b1\0\0\0\0--b1\r\n"), " boundary=b1\r\n\r\n--b1\r\n"},
        {raw(" boundary=\"b1\"\0\0\0\0--b2\r\n"), raw(" boundary=\"b1\"\0\0\0\0--b2\r\n")},
        {raw(" boundary=\"b1\"\0\0\0--b1\r\n"), raw(" boundary=\"b1\"\0\0\0--b1\r\n")},
    };
    for (const auto& [damaged, repaired] : cases) {
        Bytes line = damaged;
        restoreBlankBeforeDelimiter(line);
        EXPECT_EQ(line, repaired);
    }
}

TEST_F(DetectBoundary, TakesTheInnermostOpenBoundaryWhereLostBytesFitSeveral) {
    feedCopy("Content-Type: multipart/mixed; boundary=\"Enmime-Test-100\"\r\n");
    feedCopy("\r\n");
    EXPECT_EQ(feedCopy("--Enmime-Test-100\r\n"), BoundaryResult::DelimiterMatched);
    feedCopy("Content-Type: multipart/related; boundary=\"Enmime-Test-102\"\r\n");
    feedCopy("\r\n");
    Bytes inner = raw("--Enmime-Test-1\0\0\r\n");
    EXPECT_EQ(feed(inner), BoundaryResult::DelimiterMatched);
    EXPECT_EQ(inner, "--Enmime-Test-102\r\n");
    EXPECT_EQ(feedCopy("--Enmime-Test-102--\r\n"), BoundaryResult::DelimiterMatched);
    Bytes outer = raw("--Enmime-Test-1\0\0--\r\n");
    EXPECT_EQ(feed(outer), BoundaryResult::DelimiterMatched);
    EXPECT_EQ(outer, "--Enmime-Test-100--\r\n");
}

TEST_F(DetectBoundary, RestoresWhatStandsAroundABoundaryParameter) {
    const Bytes oe(kBoundary);
    const std::vector<std::tuple<const char*, Bytes, Bytes>> cases = {
        {"the fold before it and an Outlook Express boundary's closing quote",
         "Content-Type: multipart/alternative;" + raw("\0\0\0") + "boundary=\"" + oe +
             raw("\0\r\n"),
         "Content-Type: multipart/alternative;\r\n\tboundary=\"" + oe + "\"\r\n"},
        {"the closing quote, the \";\" and the line break before a surviving blank",
         "Content-Type: multipart/related; type=\"text/html" + raw("\0\0\0\0") +
             " boundary=\"b1\"\r\n",
         "Content-Type: multipart/related; type=\"text/html\";\r\n boundary=\"b1\"\r\n"},
        {"the closing quote, the \";\" and the blank",
         "Content-Type: multipart/signed; protocol=\"application/pgp-signatur" + raw("\0\0\0\0") +
             "boundary=\"b1\"\r\n",
         "Content-Type: multipart/signed; protocol=\"application/pgp-signatur" + raw("\0") +
             "\"; boundary=\"b1\"\r\n"},
    };
    for (const auto& [name, damaged, repaired] : cases) {
        BoundaryTable fresh;
        Bytes line = damaged;
        EXPECT_EQ(detectBoundary(fresh, line, 1, nullptr), BoundaryResult::BoundaryRecorded)
            << name;
        EXPECT_EQ(line, repaired) << name;
    }
    Bytes line = std::get<1>(cases[0]);
    ASSERT_EQ(feed(line), BoundaryResult::BoundaryRecorded);
    EXPECT_EQ(table.entries.at(0).delimiter, kDelimiter);
}

TEST_F(DetectBoundary, FindsAParameterNameWithLostBytes) {
    const std::map<std::string, Bytes> damaged = {
        {"start lost", raw("\t\0\0\0\0dary=\"") + Bytes(kBoundary) + "\"\r\n"},
        {"middle lost", raw("\tbou\0\0\0\0y=\"") + Bytes(kBoundary) + "\"\r\n"},
        {"name lost", raw("\t\0\0\0\0\0\0\0\0=\"") + Bytes(kBoundary) + "\"\r\n"},
    };
    for (const auto& [name, damagedLine] : damaged) {
        BoundaryTable fresh;
        Bytes type = "Content-Type: multipart/mixed;\r\n";
        detectBoundary(fresh, type, 1, nullptr);
        Bytes line = damagedLine;
        EXPECT_EQ(detectBoundary(fresh, line, 40, nullptr), BoundaryResult::BoundaryRecorded)
            << name;
        EXPECT_EQ(line, "\tboundary=\"" + Bytes(kBoundary) + "\"\r\n") << name;
    }
}

TEST_F(DetectBoundary, LooksForTheParameterOnlyOnTheTypeLineAndTheNext) {
    EXPECT_EQ(feedCopy("Content-Type: multipart/mixed;\r\n"), BoundaryResult::MultipartSeen);
    EXPECT_EQ(feedCopy("\tBoundary=\"" + Bytes(kBoundary) + "\"\r\n"),
              BoundaryResult::BoundaryRecorded)
        << "the parameter name in any case";
    ASSERT_EQ(table.entries.size(), 1u);
    EXPECT_EQ(table.entries[0].form, BoundaryForm::Other);
    EXPECT_EQ(table.entries[0].delimiter, kDelimiter);
    table.entries.clear();
    EXPECT_EQ(feedCopy("Content-Type: multipart/mixed;\r\n"), BoundaryResult::MultipartSeen);
    EXPECT_EQ(feedCopy("X-Other: 1\r\n"), BoundaryResult::NoMatch);
    EXPECT_EQ(feedCopy("X-Other: 2\r\n"), BoundaryResult::NoMatch);
    EXPECT_EQ(feedCopy("\tboundary=\"" + Bytes(kBoundary) + "\"\r\n"), BoundaryResult::NoMatch)
        << "only the type line and the one after it are searched";
    EXPECT_TRUE(table.entries.empty());
    EXPECT_EQ(feedCopy(kDelimiter + "\r\n"), BoundaryResult::NoMatch) << "nothing recorded";
}

TEST_F(DetectBoundary, ParameterCutByTheLineEndIsNotRecorded) {
    feedCopy("Content-Type: multipart/mixed;\r\n");
    Bytes line = raw("\tbound\0");
    EXPECT_EQ(feed(line), BoundaryResult::NoMatch);
    EXPECT_EQ(line, raw("\tbound\0"));
    EXPECT_TRUE(table.entries.empty());
}

class DelimiterLines : public DetectBoundary {
protected:
    void SetUp() override {
        feedCopy("Content-Type: multipart/mixed;\r\n", 200);
        header = "\tboundary=\"" + Bytes(kBoundary) + "\"\r\n";
        feed(header, 232);
    }
    Bytes header;
};

TEST_F(DelimiterLines, MatchesDelimitersAndFillsTheirLostBytes) {
    const std::map<std::string, std::pair<Bytes, Bytes>> cases = {
        {"intact", {kDelimiter + "\r\n", kDelimiter + "\r\n"}},
        {"closing", {kDelimiter + "--\r\n", kDelimiter + "--\r\n"}},
        {"first two lost", {raw("\0\0") + kDelimiter.substr(2) + "\r\n", kDelimiter + "\r\n"}},
        {"first four lost", {raw("\0\0\0\0") + kDelimiter.substr(4) + "\r\n", kDelimiter + "\r\n"}},
        {"found by tpar",
         {raw("\0\0\0\0\0\0\0\0\0\0\0") + kDelimiter.substr(11) + "\r\n", kDelimiter + "\r\n"}},
        {"lost inside",
         {kDelimiter.substr(0, 20) + raw("\0\0\0\0") + kDelimiter.substr(24) + "\r\n",
          kDelimiter + "\r\n"}},
        {"line break before it lost",
         {"end of text" + raw("\0\0\0\0") + kDelimiter.substr(2) + "\r\n",
          "end of text\r\n" + kDelimiter + "\r\n"}},
    };
    for (const auto& [name, lines] : cases) {
        Bytes line = lines.first;
        EXPECT_EQ(feed(line, 900), BoundaryResult::DelimiterMatched) << name;
        EXPECT_EQ(line, lines.second) << name;
    }
    EXPECT_TRUE(file.writes.empty()) << "the header line lacked nothing";
}

TEST_F(DelimiterLines, OtherLinesAreNoDelimiters) {
    const std::vector<Bytes> lines = {
        "-- \r\n",                                                 // a signature separator
        "--\r\n",                                                  // shorter than any delimiter
        kDelimiter,                                                // no room for its CR LF
        "--" + Bytes(kBoundary.substr(0, 30)) + "XXXXXXXXXXX\r\n", // another boundary
        "text ------=_NextPart\r\n", // delimiter would run past the end
        raw("\0\0\0\0"),
        "",
    };
    for (const Bytes& original : lines) {
        Bytes line = original;
        EXPECT_EQ(feed(line), BoundaryResult::NoMatch) << line;
        EXPECT_EQ(line, original);
    }
}

TEST_F(DetectBoundary, HeaderLineLearnsLostBoundaryBytesFromALaterDelimiter) {
    feedCopy("Content-Type: multipart/alternative;\r\n", 300);
    Bytes damagedValue(kBoundary);
    damagedValue.replace(24, 4, 4, '\0'); // "01C6" lost
    Bytes header = "\tboundary=\"" + damagedValue + "\"\r\n";
    ASSERT_EQ(feed(header, 338), BoundaryResult::BoundaryRecorded);

    Bytes delimiterLine = kDelimiter + "\r\n";
    EXPECT_EQ(feed(delimiterLine, 1000), BoundaryResult::DelimiterMatched);
    ASSERT_EQ(file.writes.size(), 1u);
    // The value starts 11 bytes into the header line.
    EXPECT_EQ(file.writes[0].first, 338 + 11 + 24);
    EXPECT_EQ(file.writes[0].second, "01C6");
    EXPECT_EQ(table.entries[0].delimiter, kDelimiter) << "learnt for later delimiter lines";

    Bytes damagedDelimiter =
        kDelimiter.substr(0, 26) + raw("\0\0") + kDelimiter.substr(28) + "\r\n";
    EXPECT_EQ(feed(damagedDelimiter, 2000), BoundaryResult::DelimiterMatched);
    EXPECT_EQ(damagedDelimiter, kDelimiter + "\r\n");
    EXPECT_EQ(file.writes.size(), 1u) << "nothing more to learn";
}

TEST_F(DetectBoundary, EachMessageBoundaryIsTriedInTurn) {
    const Bytes inner = "----=_NextPart_001_0002_01C6A0B6.5C4E5A70";
    feedCopy("Content-Type: multipart/mixed;\r\n");
    feedCopy("\tboundary=\"" + Bytes(kBoundary) + "\"\r\n");
    feedCopy("Content-Type: multipart/alternative;\r\n");
    feedCopy("\tboundary=\"" + inner + "\"\r\n");
    ASSERT_EQ(table.entries.size(), 2u);
    Bytes line = raw("\0\0\0\0") + inner.substr(2) + "\r\n";
    // The rows differ only in "000" / "001"; the first row does not fit.
    EXPECT_EQ(feed(line), BoundaryResult::DelimiterMatched);
    EXPECT_EQ(line, "--" + inner + "\r\n");
}

TEST(DetectPartInfo, ReadsTheCodesOfAPartHeader) {
    struct Case {
        std::vector<Bytes> lines;
        PartType contentType;
        Charset charset;
        TransferEncoding transferEncoding;
    };
    const std::vector<Case> cases = {
        {{"Content-Type: text/plain; charset=\"iso-2022-jp\"\r\n"},
         PartType::TextPlain,
         Charset::Iso2022Jp,
         TransferEncoding::None},
        {{"Content-Type: text/plain;\r\n", "\tcharset=\"shift_jis\"\r\n"},
         PartType::TextPlain,
         Charset::ShiftJis,
         TransferEncoding::None},
        {{"Content-Type: text/html;\r\n", "\tcharset=euc-jp\r\n",
          "Content-Transfer-Encoding: quoted-printable\r\n"},
         PartType::TextHtml,
         Charset::EucJp,
         TransferEncoding::QuotedPrintable},
        {{"content-type: TEXT/PLAIN; CHARSET=ISO-2022-JP\r\n"},
         PartType::TextPlain,
         Charset::Iso2022Jp,
         TransferEncoding::None},
        {{"Content-Type: text/plain; charset=utf-8\r\n"},
         PartType::TextPlain,
         Charset::None,
         TransferEncoding::None},
        {{"Content-Type: image/gif;\r\n", "\tcharset=\"iso-2022-jp\"\r\n",
          "Content-Transfer-Encoding: base64\r\n"},
         PartType::Other,
         Charset::None,
         TransferEncoding::Base64},
        {{"Content-Type: text/plain;\r\n", "Content-Transfer-Encoding: 7bit\r\n",
          "\tcharset=\"iso-2022-jp\"\r\n"},
         PartType::TextPlain,
         Charset::None,
         TransferEncoding::Other},
    };
    for (const Case& c : cases) {
        PartInfo info;
        for (const Bytes& original : c.lines) {
            Bytes line = original;
            detectPartInfo(info, line);
            EXPECT_EQ(line, original) << "nothing was lost";
        }
        EXPECT_EQ(info.contentType, c.contentType) << c.lines[0];
        EXPECT_EQ(info.charset, c.charset) << c.lines[0];
        EXPECT_EQ(info.transferEncoding, c.transferEncoding) << c.lines[0];
    }
}

TEST(DetectPartInfo, FillsLostBytesOfTheCharsetParameter) {
    const std::vector<std::tuple<Bytes, Bytes, Charset>> cases = {
        {raw("\tcharset=\0\0\0\0\0\0\0\0\0\0\0\0\0\r\n"), "\tcharset=\"iso-2022-jp\"\r\n",
         Charset::Iso2022Jp},
        {raw("\t\0\0\0\0set=\"shift_jis\"\r\n"), "\tcharset=\"shift_jis\"\r\n", Charset::ShiftJis},
        {raw("\t\0\0\0\0\0\0\0\0\"euc-jp\"\r\n"), "\tcharset=\"euc-jp\"\r\n", Charset::EucJp},
        {raw("\tcharset=\"ISO-20\0\0\0\0P\"\r\n"), "\tcharset=\"ISO-2022-jP\"\r\n",
         Charset::Iso2022Jp},
        {raw("\tcharset=shift\0\0\0\0\r\n"), "\tcharset=shift_jis\r\n", Charset::ShiftJis},
        {raw("\tcharset=\"utf\0\0\0\0\r\n"), raw("\tcharset=\"utf\0\0\0\0\r\n"),
         Charset::Iso2022Jp},
        {raw("\tcharset=\0\0\0"), raw("\tcharset=\0\0\0"),
         Charset::Iso2022Jp}, // too short for any value
    };
    for (const auto& [damaged, repaired, code] : cases) {
        PartInfo info;
        info.charset = Charset::Iso2022Jp; // from an earlier part
        Bytes type = "Content-Type: text/plain;\r\n";
        detectPartInfo(info, type);
        Bytes line = damaged;
        detectPartInfo(info, line);
        EXPECT_EQ(line, repaired);
        EXPECT_EQ(info.charset, code) << repaired;
    }
}

TEST(DetectPartInfo, PartCodesClearButTheCharsetCarriesOver) {
    PartInfo info;
    Bytes line = "Content-Type: text/plain; charset=shift_jis\r\n";
    detectPartInfo(info, line);
    line = "Content-Transfer-Encoding: base64\r\n";
    detectPartInfo(info, line);
    info.clearPartCodes();
    EXPECT_EQ(info.contentType, PartType::None);
    EXPECT_EQ(info.transferEncoding, TransferEncoding::None);
    EXPECT_FALSE(info.charsetPending);
    EXPECT_EQ(info.charset, Charset::ShiftJis);
}

TEST_F(DetectBoundary, RecordsOtherProgramsBoundariesByTheirValue) {
    struct Case {
        const char* name;
        Bytes parameterLine;
        Bytes recorded; // the line as repaired
        Bytes delimiter;
    };
    const std::vector<Case> cases = {
        {"unquoted, followed by another parameter", " boundary=mimepart_5f3c_1a;\r\n",
         " boundary=mimepart_5f3c_1a;\r\n", "--mimepart_5f3c_1a"},
        {"short and quoted", "\tboundary=\"b1\"\r\n", "\tboundary=\"b1\"\r\n", "--b1"},
        {"name in capitals", " BOUNDARY=\"------[D41A-MULTIPART-0]\"\r\n",
         " BOUNDARY=\"------[D41A-MULTIPART-0]\"\r\n", "--------[D41A-MULTIPART-0]"},
        {"dashes but not 41 bytes long", "\tboundary=\"------------080808070605040302010009\"\r\n",
         "\tboundary=\"------------080808070605040302010009\"\r\n",
         "--------------080808070605040302010009"},
        {"lost opening quote", raw("\tboundary=\0Apple-Mail=_7E1B\"\r\n"),
         "\tboundary=\"Apple-Mail=_7E1B\"\r\n", "--Apple-Mail=_7E1B"},
        {"lost letters of the name, in their case", raw("\tBOU\0\0\0\0Y=b1\r\n"),
         "\tBOUNDARY=b1\r\n", "--b1"},
        {"lost value bytes stay lost", raw("\tboundary=abc\0\0\0\0def\r\n"),
         raw("\tboundary=abc\0\0\0\0def\r\n"), raw("--abc\0\0\0\0def")},
    };
    for (const Case& c : cases) {
        BoundaryTable fresh;
        Bytes type = "Content-Type: multipart/mixed;\r\n";
        detectBoundary(fresh, type, 1, nullptr);
        Bytes line = c.parameterLine;
        EXPECT_EQ(detectBoundary(fresh, line, 40, nullptr), BoundaryResult::BoundaryRecorded)
            << c.name;
        EXPECT_EQ(line, c.recorded) << c.name;
        ASSERT_EQ(fresh.entries.size(), 1u) << c.name;
        EXPECT_EQ(fresh.entries[0].form, BoundaryForm::Other) << c.name;
        EXPECT_EQ(fresh.entries[0].delimiter, c.delimiter) << c.name;
    }
}

class OtherDelimiterLines : public DetectBoundary {
protected:
    void SetUp() override {
        feedCopy("Content-Type: multipart/mixed;\r\n", 200);
        header = " boundary=" + kValue + "\r\n";
        feed(header, 232);
    }
    const Bytes kValue = "mimepart_5f3c2a1b9e8d7";
    Bytes header;
};

TEST_F(OtherDelimiterLines, AreFoundAndFilledByTheValue) {
    const Bytes d = "--" + kValue;
    const std::map<std::string, std::pair<Bytes, Bytes>> cases = {
        {"intact", {d + "\r\n", d + "\r\n"}},
        {"closing", {d + "--\r\n", d + "--\r\n"}},
        {"first four lost", {raw("\0\0\0\0") + d.substr(4) + "\r\n", d + "\r\n"}},
        {"lost inside", {d.substr(0, 9) + raw("\0\0\0\0") + d.substr(13) + "\r\n", d + "\r\n"}},
        {"line break before it lost",
         {"end of text" + raw("\0\0\0\0") + d.substr(2) + "\r\n", "end of text\r\n" + d + "\r\n"}},
        {"its own line break lost with the next line's start",
         {d + raw("\0\0\0\0") + "ntent-Type: text/plain\r\n",
          d + raw("\0\0\0\0") + "ntent-Type: text/plain\r\n"}},
    };
    for (const auto& [name, lines] : cases) {
        Bytes line = lines.first;
        EXPECT_EQ(feed(line, 900), BoundaryResult::DelimiterMatched) << name;
        EXPECT_EQ(line, lines.second) << name;
        EXPECT_EQ(table.matchedEnd - table.matchedStart, d.size()) << name;
    }
}

TEST_F(OtherDelimiterLines, OtherLinesAreNoDelimiters) {
    const std::vector<Bytes> lines = {
        "--" + kValue + "X\r\n",              // a longer boundary
        "--" + kValue + " is a boundary\r\n", // text after it
        raw("\0\0\0\0\0\0\0\0\0\0\0\0\r\n"),  // nothing survived to tell
        "--mimepart_5f3c2a1b9e8d\r\n",        // shorter than the value
    };
    for (const Bytes& original : lines) {
        Bytes line = original;
        EXPECT_EQ(feed(line), BoundaryResult::NoMatch) << line;
        EXPECT_EQ(line, original);
    }
}

// The closing quote and the line's end lost: the first delimiter line tells
// how long the value is, and the header line gets its quote and line
// breaks back.
TEST_F(DetectBoundary, FirstDelimiterLineSettlesAValueWhoseEndWasLost) {
    feedCopy("Content-Type: multipart/alternative;\r\n", 100);
    Bytes header = raw("\tboundary=\"0000b01b93\0\0\0\r\n");
    ASSERT_EQ(feed(header, 140), BoundaryResult::BoundaryRecorded);
    Bytes delimiter = "--0000b01b93\r\n";
    EXPECT_EQ(feed(delimiter, 400), BoundaryResult::DelimiterMatched);
    EXPECT_EQ(table.entries[0].delimiter, "--0000b01b93");
    EXPECT_EQ(file.bytes.substr(140 + 21, 3), "\"\r\n");
    Bytes closing = raw("--0000b01b93\0\0\r\n");
    EXPECT_EQ(feed(closing, 600), BoundaryResult::DelimiterMatched);
}

TEST(CompleteContentType, FillsTheOneTypeThatFits) {
    const std::vector<std::pair<Bytes, Bytes>> cases = {
        {raw("Content-Type: Multipart/Al\0\0\0\0ative;\r\n"),
         "Content-Type: Multipart/Alternative;\r\n"},
        {raw("Content-Type:\0\0\0age/jpeg;\r\n"), "Content-Type: image/jpeg;\r\n"},
        {raw("Content-Type: image/jp\0\0\0\0\r\n"), raw("Content-Type: image/jpeg;\0\r\n")},
        // application/pdf and application/zip would both fit.
        {raw("Content-Type: application/\0\0\0\0\r\n"),
         raw("Content-Type: application/\0\0\0\0\r\n")},
        {raw("Content-Type: \0\0\0\0/plain\r\n"), "Content-Type: text/plain\r\n"},
        // Half the letters of a type must have survived.
        {raw("Content-Type: \0\0\0\0\0\0\0\0ain\r\n"),
         raw("Content-Type: \0\0\0\0\0\0\0\0ain\r\n")},
        {"Content-Type: text/plain\r\n", "Content-Type: text/plain\r\n"},
        // image/gif and image/jpeg fit as well; the file name tells.
        {raw("Content-Type: image/\0\0\0\0 name=\"2aa3ed95.png\"\r\n"),
         "Content-Type: image/png; name=\"2aa3ed95.png\"\r\n"},
        {raw("Content-Type: image/\0\0\0\0 name=\"scan.tif\"\r\n"),
         raw("Content-Type: image/\0\0\0\0 name=\"scan.tif\"\r\n")},
        // A writer that puts no blank after the colon.
        {raw("Content-Type:\0\0xt/plain;charset=SHIFT_JIS\r\n"),
         "Content-Type:text/plain;charset=SHIFT_JIS\r\n"},
        {raw("Content-Type:\0x-unknown/type\r\n"), "Content-Type: x-unknown/type\r\n"},
        // text/csv would fit too, but the "n" that survived is text/plain's.
        {raw("Content-Type: text/\0\0\0\0n\r\n"), "Content-Type: text/plain\r\n"},
        // The run took the type's end, the ";" and the blank before a parameter.
        {raw("Content-Type: application/pgp-signatu\0\0\0\0name=signature.asc\r\n"),
         "Content-Type: application/pgp-signature; name=signature.asc\r\n"},
    };
    for (const auto& [damaged, repaired] : cases) {
        Bytes line = damaged;
        completeContentType(line);
        EXPECT_EQ(line, repaired);
    }
}

TEST(CompleteTransferEncoding, ReadsTheOneEncodingThatFits) {
    struct Case {
        Bytes damaged;
        Bytes repaired;
        TransferEncoding code; // what detectPartInfo reads from the line as repaired
    };
    const std::vector<Case> cases = {
        {raw("Content-Transfer-Encoding: ba\0\0\0\0\r\n"), "Content-Transfer-Encoding: base64\r\n",
         TransferEncoding::Base64},
        // The run took the blank too: only that reading leaves "e64" in place.
        {raw("Content-Transfer-Encoding:\0\0\0\0e64\r\n"), "Content-Transfer-Encoding: base64\r\n",
         TransferEncoding::Base64},
        {raw("\0\0\0\0ent-Transfer-Encoding:base64\r\n"), "Content-Transfer-Encoding:base64\r\n",
         TransferEncoding::Base64},
        {raw("content-transfer-encodin\0\0\0\0ase64\r\n"), "content-transfer-encoding: base64\r\n",
         TransferEncoding::Base64},
        {raw("content-transfer-encoding:quoted-pr\0\0\0\0ble\r\n"),
         "content-transfer-encoding:quoted-printable\r\n", TransferEncoding::QuotedPrintable},
        {"Content-Transfer-Encoding:base64\r\n", "Content-Transfer-Encoding:base64\r\n",
         TransferEncoding::Base64},
        // 7bit and 8bit both fit: the code is known, the digit is not.
        {raw("Content-Transfer-Encoding: \0\0\0\0\r\n"),
         raw("Content-Transfer-Encoding: \0\0\0\0\r\n"), TransferEncoding::Other},
        // No encoding fits what survives.
        {raw("Content-Transfer-Encoding: x-\0\0\0\0ncode\r\n"),
         raw("Content-Transfer-Encoding: x-\0\0\0\0ncode\r\n"), TransferEncoding::Other},
        {raw("Content-Disposition: at\0\0\0\0ment\r\n"),
         raw("Content-Disposition: at\0\0\0\0ment\r\n"), TransferEncoding::None},
    };
    for (const Case& c : cases) {
        Bytes line = c.damaged;
        completeTransferEncoding(line);
        EXPECT_EQ(line, c.repaired) << c.repaired;
        PartInfo info;
        detectPartInfo(info, line);
        EXPECT_EQ(info.transferEncoding, c.code) << c.repaired;
    }
}

} // namespace
} // namespace keldor::repair
