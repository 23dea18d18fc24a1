#include "repair/repair_pipeline.h"

#include "engine/recovery_run.h"
#include "engine/run_flags.h"
#include "platform/text.h"
#include "repair/header_names.h"
#include "tests/support/mailbox_writer.h"
#include "tests/support/repair_reach.h"
#include "tests/support/test_support.h"

#include "tests/support/repair_lines.h"

#include <gtest/gtest.h>

#include <random>

namespace keldor::repair {
namespace {

using testing::raw;

using testing::TempDir;

constexpr std::string_view kBoundary = "----=_NextPart_000_0001_01C6A0B6.5C4E5A70";
const Bytes kDelimiter = "--" + Bytes(kBoundary);
const Bytes kJisLine = "\x1b$B$3$s$K$A$O\x1b(B\r\n";

using testing::changeFarFromLoss;

class RepairPipeline : public ::testing::Test {
protected:
    // The file's bytes after the repair.
    Bytes repaired(ByteView damaged) {
        const auto file = dir.path() / "Recover1.eml";
        testing::writeFile(file, damaged);
        repairMessageFile(file, repair::RepairOptions{}, view);
        Bytes result = testing::readFile(file);
        EXPECT_EQ(result.size(), damaged.size()) << "the repair changed the file's size";
        EXPECT_EQ(result.find('\0'), Bytes::npos) << "a lost byte was left";
        return result;
    }

