#include "repair/quoted_printable_repair.h"

#include "charset/japanese_text.h"
#include "charset/transfer_decoding.h"
#include "platform/text.h"
#include "tests/repair/encoded_word_testing.h"
#include "tests/support/repair_lines.h"

#include <gtest/gtest.h>

#include <random>

namespace keldor::repair {
namespace {

using keldor::testing::lost;
using keldor::testing::readLines;

// Sentences in each charset, as mail writes them.
const std::vector<Bytes> kJis = {
    "\033$B$$$D$b$*@$OC$K$J$C$F$*$j$^$9!#\033(B",
    "\033$B@hF|$N2q5D$N5D;vO\077$rE:IU$$$\077$7$^$9!#\033(B",
    "\033$B==Fs7n==6eF|!J6b!K8a8e<7;~$+$i!\0421XA0$N!V$5$/$iDb!W$G9T$$$^$9!#\033(B",
    "\033$B2A3J$O@G9~$_$G!o#1#2!$#8#0#0$G$9!#\033(B",
    "\033$B%U%!%$%k$,3+$1$J$$>l9g$O$*CN$i$;$/$@$5$$!#\033(B",
};
const std::vector<Bytes> kSjis = {
    "\202\242\202\302\202\340\202\250\220\242\230b\202\311\202\310\202\301\202\304\202\250\202\350"
    "\202\334\202\267\201B",
    "\220\346\223\372\202\314\211\357\213c\202\314\213c\216\226\230^"
    "\202\360\223Y\225t\202\242\202\275\202\265\202\334\202\267\201B",
    "\217\134\223\361\214\216\217\134\213\343\223\372\201i\213\340\201j\214\337\214\343\216\265\216"
    "\236\202\251\202\347\201A\211w\221O\202\314\201u\202\263\202\255\202\347\222\340\201v\202\305"
    "\215s\202\242\202\334\202\267\201B",
    "\211\277\212i\202\315\220\305\215\236\202\335\202\305\201\217\202P\202Q\201C\202W\202O\202O"
    "\202\305\202\267\201B",
    "\203t\203@"
    "\203C\203\213\202\252\212J\202\257\202\310\202\242\217\352\215\207\202\315\202\250\222m\202"
    "\347\202\271\202\255\202\276\202\263\202\242\201B",
};
const std::vector<Bytes> kEuc = {
    "\244\244\244\304\244\342\244\252\300\244\317\303\244\313\244\312\244\303\244\306\244\252\244"
    "\352\244\336\244\271\241\243",
    "\300\350\306\374\244\316\262\361\265\304\244\316\265\304\273\366\317\277\244\362\305\272\311"
    "\325\244\244\244\277\244\267\244\336\244\271\241\243",
    "\275\275\306\363\267\356\275\275\266\345\306\374\241\312\266\342\241\313\270\341\270\345\274"
    "\267\273\376\244\253\244\351\241\242\261\330\301\260\244\316\241\326\244\265\244\257\244\351"
    "\304\342\241\327\244\307\271\324\244\244\244\336\244\271\241\243",
    "\262\301\263\312\244\317\300\307\271\376\244\337\244\307\241\357\243\261\243\262\241\244\243"
    "\270\243\260\243\260\244\307\244\271\241\243",
    "\245\325\245\241\245\244\245\353\244\254\263\253\244\261\244\312\244\244\276\354\271\347\244"
    "\317\244\252\303\316\244\351\244\273\244\257\244\300\244\265\244\244\241\243",
};

// The decoded body read in its charset, nullopt when it does not read
// cleanly (the readers give U+30FB for what they cannot read).
std::optional<Text> readBody(ByteView encoded, Charset charset) {
    const Bytes decoded = charset::decodeQuotedPrintable(platform::asciiText(encoded));
    std::optional<Text> text;
    if (charset == Charset::Iso2022Jp) {
        text = charset::jisToText(decoded);
    } else if (charset == Charset::ShiftJis) {
        text = charset::sjisToText(decoded);
    } else {
        text = charset::eucToText(decoded);
    }
    if (!text || text->find(u'\u30FB') != Text::npos) {
        return std::nullopt;
    }
    return text;
}

// HTML mail in each charset loses four bytes at the start of every 512-byte
// piece: repaired on its decoded text, it still reads cleanly, keeps its
// size and every byte away from the lost ones.
TEST(QuotedPrintableTextBody, DamagedJapaneseTextStillReadsCleanly) {
    std::mt19937 random(5);
    struct Sample {
        Charset charset;
        const char* name;
        const std::vector<Bytes>* sentences;
    };
    const std::vector<Sample> samples = {{Charset::Iso2022Jp, "ISO-2022-JP", &kJis},
                                         {Charset::ShiftJis, "Shift_JIS", &kSjis},
                                         {Charset::EucJp, "EUC-JP", &kEuc}};
    for (const auto& [charset, name, sentences] : samples) {
        for (int round = 0; round < 60; ++round) {
            Bytes html = "<HTML><BODY bgColor=#ffffff>\r\n";
            const int count = std::uniform_int_distribution<int>(1, 12)(random);
            for (int i = 0; i < count; ++i) {
                const Bytes& sentence = (*sentences)[std::uniform_int_distribution<std::size_t>(
                    0, sentences->size() - 1)(random)];
                html += "<DIV><FONT size=2>" + sentence + sentence + "</FONT></DIV>\r\n";
            }
            html += "</BODY></HTML>\r\n";
            const Bytes encoded = repair::testing::quotedPrintable(html, true);
            ASSERT_TRUE(readBody(encoded, charset)) << "the test's own text";
            Bytes damaged = encoded;
            std::vector<bool> lostAt(encoded.size(), false);
            for (std::size_t at = std::uniform_int_distribution<std::size_t>(0, 511)(random);
                 at + 4 <= encoded.size(); at += 512) {
                for (std::size_t k = 0; k < 4; ++k) {
                    damaged[at + k] = '\0';
                    lostAt[at + k] = true;
                }
            }
            std::vector<Bytes> lines = readLines(damaged);
            repairQuotedPrintableTextBody(lines, charset, RepairOptions{});
            Bytes repaired;
            for (const Bytes& line : lines) {
                repaired += line;
            }
            const std::string trace = std::string(name) + " round " + std::to_string(round);
            ASSERT_EQ(repaired.size(), encoded.size()) << trace;
            ASSERT_EQ(repaired.find('\0'), Bytes::npos) << trace;
            EXPECT_TRUE(readBody(repaired, charset)) << trace;
            // A repair reaches the escapes and characters that a run cut.
            constexpr std::size_t kReach = 12;
            for (std::size_t i = 0; i < encoded.size(); ++i) {
                bool near = false;
                for (std::size_t k = i > kReach ? i - kReach : 0;
                     k < std::min(encoded.size(), i + kReach + 1) && !near; ++k) {
                    near = lostAt[k];
                }
                ASSERT_TRUE(near || repaired[i] == encoded[i]) << trace << ", byte " << i;
            }
        }
    }
}

TEST(QuotedPrintableTextBody, RewritesWhatARunCutInQuotedPrintableForm) {
    struct Case {
        const char* name;
        Charset charset;
        std::string damaged;
        std::string repaired;
    };
    const std::vector<Case> cases = {
        {"kanji: full-width characters", Charset::Iso2022Jp, "=1B$B$3$s%%%%$O=1B(B\r\n",
         "=1B$B$3$s\"#\"#$O=1B(B\r\n"},
        {"the escape back to single-byte text: a replacement character gives way",
         Charset::Iso2022Jp, "=1B$B$3$s$K$A!#%%%%B</DIV>\r\n", "=1B$B$3$s$K$A!#=1B(B</DIV>\r\n"},
        {"the \"=\" of a surviving escape", Charset::ShiftJis, "=82=A0%%%%A2=82=A4\r\n",
         "=82=A0***=A2=82=A4\r\n"},
        {"Shift_JIS: the cut character's lead goes too", Charset::ShiftJis,
         "=82=A0=82%%%%82=A4\r\n", "=82=A0=2A***=82=A4\r\n"},
        {"a soft line break and the escape after it", Charset::EucJp,
         "<P>=A4=A2=A4=A4=A4=A6=A4=A8=A4=AA=A4=A2=A4=A4=A4=A6=A4=A8=A4=AA=A4=A2=A4=A4%%%%A4=A8</"
         "P>\r\n",
         "<P>=A4=A2=A4=A4=A4=A6=A4=A8=A4=AA=A4=A2=A4=A4=A4=A6=A4=A8=A4=AA=A4=A2=A4=A4=\r\n=A4=A8</"
         "P>\r\n"},
    };
    for (const Case& c : cases) {
        std::vector<Bytes> lines = readLines(lost(c.damaged));
        repairQuotedPrintableTextBody(lines, c.charset, RepairOptions{});
        Bytes repaired;
        for (const Bytes& line : lines) {
            repaired += line;
        }
        EXPECT_EQ(repaired, c.repaired) << c.name;
    }
}

} // namespace
} // namespace keldor::repair
