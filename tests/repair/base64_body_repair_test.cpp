#include "repair/base64_body_repair.h"

#include "platform/text.h"
#include "tests/repair/encoded_word_testing.h"
#include "tests/support/repair_lines.h"

#include <gtest/gtest.h>

#include <random>

namespace keldor::repair {
namespace {

using keldor::testing::lost;
using keldor::testing::readLines;

TEST(FillBase64Line, PutsLineBreaksAndCharactersWhereTheyBelong) {
    struct Case {
        const char* name;
        std::size_t lineLength; // 0: not yet known
        std::string damaged;
        std::string filled;
        std::size_t crsBeforeLf = 1;
    };
    const std::string a76(76, 'a');
    const std::string b72(72, 'b');
    const std::vector<Case> cases = {
        {"characters keep their places", 76, "QU%%%%JD\r\n", "QUAAAAJD\r\n"},
        {"the break at the line length", 76, a76.substr(0, 74) + "%%%%" + "cd\r\n",
         a76.substr(0, 74) + "AA\r\ncd\r\n"},
        {"CR before a surviving LF", 76, "abcd%%%%\nefgh\r\n", "abcdAAA\r\nefgh\r\n"},
        {"LF after a surviving CR", 76, "abcd\r%%%%efgh\r\n", "abcd\r\nAAAefgh\r\n"},
        {"line length learnt elsewhere", 72, b72.substr(0, 71) + "%%%%" + "cd\r\n",
         b72.substr(0, 71) + "A\r\nAcd\r\n"},
        {"line length guessed from the run", 0, b72 + "%%%%" + b72 + "\r\n",
         b72 + "\r\nAA" + b72 + "\r\n"},
        {"a run opening a line too long for the body: the break before it", 8, "%%%cdefgh\r\n",
         "\nAAcdefgh\r\n"},
        {"after padding only padding and the line break", 76, "AQIDBA=%%%%\n\r\n",
         "AQIDBA==\r\n\r\n\r\n"},
        {"CR CR LF lines: both CRs before a surviving LF", 76, "abcd%%%%\nefgh\r\r\n",
         "abcdAA\r\r\nefgh\r\r\n", 2},
        {"CR CR LF lines: the second CR and the LF after a surviving CR", 76,
         "abcd\r%%%%efgh\r\r\n", "abcd\r\r\nAAefgh\r\r\n", 2},
    };
    for (const Case& c : cases) {
        Base64Body body;
        body.lineLength = c.lineLength;
        body.crsBeforeLf = c.crsBeforeLf;
        Bytes line = lost(c.damaged);
        fillBase64Line(body, line);
        EXPECT_EQ(line, c.filled) << c.name;
    }
}

TEST(FillBase64Line, AtTheBodysEndPadsTheLastGroupAndBreaksTheLine) {
    const std::vector<std::pair<std::string, std::string>> cases = {
        {"AQIDBA%%%%", "AQIDBA==\r\n"}, // the delimiter's CR LF follows
        {"AQIDBAU%%%", "AQIDBAU=\r\n"},
        {"AQID%%%%", "AQID\r\n\r\n"},
        {"AQIDB%%%", "AQIDBA=="}, // a group needs two characters before its padding
    };
    for (const auto& [damaged, filled] : cases) {
        Base64Body body;
        body.lineLength = 76;
        Bytes line = lost(damaged);
        const auto made = fillBase64Line(body, line, true);
        EXPECT_EQ(line, filled) << damaged;
        for (const std::size_t at : made) {
            EXPECT_NE(platform::base64DigitValue(byteAt(line, at)), -1) << damaged;
        }
    }
}

// Binary bodies of many sizes lose four bytes at the start of every
// 512-byte piece; filled line by line as the pipeline does, every lost
// byte that was a line break is one again, and every decoded byte whose
// characters survived is the original byte.
TEST(FillBase64Line, EverySurvivingCharacterDecodesToItsOwnBytes) {
    std::mt19937 random(11);
    for (int round = 0; round < 200; ++round) {
        Bytes data(std::uniform_int_distribution<std::size_t>(1, 4000)(random), '\0');
        for (char& c : data) {
            c = toByte(std::uniform_int_distribution<unsigned>(0, 255)(random));
        }
        // Some writers end their lines CR CR LF.
        const Bytes text = testing::base64Lines(data, 76, round % 3 == 2 ? "\r\r\n" : "\r\n");
        Bytes damaged = text;
        std::vector<bool> lostAt(text.size(), false);
        // Not in the last line, whose end no line length tells.
        const std::size_t stop = text.size() > 80 ? text.size() - 80 : 0;
        for (std::size_t at = std::uniform_int_distribution<std::size_t>(0, 511)(random);
             at + 4 <= stop; at += 512) {
            for (std::size_t k = 0; k < 4; ++k) {
                damaged[at + k] = '\0';
                lostAt[at + k] = true;
            }
        }
        Base64Body body;
        Bytes repaired;
        for (Bytes line : readLines(damaged)) {
            if (line.find('\0') != Bytes::npos) {
                fillBase64Line(body, line);
            } else {
                noteBase64Line(body, line);
            }
            repaired += line;
        }
        ASSERT_EQ(repaired.size(), text.size());
        std::vector<std::size_t> characters; // positions of the base64 characters
        for (std::size_t i = 0; i < text.size(); ++i) {
            const bool isBreak = text[i] == '\r' || text[i] == '\n';
            ASSERT_EQ(repaired[i] == '\r' || repaired[i] == '\n', isBreak) << "round " << round;
            if (!isBreak) {
                characters.push_back(i);
            }
        }
        for (std::size_t n = 0; n < data.size(); ++n) {
            const std::size_t first = characters[n / 3 * 4 + n % 3];
            const std::size_t second = characters[n / 3 * 4 + n % 3 + 1];
            if (lostAt[first] || lostAt[second]) {
                continue;
            }
            const unsigned high =
                static_cast<unsigned>(platform::base64DigitValue(byteAt(repaired, first)));
            const unsigned low =
                static_cast<unsigned>(platform::base64DigitValue(byteAt(repaired, second)));
            const unsigned value =
                ((high << (2 + 2 * (n % 3))) | (low >> (4 - 2 * (n % 3)))) & 0xFF;
            ASSERT_EQ(value, byteAt(data, n)) << "round " << round << ", byte " << n;
        }
    }
}

TEST(RepairBase64TextBody, LostTextBecomesReplacementCharactersInPlace) {
    struct Case {
        const char* name;
        Charset charset;
        Bytes text;         // decoded, intact
        std::size_t at;     // where four characters of its base64 are lost
        Bytes repairedText; // decoded after the repair
    };
    const Bytes jis = "\x1b$B$3$s$K$A$O$3$s$K$A$O\x1b(B\r\n"; // こんにちはこんにちは
    const Bytes sjis = "\x82\xb1\x82\xf1\x82\xc9\x82\xbf\x82\xcd\r\n";
    const std::vector<Case> cases = {
        // Bytes 6 to 8 lost: the cut character and the next two go.
        {"kanji mode: full-width characters", Charset::Iso2022Jp, jis, 8,
         "\x1b$B$3\"#\"#\"#$O$3$s$K$A$O\x1b(B\r\n"},
        // Bytes 3 to 5 lost: the lead byte before them goes too.
        {"Shift_JIS: half-width characters", Charset::ShiftJis, sjis, 4,
         "\x82\xb1****\x82\xbf\x82\xcd\r\n"},
    };
    for (const Case& c : cases) {
        std::vector<Bytes> lines = {testing::base64Lines(c.text)};
        lines[0].replace(c.at, 4, 4, '\0');
        repairBase64TextBody(lines, false, textRepairerFor(c.charset), RepairOptions{});
        ASSERT_EQ(lines[0].size(), testing::base64Lines(c.text).size()) << c.name;
        EXPECT_EQ(lines[0], testing::base64Lines(c.repairedText)) << c.name;
    }
}

// A character put in where a blank of the text stood would move every
// byte decoded after it; the lost bytes are left for blanks.
TEST(RepairBase64TextBody, TextThatIsNotBase64IsLeftAlone) {
    std::vector<Bytes> lines = {"not base64: \x1b$B$3\r\n", lost("ab%%%%cd\r\n")};
    repairBase64TextBody(lines, false, textRepairerFor(Charset::Iso2022Jp), RepairOptions{});
    EXPECT_EQ(lines[0], "not base64: \x1b$B$3\r\n");
    EXPECT_EQ(lines[1], lost("ab%%%%cd\r\n"));
    Base64Body body;
    noteBase64Line(body, "plain words under a base64 label\r\n");
    Bytes line = lost("more%%%%words\r\n");
    EXPECT_TRUE(fillBase64Line(body, line).empty());
    EXPECT_EQ(line, lost("more%%%%words\r\n"));
}

} // namespace
} // namespace keldor::repair
