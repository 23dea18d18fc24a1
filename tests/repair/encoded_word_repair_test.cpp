#include "repair/encoded_word_repair.h"

#include "repair/base64_word_repair.h"
#include "repair/japanese_text_repair.h"
#include "tests/repair/encoded_word_testing.h"

#include <gtest/gtest.h>

#include <random>

namespace keldor::repair {
namespace {

using testing::decodeFirstWord;
using testing::encodedWord;
using testing::lostOnlyAsReplacements;
using testing::utf32;

const std::string kSubject = "日本語の件名"; // 18 bytes in ISO-2022-JP: 24 base64 characters

std::string upper(std::string text) {
    for (char& c : text) {
        c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    }
    return text;
}

Bytes damaged(Bytes line, std::size_t at, std::size_t count) {
    line.replace(at, count, count, '\0');
    return line;
}

Bytes repaired(Bytes line) {
    const std::size_t size = line.size();
    (void)repairEncodedWord(line, RepairOptions{});
    EXPECT_EQ(line.size(), size);
    return line;
}

// Words of each Japanese character set, base64 and quoted-printable, whose
// text ends where the word's "?=" begins.
struct Word {
    std::string charset;
    std::string text; // with its "?=", as it follows the "?B?" or "?Q?"
    char encoding;
};

std::vector<Word> sampleWords() {
    std::vector<Word> words;
    for (const char* charset : {"iso-2022-jp", "shift_jis", "euc-jp"}) {
        const std::string word = encodedWord(charset, kSubject);
        words.push_back({charset, word.substr(word.find("?B?") + 3), 'B'});
    }
    words.push_back({"iso-2022-jp", "=1B$B$3$s=1B(B?=", 'Q'});
    words.push_back({"shift_jis", "=82=A0=82=A2?=", 'Q'});
    words.push_back({"euc-jp", "abc=A4=A2=A4=A4?=", 'Q'});
    return words;
}

TEST(EncodedWordRepair, EveryRunInTheWordStartIsRebuiltExactly) {
    // Runs of one to four lost bytes anywhere from the "=" of "=?" up to the
    // "?" before the text: a lost "=?" with the start of the name, lost
    // leading letters, lost bytes further in the name, a lost encoding letter.
    for (const Word& w : sampleWords()) {
        for (const bool upperCase : {false, true}) {
            const std::string charset = upperCase ? upper(w.charset) : w.charset;
            const std::string prefix = "=?" + charset + "?" + w.encoding + "?";
            const Bytes line = "Subject: " + prefix + w.text + "\r\n";
            for (std::size_t length = 1; length <= 4; ++length) {
                for (std::size_t at = 9; at + length <= 9 + prefix.size(); ++at) {
                    EXPECT_EQ(repaired(damaged(line, at, length)), line)
                        << line << " lost " << length << " at " << at;
                }
            }
        }
    }
}

TEST(EncodedWordRepair, LostEncodingLetterIsDecided) {
    const std::string prefix = "Subject: =?iso-2022-jp?";
    // 24 characters with an "=" well before the end: quoted-printable.
    EXPECT_EQ(repaired(damaged(prefix + "B?abcd=1B$B$3$s$K$A$O=1B(B?=\r\n", 23, 1)),
              prefix + "Q?abcd=1B$B$3$s$K$A$O=1B(B?=\r\n");
    // 23 characters: not base64.
    EXPECT_EQ(repaired(damaged(prefix + "B?abcd=1B$B$3$s$K$A$O=1B(?=\r\n", 23, 1)),
              prefix + "Q?abcd=1B$B$3$s$K$A$O=1B(?=\r\n");
    // Whole groups with padding only at the end: base64, and the text goes
    // to the base64 repair, which fills what the run took from it.
    const Bytes word = "Subject: " + encodedWord("iso-2022-jp", kSubject) + "\r\n";
    const Bytes fixedLine = repaired(damaged(word, 22, 4)); // "?B?" and the first text character
    EXPECT_EQ(fixedLine.substr(0, 25), word.substr(0, 25));
    const std::optional<std::string> text = decodeFirstWord(fixedLine);
    ASSERT_TRUE(text);
    EXPECT_TRUE(lostOnlyAsReplacements(utf32(kSubject), utf32(*text), 2)) << *text;
}

TEST(EncodedWordRepair, WordEndIsRebuilt) {
    struct Case {
        const char* name;
        Bytes line;
        std::size_t at;
        Bytes expected;
    };
    const std::string jis = encodedWord("iso-2022-jp", kSubject);
    const std::string sjis = encodedWord("shift_jis", kSubject);
    const Case cases[] = {
        {"base64 run right after a whole group", "S: " + jis + " (re)\r\n", 3 + jis.size() - 2,
         "S: " + jis + std::string(2, '\0') + "re)\r\n"},
        {"only the = lost", "S: " + jis + " (re)\r\n", 3 + jis.size() - 1,
         "S: " + jis + std::string(3, '\0') + "e)\r\n"},
        // The run took the last two text characters and the "?=": the text
        // is closed on a whole group counted from its own start.
        {"shift_jis text closed on a whole group", "S: " + sjis + "  x\r\n", 3 + sjis.size() - 4,
         ""},
        {"escape cut after its =", "S: =?iso-2022-jp?Q?abc=41?= x\r\n", 23,
         "S: =?iso-2022-jp?Q?abc=2A?= x\r\n"},
        {"escape cut after its first digit", "S: =?iso-2022-jp?Q?abc=41?= x\r\n", 24,
         "S: =?iso-2022-jp?Q?abc=2A?=" + std::string(1, '\0') + "x\r\n"},
        {"no escape cut", "S: =?euc-jp?Q?abc=41de?= x\r\n", 21,
         "S: =?euc-jp?Q?abc=41d?=" + std::string(2, '\0') + "x\r\n"},
    };
    for (const Case& c : cases) {
        const Bytes fixedLine = repaired(damaged(c.line, c.at, 4));
        if (!c.expected.empty()) {
            EXPECT_EQ(fixedLine, c.expected) << c.name;
            continue;
        }
        EXPECT_EQ(fixedLine.substr(3 + sjis.size() - 2, 2), "?=") << c.name;
        const std::optional<std::string> text = decodeFirstWord(fixedLine);
        ASSERT_TRUE(text) << c.name;
        EXPECT_TRUE(lostOnlyAsReplacements(utf32(kSubject), utf32(*text), 2)) << *text;
    }
}

TEST(EncodedWordRepair, LinesLeftAlone) {
    const std::string jis = encodedWord("iso-2022-jp", kSubject);
    const Bytes unchanged[] = {
        "Subject: " + jis + "\r\n",                    // nothing lost
        damaged("Subject: Re: " + jis + "\r\n", 3, 4), // lost before the word
        damaged("Subject: " + jis + " and more text\r\n", 9 + jis.size() + 5, 4),     // after it
        damaged("Subject: " + jis + "  then " + jis + "\r\n", 9 + jis.size() + 2, 4), // between
        damaged("Subject: =?utf-8?B?5pel5pys6Kqe?=\r\n", 20, 4), // not a Japanese charset
        damaged("Subject: no word at all\r\n", 12, 4),
        Bytes(6, '\0'),
    };
    for (const Bytes& line : unchanged) {
        EXPECT_EQ(repaired(line), line);
    }
}

TEST(EncodedWordRepair, RunInTheWordAfterAWordWithoutEndRepairsThatWord) {
    const std::string jis = encodedWord("iso-2022-jp", kSubject);
    const Bytes first = "S: =?iso-2022-jp?B?GyRCRnxLXDhsGyhC "; // never closed
    const Bytes line = damaged(first + jis + "\r\n", first.size() + 20, 4);
    const Bytes fixedLine = repaired(line);
    EXPECT_EQ(fixedLine.substr(0, first.size()), first);
    EXPECT_EQ(fixedLine.find('\0'), Bytes::npos);
    const std::optional<std::string> text = decodeFirstWord(fixedLine.substr(first.size()));
    ASSERT_TRUE(text);
    EXPECT_TRUE(lostOnlyAsReplacements(utf32(kSubject), utf32(*text), 3)) << *text;
}

std::u32string byteString(std::string_view bytes) {
    std::u32string out;
    for (const char c : bytes) {
        out += static_cast<char32_t>(static_cast<unsigned char>(c));
    }
    return out;
}

// Every run of four lost bytes from the header name to the end of the word
// and a little beyond: the word is whole again, and decodes to the subject
// with at most a few characters given as replacement characters. Shift_JIS
// cannot always tell a trail byte after the run from a character of its
// own, so there the check is on the decoded bytes: lost ones became "*",
// the others are as they were.
TEST(EncodedWordRepair, RoundTripForEveryRunPosition) {
    for (const char* charset : {"iso-2022-jp", "shift_jis", "euc-jp"}) {
        for (const std::string& subject : {kSubject, std::string("お知らせ ABC 会議")}) {
            const Bytes line = "Subject: " + encodedWord(charset, subject) + " (re)\r\n";
            const std::string subjectBytes =
                testing::convert(subject, "UTF-8", testing::iconvName(charset)).value();
            for (std::size_t at = 0; at + 4 <= line.size() - 2; ++at) {
                const Bytes fixedLine = repaired(damaged(line, at, 4));
                const auto word = testing::decodeFirstWordBytes(fixedLine);
                ASSERT_TRUE(word) << charset << " lost at " << at << ": " << fixedLine;
                if (word->charset == "shift_jis") {
                    EXPECT_TRUE(lostOnlyAsReplacements(byteString(subjectBytes),
                                                       byteString(word->bytes), 6))
                        << " lost at " << at << ": " << fixedLine;
                    continue;
                }
                const std::optional<std::string> text = decodeFirstWord(fixedLine);
                ASSERT_TRUE(text) << charset << " lost at " << at << ": " << fixedLine;
                EXPECT_TRUE(lostOnlyAsReplacements(utf32(subject), utf32(*text), 4))
                    << charset << " lost at " << at << ": " << *text;
            }
        }
    }
}

// Random damage to real-looking lines, and random bytes: no repair changes
// the size of a line or reaches outside it (the sanitizer build checks the
// latter).
TEST(RepairFuzz, RandomDamageNeverChangesSizeOrCrashes) {
    std::mt19937 random(20261207);
    const auto pick = [&](std::size_t n) {
        return std::uniform_int_distribution<std::size_t>(0, n - 1)(random);
    };
    std::vector<Bytes> lines;
    for (const Word& w : sampleWords()) {
        lines.push_back("Subject: =?" + w.charset + "?" + w.encoding + "?" + w.text + " (re)\r\n");
        lines.push_back("From: =?" + upper(w.charset) + "?" + w.encoding + "?" + w.text + "\r\n");
    }
    lines.push_back("\x1b$B"
                    "F|K\\8l$N7oL>"
                    "\x1b(B abc \x1b$B$G$9"
                    "\x1b(B\r\n");
    lines.push_back("\x82\xa0\x82\xa2 abc \x93\xfa\x96\x7b\r\n");
    lines.push_back("\xa4\xa2\xa4\xa4 abc \xc6\xfc\xcb\xdc\r\n");

    for (int round = 0; round < 20000; ++round) {
        Bytes line;
        if (round % 4 == 0) {
            line.resize(pick(40));
            for (char& c : line) {
                c = toByte(static_cast<unsigned>(pick(4) == 0 ? 0 : pick(256)));
            }
        } else {
            line = lines[pick(lines.size())];
            line.resize(line.size() - pick(std::min<std::size_t>(line.size(), 8)));
            for (std::size_t runs = 1 + pick(2); runs > 0 && !line.empty(); --runs) {
                const std::size_t at = pick(line.size());
                const std::size_t count = std::min(line.size() - at, 1 + pick(4));
                line.replace(at, count, count, '\0');
            }
        }
        for (const auto repair :
             {repairEncodedWord, repairJisLine, repairSjisLine, repairEucLine}) {
            Bytes copy = line;
            (void)repair(copy, RepairOptions{});
            ASSERT_EQ(copy.size(), line.size()) << round;
        }
        for (const auto repair : {repairBase64Jis, repairBase64Sjis, repairBase64Euc}) {
            Bytes copy = line;
            (void)repair(copy, pick(line.size() + 2), pick(line.size() + 2), RepairOptions{});
            ASSERT_EQ(copy.size(), line.size()) << round;
        }
    }
}

} // namespace
} // namespace keldor::repair