    TempDir dir;
    testing::RecordingView view;
};

struct Golden {
    const char* name;
    Bytes damaged;
    Bytes expected;
};

const Bytes kAlternativeHead = "From: a@example.jp\r\n"
                               "Subject: test\r\n"
                               "MIME-Version: 1.0\r\n"
                               "Content-Type: multipart/alternative;\r\n"
                               "\tboundary=\"" +
                               Bytes(kBoundary) +
                               "\"\r\n"
                               "\r\n"
                               "This is a multi-part message in MIME format.\r\n"
                               "\r\n";

TEST_F(RepairPipeline, RepairsDamagedMessagesToTheExactBytes) {
    const std::vector<Golden> cases = {
        {"header name",
         "From: a@example.jp\r\n" + raw("\0\0\0\0ect: abc\r\n") + "Date: x\r\n\r\nbody\r\n",
         "From: a@example.jp\r\nSubject: abc\r\nDate: x\r\n\r\nbody\r\n"},
        {"line break and name inside a header line",
         "X-Priority: 3" + raw("\0\0\0\0") +
             "ntent-Type: text/plain;\r\n\tcharset=\"us-ascii\"\r\n\r\nbody\r\n",
         "X-Priority: 3\r\nContent-Type: text/plain;\r\n\tcharset=\"us-ascii\"\r\n\r\nbody\r\n"},
        {"line break and tab before boundary",
         "Subject: s\r\nContent-Type: multipart/mixed;" + raw("\0\0\0") + "boundary=\"" +
             Bytes(kBoundary) + "\"\r\n\r\n" + kDelimiter + "\r\n" +
             raw("\0\0\0\0ent-Type: text/html;\r\n") + "\r\n<p>x</p>\r\n" + kDelimiter + "--\r\n",
         "Subject: s\r\nContent-Type: multipart/mixed;\r\n\tboundary=\"" + Bytes(kBoundary) +
             "\"\r\n\r\n" + kDelimiter + "\r\nContent-Type: text/html;\r\n\r\n<p>x</p>\r\n" +
             kDelimiter + "--\r\n"},
        {"delimiter whose dashes were lost",
         kAlternativeHead + raw("\0\0\0\0") + kDelimiter.substr(4) + "\r\n" +
             "Content-Type: text/html;\r\n\r\n<p>x</p>\r\n" + kDelimiter.substr(0, 10) +
             raw("\0\0\0\0") + kDelimiter.substr(14) + "--\r\n",
         kAlternativeHead + kDelimiter + "\r\nContent-Type: text/html;\r\n\r\n<p>x</p>\r\n" +
             kDelimiter + "--\r\n"},
        {"header line learns lost boundary bytes from a later delimiter",
         "Content-Type: multipart/alternative;\r\n\tboundary=\"" + Bytes(kBoundary.substr(0, 20)) +
             raw("\0\0\0\0") + Bytes(kBoundary.substr(24)) + "\"\r\n\r\n" + kDelimiter +
             "\r\nContent-Type: text/html;\r\n\r\n<p>x</p>\r\n" + kDelimiter + "--\r\n",
         "Content-Type: multipart/alternative;\r\n\tboundary=\"" + Bytes(kBoundary) + "\"\r\n\r\n" +
             kDelimiter + "\r\nContent-Type: text/html;\r\n\r\n<p>x</p>\r\n" + kDelimiter +
             "--\r\n"},
        {"charset value lost",
         "Content-Type: text/plain;\r\n" + raw("\tcharset=\0\0\0\0\0\0\0\0\0\0\0\0\0\r\n") +
             "\r\n" + kJisLine,
         "Content-Type: text/plain;\r\n\tcharset=\"iso-2022-jp\"\r\n\r\n" + kJisLine},
        {"charset name lost",
         "Content-Type: text/plain;\r\n" + raw("\t\0\0\0\0set=\"shift_jis\"\r\n") + "\r\nbody\r\n",
         "Content-Type: text/plain;\r\n\tcharset=\"shift_jis\"\r\n\r\nbody\r\n"},
        {"html body in another charset: lost bytes become blanks",
         kAlternativeHead + kDelimiter +
             "\r\nContent-Type: text/html;\r\n\tcharset=\"us-ascii\"\r\n"
             "Content-Transfer-Encoding: quoted-printable\r\n\r\n" +
             raw("\0\0\0\0ect: x\r\n") + kDelimiter + "--\r\n",
         kAlternativeHead + kDelimiter +
             "\r\nContent-Type: text/html;\r\n\tcharset=\"us-ascii\"\r\n"
             "Content-Transfer-Encoding: quoted-printable\r\n\r\n    ect: x\r\n" +
             kDelimiter + "--\r\n"},
        {"base64 body: a lost character keeps the place of the others",
         kAlternativeHead + kDelimiter +
             "\r\nContent-Type: image/gif\r\nContent-Transfer-Encoding: base64\r\n\r\n" +
             raw("\0\0\0\0OD\r\n") + kDelimiter + "--\r\n",
         kAlternativeHead + kDelimiter +
             "\r\nContent-Type: image/gif\r\nContent-Transfer-Encoding: base64\r\n\r\nAAAAOD"
             "\r\n" +
             kDelimiter + "--\r\n"},
        {"no content type: the body gets the header repairs",
         "From: a\r\n\r\n" + raw("\0\0\0\0ect: x\r\n"), "From: a\r\n\r\nSubject: x\r\n"},
        {"quoted-printable text part in another charset stays under the header repairs",
         kAlternativeHead + kDelimiter +
             "\r\nContent-Type: text/plain;\r\n\tcharset=\"us-ascii\"\r\n"
             "Content-Transfer-Encoding: quoted-printable\r\n\r\n" +
             raw("\0\0\0\0ect: x\r\n") + kDelimiter + "--\r\n",
         kAlternativeHead + kDelimiter +
             "\r\nContent-Type: text/plain;\r\n\tcharset=\"us-ascii\"\r\n"
             "Content-Transfer-Encoding: quoted-printable\r\n\r\nSubject: x\r\n" +
             kDelimiter + "--\r\n"},
        {"a delimiter ends a text body; the next part header is repaired",
         kAlternativeHead + kDelimiter +
             "\r\nContent-Type: text/plain; charset=\"iso-2022-jp\"\r\n\r\n" + kJisLine +
             raw("\0\0\0\0") + kDelimiter.substr(4) + "\r\n" +
             raw("\0\0\0\0ent-Type: text/html;\r\n") + "\r\n<p>x</p>\r\n" + kDelimiter + "--\r\n",
         kAlternativeHead + kDelimiter +
             "\r\nContent-Type: text/plain; charset=\"iso-2022-jp\"\r\n\r\n" + kJisLine +
             kDelimiter + "\r\nContent-Type: text/html;\r\n\r\n<p>x</p>\r\n" + kDelimiter +
             "--\r\n"},
        {"last line without CR LF", "Subject: s\r\n\r\nab" + raw("\0"), "Subject: s\r\n\r\nab "},
        {"last line of one lost byte", "Subject: s\r\n\r\n" + raw("\0"), "Subject: s\r\n\r\n "},
        {"nothing but lost bytes: the first name that fits, then blanks", Bytes(1500, '\0'),
         Bytes(HeaderNames[0]) + Bytes(1500 - HeaderNames[0].size(), ' ')},
    };
    for (const Golden& c : cases) {
        EXPECT_EQ(testing::firstDifference(repaired(c.damaged), c.expected), std::nullopt)
            << c.name;
    }
}

// Mail from senders who spell names in their own letter case, fold quoted
// parameters, or lose the bytes right after a field name.
TEST_F(RepairPipeline, RepairsHoldOnMailFromEverySender) {
    const Bytes partHead = kAlternativeHead + kDelimiter + "\r\nContent-Type: image/jpeg\r\n";
    const Bytes end = "\r\n" + kDelimiter + "--\r\n";
    const std::vector<Golden> cases = {
        {"a name in another letter case keeps the part base64",
         partHead + raw("Content-transfer-en\0\0\0\0ng: base64\r\n\r\n\0\0\0\0OD") + end,
         partHead + "Content-transfer-encoding: base64\r\n\r\nAAAAOD" + end},
        {"no header end inside a quoted file name on a continuation line",
         partHead +
             raw("Content-Transfer-Encoding: base64\r\nContent-Disposition: attachment;\r\n"
                 "\tfilename=\"PiusXIInaList\0\0\0\0ciePiotraRzymie1950rozdzielczosc\r\n"
                 "\twysoka.jpg\"\r\n\r\nR0lGOD") +
             end,
         partHead +
             "Content-Transfer-Encoding: base64\r\nContent-Disposition: attachment;\r\n"
             "\tfilename=\"PiusXIInaList    ciePiotraRzymie1950rozdzielczosc\r\n"
             "\twysoka.jpg\"\r\n\r\nR0lGOD" +
             end},
        {"no header end in a parameter list still open",
         partHead +
             raw("Content-Transfer-Encoding: base64\r\nContent-Disposition: attachment;\0\0\0\0"
                 "ZmlsZW5hbWU9ImEuanBnIg\r\n\r\nR0lGOD") +
             end,
         partHead +
             "Content-Transfer-Encoding: base64\r\nContent-Disposition: attachment;    "
             "ZmlsZW5hbWU9ImEuanBnIg\r\n\r\nR0lGOD" +
             end},
        {"the colon and blank after a known name, and the weekday",
         raw("From: a@example.jp\r\nDate\0\0\0\0u, 24 Jan 2008 12:00:00 +0900\r\n\r\nbody\r\n"),
         "From: a@example.jp\r\nDate: Thu, 24 Jan 2008 12:00:00 +0900\r\n\r\nbody\r\n"},
        {"the end of a known name and its colon",
         raw("From: a@example.jp\r\nDa\0\0\0\0Wed, 4 Dec 2008 10:00:00 +0900\r\n"
             "X-MA\0\0\0\0: Becky!\r\nRe\0\0\0\0ed: from x\r\nX-Sp\0\0\0\0: y\r\n\r\nbody\r\n"),
         "From: a@example.jp\r\nDate: Wed, 4 Dec 2008 10:00:00 +0900\r\n"
         "X-MAILER: Becky!\r\nReceived: from x\r\nX-Sp****: y\r\n\r\nbody\r\n"},
        {"a line of a broken header that is no field gets no colon",
         raw("From: a@example.jp\r\nX-Diag: 1;AM4\r\nP8FxVksOO2tmFW\0\0\0\0T0Acgv\r\n\r\nbody\r\n"),
         "From: a@example.jp\r\nX-Diag: 1;AM4\r\nP8FxVksOO2tmFW    T0Acgv\r\n\r\nbody\r\n"},
        {"the header of a message attached inside an attached message",
         raw("Content-Type: message/rfc822\r\n\r\nSubject: x\r\nContent-Type: message/rfc822\r\n\r\n"
             "Subject: y\r\nFro\0\0\0\0yan <r@example.jp>\r\n\r\nbody\r\n"),
         "Content-Type: message/rfc822\r\n\r\nSubject: x\r\nContent-Type: message/rfc822\r\n\r\n"
         "Subject: y\r\nFrom:  yan <r@example.jp>\r\n\r\nbody\r\n"},
        {"an mbox separator line gets no colon",
         raw("From\0\0\0\0nder@example.jp Mon Jan  1 00:00:00 2001\r\nSubject: x\r\n\r\nbody\r\n"),
         "From    nder@example.jp Mon Jan  1 00:00:00 2001\r\nSubject: x\r\n\r\nbody\r\n"},
        {"nor one whose name's end was lost",
         raw("Fr\0\0\0\0sender@example.jp Mon Jan  1 00:00:00 2001\r\nSubject: x\r\n\r\nbody\r\n"),
         "Fr    sender@example.jp Mon Jan  1 00:00:00 2001\r\nSubject: x\r\n\r\nbody\r\n"},
    };
    for (const Golden& c : cases) {
        EXPECT_EQ(testing::firstDifference(repaired(c.damaged), c.expected), std::nullopt)
            << c.name;
    }
}

// A transfer encoding field whose surviving bytes leave the encoding open
// is settled by its body's shape; a base64 label over other text is left
// unread, since that text reads better so.
TEST_F(RepairPipeline, BodyShapeSettlesATransferEncodingItsFieldLeavesOpen) {
    const Bytes image = kAlternativeHead + kDelimiter + "\r\nContent-Type: image/gif\r\n";
    const Bytes text =
        kAlternativeHead + kDelimiter + "\r\nContent-Type: text/plain; charset=\"us-ascii\"\r\n";
    const Bytes end = kDelimiter + "--\r\n";
    const Bytes valueLost = raw("Content-Transfer-Encoding: \0\0\0\0\0\0\0\0\0\0\0\0\0\0\0\0\r\n");
    const Bytes base64Lines = "R0lGODlhAQABAIAAAAAAAP//\r\n/yH5BAEAAAAALAAAAAABAAEA\r\n" +
                              raw("AAIB\0AA7R0lGODlhAQABAIAA\r\n") + "AAAAAP8=\r\n";
    const Bytes base64Filled = "R0lGODlhAQABAIAAAAAAAP//\r\n/yH5BAEAAAAALAAAAAABAAEA\r\n"
                               "AAIBAAA7R0lGODlhAQABAIAA\r\nAAAAAP8=\r\n";
    const Bytes qpLines = "Dear Hanako, the f=C3=A9te is=\r\n on Friday.=20\r\nTaro\r\n";
    const Bytes plainLines = "Dear Hanako, the party is\r\non Friday. Taro\r\n";
    const std::vector<Golden> cases = {
        {"value lost whole over base64 lines: base64",
         image + valueLost + "\r\n" + base64Lines + end,
         image + "Content-Transfer-Encoding: base64" + Bytes(10, ' ') + "\r\n\r\n" + base64Filled +
             end},
        {"value lost whole over =XX codes and soft line breaks: quoted-printable",
         text + valueLost + "\r\n" + qpLines + end,
         text + "Content-Transfer-Encoding: quoted-printable\r\n\r\n" + qpLines + end},
        {"value lost whole over other text: left unread",
         text + valueLost + "\r\n" + plainLines + end,
         text + "Content-Transfer-Encoding: " + Bytes(16, ' ') + "\r\n\r\n" + plainLines + end},
        {"a footer after the base64 lines leaves them base64",
         image + valueLost + "\r\n" + base64Lines + "-- \r\nthe list's footer\r\n" + end,
         image + "Content-Transfer-Encoding: base64" + Bytes(10, ' ') + "\r\n\r\n" + base64Filled +
             "-- \r\nthe list's footer\r\n" + end},
        {"base64 alone fits, over base64 lines: restored",
         image +
             raw("Content-Transfer-Encoding: \0\0\0\0"
                 "64\r\n\r\n") +
             base64Lines + end,
         image + "Content-Transfer-Encoding: base64\r\n\r\n" + base64Filled + end},
        {"base64 alone fits, over other text: its value left unread",
         text +
             raw("Content-Transfer-Encoding: \0\0\0\0"
                 "64\r\n\r\n") +
             plainLines + end,
         text + "Content-Transfer-Encoding:     64\r\n\r\n" + plainLines + end},
        {"a whole base64 value over other text: its name left unread",
         text + raw("Content-Transfer-En\0\0\0\0ng: base64\r\n\r\n") + plainLines + end,
         text + "Content-Transfer-En****ng: base64\r\n\r\n" + plainLines + end},
        {"the main header's label, over base64 lines",
         "Subject: s\r\nContent-Type: image/gif\r\n" + valueLost + "\r\n" + base64Lines,
         "Subject: s\r\nContent-Type: image/gif\r\nContent-Transfer-Encoding: base64" +
             Bytes(10, ' ') + "\r\n\r\n" + base64Filled},
    };
    for (const Golden& c : cases) {
        EXPECT_EQ(testing::firstDifference(repaired(c.damaged), c.expected), std::nullopt)
            << c.name;
    }
}

// In a text body the header repairs must not run: there a lost byte is
// Japanese text, whatever the text repairer makes of it.
TEST_F(RepairPipeline, TextBodiesOfEachCharsetGetNoHeaderRepairs) {
    for (const char* charset : {"iso-2022-jp", "shift_jis", "euc-jp"}) {
        for (const Bytes& head :
             {"Content-Type: text/plain;\r\n\tcharset=\"" + Bytes(charset) + "\"\r\n\r\n",
              kAlternativeHead + kDelimiter + "\r\nContent-Type: text/plain; charset=" + charset +
                  "\r\n\r\n"}) {
            const Bytes damagedLine = raw("\0\0\0\0ect: x\r\n");
            const Bytes result = repaired(head + damagedLine);
            EXPECT_EQ(result.substr(0, head.size()), head) << charset;
            EXPECT_NE(result.substr(head.size()), "Subject: x\r\n") << charset;
            EXPECT_EQ(result.substr(head.size() + 4), "ect: x\r\n") << charset;
        }
    }
}

TEST_F(RepairPipeline, UnknownCharsetKeepsTheHeaderRepairs) {
    EXPECT_EQ(
        repaired("Content-Type: text/plain; charset=utf-8\r\n\r\n" + raw("\0\0\0\0ect: x\r\n")),
        "Content-Type: text/plain; charset=utf-8\r\n\r\nSubject: x\r\n");
}

TEST_F(RepairPipeline, LinesLongerThanTheWindowAreRepairedAndSoIsTheRestOfTheFile) {
    const Bytes longLine = "X-Long: " + Bytes(100 * 1024, 'a');
    const Bytes damaged = "From: a\r\n" + longLine + raw("\0\0\0\0") +
                          "ntent-Type: text/plain;\r\n" + raw("\0\0\0\0ect: after\r\n") +
                          "\r\nbody\r\n";
    const Bytes expected = "From: a\r\n" + longLine + "\r\nContent-Type: text/plain;\r\n" +
                           "Subject: after\r\n\r\nbody\r\n";
    EXPECT_EQ(testing::firstDifference(repaired(damaged), expected), std::nullopt);
}

TEST_F(RepairPipeline, LetsTheWindowWorkAfterEveryLine) {
    repaired("a\r\nb\r\nc");
    EXPECT_EQ(view.eventCount, 3);
}

TEST_F(RepairPipeline, FileThatCannotBeOpenedIsLeftAlone) {
    repairMessageFile(dir.path() / "missing.eml", repair::RepairOptions{}, view);
    repairMessageFile(dir.path(), repair::RepairOptions{}, view);
    EXPECT_FALSE(std::filesystem::exists(dir.path() / "missing.eml"));
    EXPECT_EQ(view.eventCount, 0);
}

// Damage anywhere, in any amount: the file keeps its size and every byte
// away from the lost ones, and no lost byte is left.
TEST_F(RepairPipeline, RandomDamageChangesOnlyBytesNearLostOnes) {
    const std::vector<Bytes> pieces = {
        "Content-Type: multipart/mixed;\r\n",
        "\tboundary=\"" + Bytes(kBoundary) + "\"\r\n",
        kDelimiter + "\r\n",
        kDelimiter + "--\r\n",
        "Content-Type: text/plain;\r\n",
        "\tcharset=\"iso-2022-jp\"\r\n",
        "Content-Type: text/html; charset=shift_jis\r\n",
        "Content-Transfer-Encoding: base64\r\n",
        "Content-Transfer-Encoding: quoted-printable\r\n",
        "Subject: =?ISO-2022-JP?B?GyRCJDMkcxsoQg==?=\r\n",
        "\r\n",
        kJisLine,
        "\x82\xa0\x82\xa2\r\n",
        "\xa4\xa2\xa4\xa4\r\n",
        "text\r\n",
        "\r",
        "\n",
        "-",
        "=",
    };
    std::mt19937 random(7);
    for (int round = 0; round < 300; ++round) {
        Bytes message;
        const int count = std::uniform_int_distribution<int>(0, 40)(random);
        for (int i = 0; i < count; ++i) {
            message +=
                pieces[std::uniform_int_distribution<std::size_t>(0, pieces.size() - 1)(random)];
        }
        Bytes damaged = message;
        const int losses = std::uniform_int_distribution<int>(0, 12)(random);
        for (int i = 0; i < losses && !damaged.empty(); ++i) {
            const std::size_t at =
                std::uniform_int_distribution<std::size_t>(0, damaged.size() - 1)(random);
            for (std::size_t k = at; k < std::min(at + 4, damaged.size()); ++k) {
                damaged[k] = '\0';
            }
        }
        const Bytes result = repaired(damaged);
        ASSERT_EQ(result.size(), damaged.size());
        std::vector<bool> lost(damaged.size(), false);
        for (std::size_t i = 0; i < damaged.size(); ++i) {
            lost[i] = damaged[i] == '\0';
        }
        ASSERT_EQ(result.find('\0'), Bytes::npos) << "round " << round;
        ASSERT_EQ(changeFarFromLoss(damaged, result, lost), std::nullopt) << "round " << round;
    }
}

// Builds a message whose chosen lines meet a 512-byte record boundary, so
// that recovery loses bytes exactly there.
class MailLayout {
public:
    void add(ByteView line) { mail_ += line; }

