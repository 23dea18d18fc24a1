// Whole runs over damaged and hostile mailboxes: a sample mailbox with its
// header, record headers, chain links and text mutated at random (seeded),
// and mailboxes of random mail text. Every run must end, keep its files in
// its output folder, leave the mailbox as it was, and not crash.

#include "engine/recovery_run.h"

#include "engine/dbx_layout.h"
#include "engine/run_flags.h"
#include "platform/files.h"
#include "platform/text.h"
#include "tests/support/mailbox_writer.h"
#include "tests/support/test_support.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <random>
#include <string>
#include <variant>
#include <vector>

namespace keldor::engine {
namespace {

using testing::MailboxOptions;
using testing::MailboxWriter;
using testing::RecordingView;
using testing::TempDir;

using Random = std::mt19937;

std::size_t below(Random& random, std::size_t n) {
    return n == 0 ? 0 : static_cast<std::size_t>(random() % n);
}

void putLe32(Bytes& file, std::size_t at, std::uint32_t value) {
    for (std::size_t k = 0; k < 4 && at + k < file.size(); ++k) {
        file[at + k] = toByte((value >> (8 * k)) & 0xFF);
    }
}

// Pieces that steer the repairs into their less travelled paths.
const std::vector<Bytes>& fragments() {
    static const std::vector<Bytes> pieces = {
        "\x1B$B",
        "\x1B(B",
        "\x1B(J",
        "\x1B$@",
        "\x1B",
        "\x8E",
        "\x8F",
        "\r",
        "\n",
        "\r\n",
        "\r\n\r\n",
        Bytes(4, '\0'),
        Bytes(1, '\0'),
        "=?iso-2022-jp?B?",
        "=?ISO-2022-JP?Q?=1B",
        "=?shift_jis?B?",
        "=?euc-jp?B?",
        "=?",
        "?=",
        "?B?",
        "GyRCMnE1RBsoQg==",
        "Subject: ",
        "From: ",
        "Received: ",
        "Date: Wed, 26 Nov 2008 18:12:03 +0900",
        "Content-Type: multipart/mixed;\r\n\tboundary=\"",
        "boundary=\"----=_NextPart_",
        "------=_NextPart_000_0012_01C8F4A2.3B5C7D90",
        "Content-Type: text/plain;",
        "\tcharset=\"iso-2022-jp\"",
        "charset=\"shift_jis\"",
        "charset=\"euc-jp\"",
        "Content-Transfer-Encoding: base64",
        "Content-Transfer-Encoding: quoted-printable",
        "Content-Type: text/html;",
        "rn-Path: ",
        "\x82\xA0\x82",
        "\xA4\xA2\xA4",
        "\x81",
        "\xFF\xFE",
        "*",
        "\\/:*?\"<>|",
        "..\\..\\",
        "../../",
        "con.txt",
        "\t",
        " ",
    };
    return pieces;
}

// Mail text of random bytes and fragments, sometimes with very long lines.
Bytes randomText(Random& random, std::size_t size) {
    Bytes text;
    while (text.size() < size) {
        switch (random() % 4) {
        case 0:
            text += toByte(random() % 256);
            break;
        case 1: {
            // A long run without a line break.
            const std::size_t run = 1 + below(random, 3000);
            const char c = toByte(0x21 + random() % 0x5E);
            text += Bytes(run, c);
            break;
        }
        default:
            text += fragments()[below(random, fragments().size())];
            break;
        }
    }
    text.resize(size);
    return text;
}

Bytes randomMail(Random& random) {
    Bytes mail = "Return-Path: <a@example.jp>\r\n";
    const std::size_t size = 1 + below(random, random() % 8 == 0 ? 20000 : 2500);
    mail += randomText(random, size);
    return mail;
}

// Replacement characters a user might pick, some of them ones a file name
// cannot hold.
repair::RepairOptions randomOptions(Random& random) {
    static constexpr std::u16string_view kHalf = u"*#?_0|";
    static constexpr std::u16string_view kFull = u"■□〓※＊";
    const auto made = repair::makeRepairOptions(kHalf.substr(below(random, kHalf.size()), 1),
                                                kFull.substr(below(random, kFull.size()), 1));
    EXPECT_TRUE(std::holds_alternative<repair::RepairOptions>(made));
    return std::holds_alternative<repair::RepairOptions>(made)
               ? std::get<repair::RepairOptions>(made)
               : repair::RepairOptions{};
}

// The deleted records of a mailbox, in chain order.
std::vector<std::uint64_t> chainOf(const std::filesystem::path& mailbox, const Bytes& bytes) {
    std::error_code error;
    const auto file = platform::ReadOnlyFile::open(mailbox, error);
    const auto header = dbx::parseHeader(ByteView(bytes).substr(0, dbx::kHeaderSize));
    if (!file || !header) {
        return {};
    }
    return listDeletedChain(*file, header->deletedChainHead, [](std::size_t) { return true; });
}

// One mutation of a mailbox whose deleted records stand at `records`.
void mutate(Bytes& file, const std::vector<std::uint64_t>& records, Random& random) {
    const auto recordAt = [&]() -> std::size_t {
        return records.empty() ? dbx::kHeaderSize
                               : static_cast<std::size_t>(records[below(random, records.size())]);
    };
    const auto anyOffset = [&]() -> std::uint32_t {
        switch (random() % 6) {
        case 0:
            return 0;
        case 1:
            return static_cast<std::uint32_t>(file.size() + below(random, 2000));
        case 2:
            return static_cast<std::uint32_t>(random());
        case 3:
            return static_cast<std::uint32_t>(below(random, file.size()));
        case 4:
            return 0xFFFFFFFF - static_cast<std::uint32_t>(below(random, 0x300));
        default:
            return static_cast<std::uint32_t>(recordAt());
        }
    };
    switch (random() % 9) {
    case 0: // a byte of the file header
        file[below(random, std::min(file.size(), dbx::kHeaderSize))] ^= toByte(1 + random() % 255);
        break;
    case 1: // the chain head
        putLe32(file, dbx::kDeletedChainHeadAt, anyOffset());
        break;
    case 2: // a byte of a record header
        if (const std::size_t at = recordAt() + below(random, dbx::kTextAt); at < file.size()) {
            file[at] ^= toByte(1 + random() % 255);
        }
        break;
    case 3: // a chain link: a loop, itself, past the end, anywhere
        putLe32(file, recordAt() + dbx::kChainLinkAt, anyOffset());
        break;
    case 4: // a continuation field
        putLe32(file, recordAt() + dbx::kContinuationAt, random() % 2 == 0 ? 0 : anyOffset());
        break;
    case 5: { // text of one record
        const std::size_t at = recordAt() + dbx::kTextAt;
        const Bytes text = randomText(random, 1 + below(random, dbx::kTextSize));
        const std::size_t from = at + below(random, dbx::kTextSize);
        for (std::size_t k = 0; k < text.size() && from + k < file.size(); ++k) {
            file[from + k] = text[k];
        }
        break;
    }
    case 6: { // a long line across records: no CR LF anywhere in them
        const char c = toByte(0x21 + random() % 0x5E);
        for (const std::uint64_t record : records) {
            if (random() % 2 == 0) {
                const std::size_t at = static_cast<std::size_t>(record) + dbx::kTextAt;
                for (std::size_t k = 0; k < dbx::kTextSize && at + k < file.size(); ++k) {
                    file[at + k] = c;
                }
            }
        }
        break;
    }
    case 7: // cut the file short
        file.resize(below(random, file.size()));
        break;
    default: // random bytes anywhere
        for (int n = 0; n < 16; ++n) {
            file[below(random, file.size())] = toByte(random() % 256);
        }
        break;
    }
    if (file.empty()) {
        file = "x";
    }
}

class HostileMailbox : public ::testing::Test {
protected:
    void SetUp() override {
        StopRequested = false;
        ExitAfterStop = false;
    }
    void TearDown() override {
        StopRequested = false;
        ExitAfterStop = false;
    }

