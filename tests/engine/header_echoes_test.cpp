#include "engine/header_echoes.h"

#include "engine/recovery_run.h"
#include "engine/run_flags.h"
#include "engine/scan_run.h"
#include "platform/text.h"
#include "tests/support/file_bytes.h"
#include "tests/support/mailbox_writer.h"
#include "tests/support/test_support.h"

#include <gtest/gtest.h>

#include <map>

namespace keldor::engine {
namespace {

using testing::TempDir;

// Each 512 bytes of a deleted mail lose their first four to the chain link.
constexpr std::size_t kRecord = 512;

const Bytes kFromA = "From: \"Sender A\" <a.sender@example.jp>";
const Bytes kFromB = "From: \"Sender B\" <b.sender@example.com>";
const Bytes kMailer5512 = "X-Mailer: Microsoft Outlook Express 6.00.2900.5512";
const Bytes kMailer3138 = "X-Mailer: Microsoft Outlook Express 6.00.2900.3138";
const Bytes kOrganization = "Organization: Example Trading Company";
const Bytes kReceived =
    "Received: from mx.example.jp by mail.example.jp; Thu, 23 Oct 2008 15:30:45 +0900";
const Bytes kRelay = "X-Relay: relay.example.net (relay.example.net [192.0.2.7])";

// A header line and, when not 0, the offset it is to start at in its mail.
struct Placed {
    Bytes line;
    std::size_t at = 0;
};

// A mail with the subject `subject` whose header holds `lines` in order,
// each placed line laid where it is asked for by padding lines before it.
Bytes mailOf(const Bytes& subject, const std::vector<Placed>& lines) {
    Bytes mail = "Return-Path: <somebody@example.jp>\r\nSubject: " + subject + "\r\n";
    for (const Placed& placed : lines) {
        while (placed.at > mail.size()) {
            const std::size_t gap = placed.at - mail.size();
            // "X-Pad: <subject> " and CR LF around at least one x, at most
            // 60: no other mail holds the line.
            const std::size_t around = 10 + subject.size();
            const std::size_t xs = gap >= 60 + around + 10 ? 60 : gap - around;
            mail += "X-Pad: " + subject + " " + Bytes(xs, 'x') + "\r\n";
        }
        EXPECT_TRUE(placed.at == 0 || placed.at == mail.size()) << subject;
        mail += placed.line + "\r\n";
    }
    mail += "Date: Tue, 1 Dec 2009 10:00:00 +0900\r\nMIME-Version: 1.0\r\n"
            "Content-Type: text/plain;\r\n\tcharset=\"us-ascii\"\r\n\r\n";
    while (mail.size() < 3 * kRecord) {
        mail += "Body text of " + subject + ", the same words on every line.\r\n";
    }
    return mail;
}

enum class Command { Recover, Scan };

struct Route {
    const char* name;
    Command command;
    std::size_t inMemoryLimit;
};

class HeaderEchoes : public ::testing::TestWithParam<Route> {
protected:
    void SetUp() override { StopRequested = false; }
};

// Three mails of sender A and two of sender B hold their lines whole; more
// lose bytes in them. The one whose From and X-Mailer lines two or more
// others hold gets their bytes back exactly; a line only one other mail
// holds (also when the damaged mail holds it whole as well), and an X-Mailer
// whose lost digits two versions fit, keep what the repair left. A restored
// date is the one the file is dated by.
TEST_P(HeaderEchoes, RestoresLinesOtherMailsHoldWholeOnlyWhereCertain) {
    const std::vector<Placed> senderA = {{kReceived}, {kFromA}, {kMailer5512}};
    std::map<Bytes, Bytes> mails = {
        {"a1", mailOf("a1", senderA)},
        {"a2", mailOf("a2", senderA)},
        {"a3", mailOf("a3", senderA)},
        {"b1", mailOf("b1", {{kFromB}, {kMailer3138}, {kOrganization}})},
        {"b2", mailOf("b2", {{kFromB}, {kMailer3138}})},
        // Loses bytes 10-13 of the From line and 20-23 of the X-Mailer line.
        {"lost-a", mailOf("lost-a", {{kFromA, kRecord - 10}, {kMailer5512, 2 * kRecord - 20}})},
        // Only b1 holds this line.
        {"lost-org", mailOf("lost-org", {{kFromB}, {kOrganization, kRecord - 20}})},
        // Loses "5512", which "3138" fits as well.
        {"lost-digits", mailOf("lost-digits", {{kFromB}, {kMailer5512, 2 * kRecord - 46}})},
        // Holds the line whole itself, and only "relay" holds it besides.
        {"relay", mailOf("relay", {{kRelay}})},
        {"lost-own", mailOf("lost-own", {{kRelay}, {kRelay, kRecord - 30}})},
        // Loses "30:4" of the time the rename pass dates the file by.
        {"lost-time", mailOf("lost-time", {{kReceived, kRecord - 69}})},
    };
    testing::MailboxWriter writer;
    for (const auto& [subject, mail] : mails) {
        writer.addMessage(mail);
    }
    TempDir dir;
    const std::filesystem::path mailbox = dir.path() / "mailbox.dbx";
    writer.writeTo(mailbox);
    testing::RecordingView view;
    view.location = platform::pathText(dir.path());
    RunSettings settings = testing::everyPoint();
    settings.inMemoryLimit = GetParam().inMemoryLimit;
    const RunReport report = GetParam().command == Command::Recover
                                 ? recoverMailbox(mailbox, view, repair::RepairOptions{}, settings)
                                 : scanMailbox(mailbox, view, repair::RepairOptions{}, settings);

    std::map<Bytes, Bytes> recovered;
    std::map<Bytes, Text> dates;
    for (const RenamedFile& file : report.files) {
        recovered[platform::toUtf8(file.subject)] = testing::readFile(file.file);
        dates[platform::toUtf8(file.subject)] = file.dateText;
    }
    ASSERT_EQ(recovered.size(), mails.size());
    for (const auto& [subject, mail] : mails) {
        EXPECT_EQ(recovered[subject].size(), mail.size()) << subject;
    }
    const auto lineAt = [&](const Bytes& subject, std::size_t at, const Bytes& line) {
        return recovered[subject].substr(at, line.size());
    };
    EXPECT_EQ(lineAt("lost-a", kRecord - 10, kFromA), kFromA);
    EXPECT_EQ(lineAt("lost-a", 2 * kRecord - 20, kMailer5512), kMailer5512);
    EXPECT_NE(lineAt("lost-org", kRecord - 20, kOrganization), kOrganization);
    const Bytes digits = lineAt("lost-digits", 2 * kRecord - 46, kMailer5512);
    EXPECT_NE(digits, kMailer5512);
    EXPECT_NE(digits, kMailer3138);
    EXPECT_NE(lineAt("lost-own", kRecord - 30, kRelay), kRelay);
    EXPECT_EQ(lineAt("lost-time", kRecord - 69, kReceived), kReceived);
    EXPECT_EQ(dates["lost-time"], u"2008/10/23 15:30:45");
    EXPECT_EQ(report.restored.otherMessages, 12);
}

INSTANTIATE_TEST_SUITE_P(Routes, HeaderEchoes,
                         ::testing::Values(Route{"RecoverInMemory", Command::Recover,
                                                 kInMemoryMessageLimit},
                                           Route{"RecoverStreamed", Command::Recover, 0},
                                           Route{"Scan", Command::Scan, kInMemoryMessageLimit}),
                         [](const auto& route) { return std::string(route.param.name); });

} // namespace
} // namespace keldor::engine