    // Pads with filler lines so that the next record boundary falls `into`
    // bytes into the next line added. Filler lines begin with blanks wherever
    // a boundary can fall into them, so what they lose repairs to themselves.
    void padToBoundary(std::size_t into = 0) {
        std::size_t gap = (kPiece - (mail_.size() + into) % kPiece) % kPiece;
        if (gap == 0) {
            return;
        }
        if (gap < 3) {
            gap += kPiece;
        }
        const std::size_t start = mail_.size();
        std::size_t blanks = 1;
        const std::size_t firstBoundary = (start + kPiece - 1) / kPiece * kPiece;
        if (firstBoundary < start + gap) {
            blanks = firstBoundary - start + 4;
        }
        EXPECT_LE(blanks + 2, gap);
        mail_ += Bytes(blanks, ' ') + Bytes(gap - blanks - 2, 'x') + "\r\n";
    }

    // The byte at `at` (0-based) repairs to `value` instead of its original.
    void expectAt(std::size_t at, char value) { changes_.emplace_back(at, value); }
    [[nodiscard]] std::size_t size() const { return mail_.size(); }
    [[nodiscard]] const Bytes& mail() const { return mail_; }
    [[nodiscard]] Bytes expected() const {
        Bytes result = mail_;
        for (const auto& [at, value] : changes_) {
            result[at] = value;
        }
        return result;
    }

private:
    static constexpr std::size_t kPiece = 512;
    Bytes mail_;
    std::vector<std::pair<std::size_t, char>> changes_;
};

class RecoveredStructure : public ::testing::Test {
protected:
    void SetUp() override {
        engine::StopRequested = false;
        engine::ExitAfterStop = false;
        view.location = platform::pathText(dir.path());
    }