    // Runs a whole recovery of `mailbox` in a folder of its own and checks
    // what a run must never do, whatever the mailbox holds.
    // `stopAt`: the event at which Stop is pressed, 0 for never.
    void recoverAndCheck(const Bytes& mailbox, const std::string& name,
                         const repair::RepairOptions& options = {}, int stopAt = 0) {
        SCOPED_TRACE(name);
        const std::filesystem::path caseDir = dir.path() / name;
        const std::filesystem::path location = caseDir / "out";
        std::filesystem::create_directories(location);
        const std::filesystem::path mailboxPath = caseDir / "mailbox.dbx";
        testing::writeFile(mailboxPath, mailbox);

        // Every step of a run works through bytes of the file: records in
        // pass 1, messages and their lines in pass 2, files in the rename
        // pass. More events than that bound means it went round in circles;
        // stop it rather than hang.
        const std::size_t bound = 4 * mailbox.size() + 1000;
        bool runaway = false;
        RecordingView view;
        view.location = platform::pathText(location);
        view.onEvents = [&](int count) {
            if (count == stopAt) {
                StopRequested = true;
            }
            if (static_cast<std::size_t>(count) > bound) {
                runaway = true;
                StopRequested = true;
            }
        };
        const RunReport report = recoverMailbox(mailboxPath, view, options, testing::everyPoint());
        EXPECT_FALSE(runaway) << view.eventCount << " events for " << mailbox.size() << " bytes";
        EXPECT_EQ(testing::readFile(mailboxPath), mailbox) << "the mailbox changed";
        EXPECT_LE(report.recordCount,
                  static_cast<std::int64_t>(mailbox.size() / dbx::kRecordSize + 1));

        // Files only in the output folder, directly; nothing anywhere else.
        std::size_t inFolder = 0;
        for (const auto& entry : std::filesystem::recursive_directory_iterator(caseDir)) {
            if (entry.is_directory()) {
                EXPECT_TRUE(entry.path() == location || entry.path() == report.outputFolder)
                    << "stray folder " << entry.path();
                continue;
            }
            if (entry.path() == mailboxPath) {
                continue;
            }
            EXPECT_EQ(entry.path().parent_path(), report.outputFolder) << entry.path();
            ++inFolder;
        }
        if (report.outcome == RunOutcome::Completed) {
            EXPECT_EQ(report.outputFolder.parent_path(), location);
            EXPECT_EQ(inFolder, static_cast<std::size_t>(report.mailCount));
            ASSERT_EQ(report.files.size(), static_cast<std::size_t>(report.mailCount));
            for (const RenamedFile& file : report.files) {
                EXPECT_EQ(file.file.parent_path(), report.outputFolder) << file.file;
                EXPECT_TRUE(std::filesystem::is_regular_file(file.file)) << file.file;
                if (!file.reached) {
                    EXPECT_EQ(file.file.filename(), temporaryFileName(file.number));
                }
            }
        }
        std::filesystem::remove_all(caseDir);
    }