    // Lays the messages into a mailbox, recovers it, and returns the files.
    std::vector<Bytes> recover(const std::vector<Bytes>& mails) {
        testing::MailboxWriter writer;
        for (const Bytes& mail : mails) {
            writer.addMessage(mail);
        }
        testing::MailboxOptions options;
        options.scatter = true;
        options.liveBlocksBetween = 1;
        const auto mailbox = dir.path() / "mailbox.dbx";
        writer.writeTo(mailbox, options);
        const engine::RunReport report =
            engine::recoverMailbox(mailbox, view, repair::RepairOptions{}, testing::everyPoint());
        std::vector<Bytes> files;
        for (const engine::RenamedFile& file : report.files) {
            files.push_back(testing::readFile(file.file));
        }
        return files;
    }

    TempDir dir;
    testing::RecordingView view;
};

TEST_F(RecoveredStructure, AlternativeMessageWithDamagedStructureLinesComesBackWhole) {
    MailLayout m;
    m.add("From: a@example.jp\r\nSubject: alternative\r\n");
    m.padToBoundary();
    m.add("MIME-Version: 1.0\r\n");
    // The boundary value loses four bytes; the first delimiter line teaches them back.
    const Bytes type = "Content-Type: multipart/alternative;\r\n";
    m.padToBoundary(type.size() + 11 + 16);
    m.add(type + "\tboundary=\"" + Bytes(kBoundary) + "\"\r\n");
    m.add("X-Priority: 3\r\n\r\n");
    m.padToBoundary();
    m.add("This is a multi-part message in MIME format.\r\n\r\n");
    m.add(kDelimiter + "\r\n");
    m.padToBoundary();
    m.add("Content-Type: text/plain;\r\n");
    m.padToBoundary();
    m.add("\tcharset=\"iso-2022-jp\"\r\n");
    m.expectAt(m.size() - 24, ' '); // the tab folding the field is not known again
    m.add("Content-Transfer-Encoding: 7bit\r\n\r\n");
    for (int i = 0; i < 8; ++i) {
        m.add(kJisLine);
    }
    m.add("\r\n");
    m.padToBoundary();
    m.add(kDelimiter + "\r\n");
    m.padToBoundary();
    m.add("Content-Type: text/html;\r\n\tcharset=\"iso-2022-jp\"\r\n");
    m.padToBoundary();
    m.add("Content-Transfer-Encoding: quoted-printable\r\n\r\n<html><body>\r\n");
    m.padToBoundary();
    // Quoted-printable ISO-2022-JP: lost single-byte text becomes "*".
    for (std::size_t i = 0; i < 4; ++i) {
        m.expectAt(m.size() + i, '*');
    }
    m.add("    <p>indented</p>\r\n</body></html>\r\n\r\n");
    m.padToBoundary();
    m.add(kDelimiter + "--\r\n\r\n");

    const auto files = recover({m.mail()});
    ASSERT_EQ(files.size(), 1u);
    EXPECT_EQ(testing::firstDifference(files[0], m.expected()), std::nullopt);
}

TEST_F(RecoveredStructure, MixedMessageWithDamagedStructureLinesComesBackWhole) {
    MailLayout m;
    m.add("Return-Path: <a@example.jp>\r\nFrom: a@example.jp\r\nSubject: mixed\r\n");
    m.padToBoundary();
    m.add("MIME-Version: 1.0\r\n");
    // The CR LF and tab that fold the field are lost with the "b" of boundary.
    m.padToBoundary(30);
    m.add("Content-Type: multipart/mixed;\r\n\tboundary=\"" + Bytes(kBoundary) + "\"\r\n\r\n");
    // The preamble's line break is lost with the delimiter's first dashes.
    m.padToBoundary(44);
    m.add("This is a multi-part message in MIME format.\r\n" + kDelimiter + "\r\n");
    m.add("Content-Type: text/plain;\r\n\tcharset=\"iso-2022-jp\"\r\nContent-Transfer-Encoding: "
          "7bit\r\n\r\n");
    for (int i = 0; i < 4; ++i) {
        m.add(kJisLine);
    }
    m.padToBoundary();
    m.add(kDelimiter + "\r\n");
    m.padToBoundary();
    m.add("Content-Type: application/octet-stream;\r\n\tname=\"a.bin\"\r\n");
    m.padToBoundary();
    m.add("Content-Transfer-Encoding: base64\r\n");
    m.padToBoundary();
    m.add(
        "Content-Disposition: attachment;\r\n\tfilename=\"a.bin\"\r\n\r\nAAECAwQFBgcICQ==\r\n\r\n");
    m.padToBoundary();
    m.add(kDelimiter + "--\r\n\r\n");

    MailLayout second;
    second.add("From: b@example.jp\r\nSubject: plain\r\n");
    second.padToBoundary();
    second.add("Content-Type: text/plain;\r\n\tcharset=\"us-ascii\"\r\n\r\nhello\r\n");

    const auto files = recover({m.mail(), second.mail()});
    ASSERT_EQ(files.size(), 2u);
    EXPECT_EQ(testing::firstDifference(files[0], m.expected()), std::nullopt);
    EXPECT_EQ(testing::firstDifference(files[1], second.expected()), std::nullopt);
}

// Every real message in the corpus, as stored (LF lines) and with CR LF as
// Outlook Express stores it, laid into one mailbox and recovered whole.
TEST_F(RecoveredStructure, RealMessagesKeepTheirTextAwayFromLostBytesAndLoseNoneToZero) {
    const auto folder = testing::corpusPath("mail");
    if (!folder) {
        GTEST_SKIP() << "corpus not beside the project";
    }
    std::vector<Bytes> mails;
    for (const auto& file : testing::filesIn(*folder)) {
        if (file.extension() != ".eml") {
            continue;
        }
        const Bytes asStored = testing::readFile(file);
        Bytes withCrLf;
        for (std::size_t i = 0; i < asStored.size(); ++i) {
            if (asStored[i] == '\n' && (i == 0 || asStored[i - 1] != '\r')) {
                withCrLf += '\r';
            }
            withCrLf += asStored[i];
        }
        for (const Bytes* mail : {&asStored, static_cast<const Bytes*>(&withCrLf)}) {
            // Recovery cannot tell a message's own 0x00 bytes or a last
            // piece of four bytes or fewer from the record's padding.
            if (mail->find('\0') == Bytes::npos && mail->size() % 512 > 4) {
                mails.push_back(*mail);
            }
        }
    }
    ASSERT_GT(mails.size(), 50u);
    const auto files = recover(mails);
    ASSERT_EQ(files.size(), mails.size());
    for (std::size_t n = 0; n < mails.size(); ++n) {
        SCOPED_TRACE("message " + std::to_string(n + 1));
        const Bytes& original = mails[n];
        const Bytes& result = files[n];
        ASSERT_EQ(result.size(), original.size());
        EXPECT_EQ(result.find('\0'), Bytes::npos);
        std::vector<bool> lost(original.size(), false);
        for (const std::size_t at : testing::lostPositions(original.size())) {
            lost[at] = true;
        }
        EXPECT_EQ(changeFarFromLoss(original, result, lost), std::nullopt);
    }
}

} // namespace
} // namespace keldor::repair