    TempDir dir;
};

std::optional<Bytes> sampleMailbox() {
    const std::filesystem::path sample =
        std::filesystem::path(KELDOR_SAMPLES_DIR) / u8"削除済みアイテム.dbx";
    if (!std::filesystem::exists(sample)) {
        return std::nullopt;
    }
    return testing::readFile(sample);
}

TEST_F(HostileMailbox, MutatedSampleMailboxes) {
    const auto sample = sampleMailbox();
    if (!sample) {
        GTEST_SKIP() << "no sample mailbox";
    }
    const std::filesystem::path original = dir.path() / "sample.dbx";
    testing::writeFile(original, *sample);
    const std::vector<std::uint64_t> records = chainOf(original, *sample);
    ASSERT_GT(records.size(), 10u);

    for (std::uint32_t seed = 1; seed <= 300; ++seed) {
        Random random(seed);
        Bytes mailbox = *sample;
        const std::size_t mutations = 1 + below(random, 4);
        for (std::size_t n = 0; n < mutations; ++n) {
            mutate(mailbox, records, random);
        }
        recoverAndCheck(mailbox, "sample" + std::to_string(seed), randomOptions(random));
    }
}

TEST_F(HostileMailbox, MailboxesOfRandomMailText) {
    for (std::uint32_t seed = 1; seed <= 120; ++seed) {
        Random random(seed);
        MailboxWriter writer;
        const std::size_t mails = 1 + below(random, 6);
        for (std::size_t n = 0; n < mails; ++n) {
            writer.addMessage(randomMail(random));
        }
        MailboxOptions options;
        options.seed = seed;
        options.scatter = random() % 2 == 0;
        options.liveBlocksBetween = below(random, 3);
        const std::size_t records = writer.recordCount();
        switch (random() % 5) {
        case 0:
            options.loopBackTo = below(random, records);
            break;
        case 1:
            options.lastLink = static_cast<std::uint32_t>(random());
            break;
        case 2:
            options.truncateTo = below(random, dbx::kHeaderSize + (records + 1) * dbx::kRecordSize);
            break;
        default:
            break;
        }
        recoverAndCheck(writer.build(options), "random" + std::to_string(seed),
                        randomOptions(random));
    }
}

// Stop pressed at every point of a run: pass 1, between messages, inside a
// message's repair, during the rename pass.
TEST_F(HostileMailbox, StoppedAnywhere) {
    const auto sample = sampleMailbox();
    if (!sample) {
        GTEST_SKIP() << "no sample mailbox";
    }
    RecordingView counting;
    {
        const std::filesystem::path location = dir.path() / "count";
        std::filesystem::create_directories(location);
        testing::writeFile(dir.path() / "count.dbx", *sample);
        counting.location = platform::pathText(location);
        (void)recoverMailbox(dir.path() / "count.dbx", counting, repair::RepairOptions{},
                             testing::everyPoint());
        std::filesystem::remove_all(location);
    }
    ASSERT_GT(counting.eventCount, 20);
    for (int stopAt = 1; stopAt <= counting.eventCount; stopAt += 3) {
        recoverAndCheck(*sample, "stop" + std::to_string(stopAt), {}, stopAt);
    }
}

// Real mailboxes of other folders, their chain heads and links pointed into
// live messages.
TEST_F(HostileMailbox, MutatedCorpusMailboxes) {
    int found = 0;
    for (const char* relative :
         {"dbx/dbxoutlookexpress/Offline.dbx", "dbx/synthetic/deleted_iso2022jp_4blocks.dbx",
          "dbx/dbxoutlookexpress/Outbox.dbx"}) {
        const auto path = testing::corpusPath(relative);
        if (!path || !std::filesystem::exists(*path)) {
            continue;
        }
        ++found;
        const Bytes original = testing::readFile(*path);
        const std::vector<std::uint64_t> records = chainOf(*path, original);
        for (std::uint32_t seed = 1; seed <= 25; ++seed) {
            Random random(seed);
            Bytes mailbox = original;
            const std::size_t mutations = 1 + below(random, 3);
            for (std::size_t n = 0; n < mutations; ++n) {
                mutate(mailbox, records, random);
            }
            recoverAndCheck(mailbox, "corpus" + std::to_string(found) + "_" + std::to_string(seed),
                            randomOptions(random));
        }
    }
    if (found == 0) {
        GTEST_SKIP() << "no corpus";
    }
}

// Subjects that read like paths, names Windows keeps for devices, and one
// far longer than a file name may be: the files stay in the output folder.
TEST_F(HostileMailbox, SubjectsThatLookLikePaths) {
    MailboxWriter writer;
    for (const Bytes& subject :
         {Bytes("../../escaped"), Bytes("..\\..\\escaped"), Bytes("/etc/passwd"), Bytes(".."),
          Bytes("."), Bytes("CON"), Bytes("nul.txt"), Bytes(" "), Bytes("\t"), Bytes(600, 'n'),
          Bytes("=?iso-2022-jp?B?Li4vLi4v?="), Bytes("=?iso-2022-jp?Q?=2F=2E=2E=2Fx?="),
          Bytes("a\0b", 3), Bytes(300, '\x82')}) {
        writer.addMessage("Return-Path: <a@example.jp>\r\nSubject: " + subject +
                          "\r\nDate: Wed, 26 Nov 2008 18:12:03 +0900\r\n\r\nbody\r\n");
    }
    recoverAndCheck(writer.build(), "paths");
}

// Lines longer than the line reader's window, with lost bytes all along.
TEST_F(HostileMailbox, LinesLongerThanTheReadWindow) {
    const std::size_t window = 65536;
    for (const std::size_t size : {window - 1, window, window + 1, window + 700, 3 * window}) {
        Bytes endless = "Return-Path: <a@example.jp>\r\nSubject: " + Bytes(size, 'a');
        Bytes endsLate = endless + "\r\nDate: Wed, 26 Nov 2008 18:12:03 +0900\r\n\r\nbody\r\n";
        Bytes jis = "Return-Path: <a@example.jp>\r\nContent-Type: text/plain;\r\n"
                    "\tcharset=\"iso-2022-jp\"\r\n\r\n\x1B$B";
        while (jis.size() < size) {
            jis += "$\"";
        }
        MailboxWriter writer;
        writer.addMessage(endless);
        writer.addMessage(endsLate);
        writer.addMessage(jis);
        recoverAndCheck(writer.build(), "long" + std::to_string(size));
    }
}

} // namespace
} // namespace keldor::engine
