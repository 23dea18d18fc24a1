#include "engine/recovery_run.h"

#include "engine/run_flags.h"
#include "platform/text.h"
#include "tests/support/mailbox_writer.h"
#include "tests/support/test_support.h"

#include <gtest/gtest.h>

#ifndef _WIN32
#include <csignal>
#include <sys/resource.h>
#endif

namespace keldor::engine {
namespace {

using testing::MailboxOptions;
using testing::MailboxWriter;
using testing::RecordingView;
using testing::TempDir;

// A realistic message of about `size` bytes, CR LF lines.
Bytes makeMail(int number, std::size_t size = 1500) {
    Bytes mail =
        "Return-Path: <sender" + std::to_string(number) +
        "@example.jp>\r\n"
        "Received: from mx.example.jp by mail.example.jp; Thu, 23 Oct 2008 15:30:45 +0900\r\n"
        "From: sender@example.jp\r\n"
        "Subject: message " +
        std::to_string(number) +
        "\r\n"
        "Date: Thu, 23 Oct 2008 15:30:45 +0900\r\n"
        "MIME-Version: 1.0\r\n"
        "Content-Type: text/plain;\r\n\tcharset=\"us-ascii\"\r\n\r\n";
    int line = 0;
    while (mail.size() < size) {
        mail += "Line " + std::to_string(++line) + " of message " + std::to_string(number) +
                ": the quick brown fox jumps over the lazy dog.\r\n";
    }
    return mail;
}

class RecoveryRun : public ::testing::Test {
protected:
    void SetUp() override {
        StopRequested = false;
        ExitAfterStop = false;
        view.location = platform::pathText(dir.path() / "out");
        std::filesystem::create_directory(dir.path() / "out");
    }
    void TearDown() override {
        StopRequested = false;
        ExitAfterStop = false;
    }

    RunReport recover(const Bytes& mailbox) {
        mailboxPath = dir.path() / "mailbox.dbx";
        testing::writeFile(mailboxPath, mailbox);
        return recoverMailbox(mailboxPath, view, repair::RepairOptions{}, testing::everyPoint());
    }

    std::vector<Bytes> outputs(const RunReport& report) {
        std::vector<Bytes> files;
        // Each file under the name the rename pass gave it.
        for (const RenamedFile& file : report.files) {
            files.push_back(testing::readFile(file.file));
        }
        return files;
    }

    Text lastMessage() const { return view.messages.empty() ? Text() : view.messages.back().text; }

    TempDir dir;
    RecordingView view;
    std::filesystem::path mailboxPath;
};

// Every byte the mailbox still held is in place, and the file has the
// message's length.
void expectSurvivorsInPlace(const Bytes& recovered, const Bytes& original) {
    ASSERT_EQ(recovered.size(), original.size());
    const auto lost = testing::lostPositions(original.size());
    std::vector<bool> isLost(original.size(), false);
    for (const std::size_t at : lost) {
        isLost[at] = true;
    }
    for (std::size_t i = 0; i < original.size(); ++i) {
        if (!isLost[i]) {
            ASSERT_EQ(recovered[i], original[i]) << "byte " << i;
        }
    }
}

TEST_F(RecoveryRun, WritesOneFilePerMessageWithEverySurvivingByte) {
    MailboxWriter writer;
    std::vector<Bytes> mails;
    for (int n = 1; n <= 6; ++n) {
        mails.push_back(makeMail(n, 300 + 700 * static_cast<std::size_t>(n)));
        writer.addMessage(mails.back());
    }
    MailboxOptions options;
    options.scatter = true;
    options.liveBlocksBetween = 2;
    const RunReport report = recover(writer.build(options));

    EXPECT_EQ(report.outcome, RunOutcome::Completed);
    EXPECT_EQ(report.recordCount, static_cast<std::int64_t>(writer.recordCount()));
    ASSERT_EQ(report.mailCount, 6);
    const auto files = outputs(report);
    for (std::size_t i = 0; i < mails.size(); ++i) {
        SCOPED_TRACE(i);
        expectSurvivorsInPlace(files[i], mails[i]);
    }
    EXPECT_EQ(testing::filesIn(report.outputFolder).size(), 6u);
    EXPECT_EQ(lastMessage(),
              u"6通のメールが見つかりました。出力先フォルダをExplorerで開きますか？");
    EXPECT_EQ(view.messages.back().icon, MessageIcon::Question);
    EXPECT_EQ(view.messages.back().buttons, MessageButtons::YesNo);
    EXPECT_TRUE(view.openedFolders.empty()) << "the answer was No";
}

TEST_F(RecoveryRun, OutputFolderIsNamedAfterTheRunAndMadeUnderTheLocation) {
    MailboxWriter writer;
    writer.addMessage(makeMail(1));
    view.answer = MessageAnswer::Yes;
    const RunReport report = recover(writer.build());
    const std::string name = report.outputFolder.filename().string();
    ASSERT_EQ(name.size(), std::string("メール復元").size() + 14) << name;
    EXPECT_EQ(name.rfind("メール復元", 0), 0u);
    EXPECT_EQ(report.outputFolder.parent_path(), dir.path() / "out");
    ASSERT_EQ(view.openedFolders.size(), 1u);
    EXPECT_EQ(view.openedFolders[0], report.outputFolder);
}

TEST(OutputNaming, FolderNameAndJoin) {
    std::tm when{};
    when.tm_year = 2008 - 1900;
    when.tm_mon = 9;
    when.tm_mday = 23;
    when.tm_hour = 15;
    when.tm_min = 30;
    when.tm_sec = 45;
    EXPECT_EQ(outputFolderName(when), u"メール復元20081023153045");
    const Text sep(1, kPathSeparator);
    EXPECT_EQ(joinPath(u"a", u"b"), u"a" + sep + u"b");
    EXPECT_EQ(joinPath(u"a" + sep, u"b"), u"a" + sep + u"b") << "no doubled separator";
    EXPECT_EQ(joinPath(u"", u"b"), sep + u"b");
}

TEST_F(RecoveryRun, LocationEndingInSeparatorGetsNoDoubledSeparator) {
    view.location += kPathSeparator;
    MailboxWriter writer;
    writer.addMessage(makeMail(1));
    const RunReport report = recover(writer.build());
    EXPECT_EQ(report.outputFolder.parent_path(), dir.path() / "out");
    EXPECT_EQ(platform::pathText(report.outputFolder).find(Text(2, kPathSeparator)), Text::npos);
}

TEST_F(RecoveryRun, EmptyChainFindsNothing) {
    MailboxWriter writer;
    const RunReport report = recover(writer.build());
    EXPECT_EQ(report.mailCount, 0);
    EXPECT_EQ(report.recordCount, 0);
    EXPECT_EQ(view.lastPercent, u"0%");
    ASSERT_FALSE(view.statusTexts.empty());
    EXPECT_EQ(view.statusTexts.back(), u"0通のメールを復元");
    EXPECT_EQ(lastMessage(), u"メールが見つかりませんでした。");
    EXPECT_EQ(view.messages.back().icon, MessageIcon::Information);
    EXPECT_TRUE(std::filesystem::is_directory(report.outputFolder));
    EXPECT_TRUE(testing::filesIn(report.outputFolder).empty());
}

TEST_F(RecoveryRun, RestoresTheWindowAfterTheRun) {
    MailboxWriter writer;
    writer.addMessage(makeMail(1));
    recover(writer.build());
    EXPECT_TRUE(view.isVisible(StatusControl::StartButton));
    EXPECT_FALSE(view.isVisible(StatusControl::StopButton));
    EXPECT_TRUE(view.isVisible(StatusControl::Message));
    EXPECT_FALSE(view.isVisible(StatusControl::Progress));
    EXPECT_FALSE(view.isVisible(StatusControl::Rename));
    EXPECT_FALSE(view.busy);
    ASSERT_FALSE(view.messageTexts.empty());
    EXPECT_EQ(view.messageTexts.front(), u"削除レコードを復元しています。");
    EXPECT_EQ(view.messageTexts.back(), u"");
    EXPECT_EQ(view.progress.back(), 100);
}

// ---- header and opening failures ----

TEST_F(RecoveryRun, MissingMailboxCreatesNothing) {
    const auto missing = dir.path() / "nowhere.dbx";
    const RunReport report =
        recoverMailbox(missing, view, repair::RepairOptions{}, testing::everyPoint());
    EXPECT_EQ(report.outcome, RunOutcome::CouldNotOpen);
    EXPECT_EQ(lastMessage(),
              u"DBXファイルをオープンできませんでした。\r\n" + platform::pathText(missing));
    EXPECT_EQ(view.messages.back().icon, MessageIcon::Warning);
    EXPECT_TRUE(std::filesystem::is_empty(dir.path() / "out"));
}

TEST_F(RecoveryRun, UncreatableOutputFolderIsReported) {
    view.location = platform::pathText(dir.path() / "no" / "such" / "parent");
    MailboxWriter writer;
    const RunReport report = recover(writer.build());
    EXPECT_EQ(report.outcome, RunOutcome::FolderNotCreated);
    EXPECT_EQ(lastMessage(), u"出力先フォルダの作成に失敗しました。");
    EXPECT_EQ(view.messages.back().icon, MessageIcon::Error);
}

TEST_F(RecoveryRun, WrongHeaderWordsAreReportedAndLeaveAnEmptyFolder) {
    struct Case {
        std::uint32_t magic;
        std::uint32_t kind;
        RunOutcome outcome;
        const char16_t* message;
    };
    const Case cases[] = {
        {0x12345678, 0x6F74FDC5, RunOutcome::NotOutlookExpress,
         u"このファイルは、Outlock Express のファイルではありません。"},
        {0xFE12ADCF, 0x6F74FDC6, RunOutcome::NotMessageFile,
         u"このファイルは、Outlock Express のメッセージファイルではありません。"},
    };
    for (const Case& c : cases) {
        MailboxWriter writer;
        writer.addMessage(makeMail(1));
        MailboxOptions options;
        options.magic = c.magic;
        options.fileKind = c.kind;
        const RunReport report = recover(writer.build(options));
        EXPECT_EQ(report.outcome, c.outcome);
        EXPECT_EQ(lastMessage(), c.message);
        EXPECT_EQ(view.messages.back().icon, MessageIcon::Warning);
        EXPECT_TRUE(std::filesystem::is_empty(report.outputFolder));
        std::filesystem::remove(report.outputFolder);
    }
}

TEST_F(RecoveryRun, ShortFilesAreJudgedByWhatTheyHold) {
    MailboxWriter writer;
    writer.addMessage(makeMail(1));
    const Bytes full = writer.build();
    // Fewer than 8 bytes: not an Outlook Express file at all.
    for (const std::size_t size : {0, 3, 7}) {
        recover(full.substr(0, size));
        EXPECT_EQ(lastMessage(), u"このファイルは、Outlock Express のファイルではありません。")
            << size;
    }
    // The two words but no chain head: nothing to find.
    recover(full.substr(0, 8));
    EXPECT_EQ(lastMessage(), u"メールが見つかりませんでした。");
    // A chain head pointing past a cut file: nothing to find.
    recover(full.substr(0, 0x24BC + 100));
    EXPECT_EQ(lastMessage(), u"メールが見つかりませんでした。");
}

TEST_F(RecoveryRun, MailboxIsNeverChanged) {
    MailboxWriter writer;
    for (int n = 1; n <= 3; ++n) {
        writer.addMessage(makeMail(n));
    }
    const Bytes before = writer.build();
    recover(before);
    EXPECT_EQ(testing::readFile(mailboxPath), before);
}

// ---- substitute bytes and message boundaries ----

TEST_F(RecoveryRun, ColonAtMessageStartRestoresFromOrADate) {
    for (const Bytes& mail : {
             Bytes("From: a@example.jp\r\nSubject: x\r\n\r\nbody\r\n"),
             // A name with a month in it is no date.
             Bytes("From: 9 May <may@example.jp>\r\nSubject: x\r\n\r\nbody\r\n"),
             Bytes("Date: Sun, 25 May 2008 14:38:46 +0100\r\nFrom: a@example.jp\r\n\r\nbody\r\n"),
             Bytes("Date: 9 jan 98 10:00\r\nFrom: a@example.jp\r\n\r\nbody\r\n"),
         }) {
        MailboxWriter writer;
        writer.addMessage(mail);
        const RunReport report = recover(writer.build());
        ASSERT_EQ(report.mailCount, 1);
        EXPECT_EQ(outputs(report)[0], mail);
        std::filesystem::remove_all(report.outputFolder);
    }
}

TEST_F(RecoveryRun, LineBreakAcrossRecordsIsRestored) {
    // First record's text ends with CR; the second's starts with LF.
    Bytes first(508, 'a');
    first.back() = '\r';
    Bytes second = "\nsecond line\r\n";
    MailboxWriter writer;
    writer.addRecord(first, true);
    writer.addRecord(second, false);
    const RunReport report = recover(writer.build());
    ASSERT_EQ(report.mailCount, 1);
    const Bytes out = outputs(report)[0];
    ASSERT_EQ(out.size(), 4 + 508 + 4 + second.size());
    // CR LF, two lost bytes, CR LF.
    EXPECT_EQ(out.substr(511, 2), "\r\n");
    EXPECT_EQ(out.substr(515, 3), "\r\ns");
}

TEST_F(RecoveryRun, SubstitutesFollowTheTable) {
    struct Case {
        char previousLast;
        char firstOfNext;
        Bytes expected;
    };
    const Case cases[] = {
        {'\r', '\n', Bytes("\n\0\0\r", 4)},
        {'\r', 'x', Bytes("\n\0\0\0", 4)},
        {'x', '\n', Bytes("\0\0\0\r", 4)},
        {'x', 'x', Bytes("\0\0\0\0", 4)},
    };
    for (const Case& c : cases) {
        Bytes first(508, 'a');
        first.back() = c.previousLast;
        Bytes second(1, c.firstOfNext);
        second += "tail";
        MailboxWriter writer;
        writer.addRecord(first, true);
        writer.addRecord(second, false);
        const RunReport report = recover(writer.build());
        ASSERT_EQ(report.mailCount, 1);
        const Bytes out = outputs(report)[0];
        ASSERT_GE(out.size(), 516u);
        // Where the table writes a line-break byte it must stand; where it
        // writes 0x00 the repair may fill it, but never with a line break.
        for (std::size_t k = 0; k < 4; ++k) {
            if (c.expected[k] != '\0') {
                EXPECT_EQ(out[512 + k], c.expected[k]) << k;
            } else {
                EXPECT_NE(out[512 + k], '\n') << k;
            }
        }
        std::filesystem::remove_all(report.outputFolder);
    }
}

TEST_F(RecoveryRun, ReturnPathTextStartsANewMessage) {
    // Two messages whose boundary falls between two full records: only the
    // text "rn-path: " tells where the second one starts.
    Bytes first(508, 'a');
    Bytes second = "RN-PATH: <b@example.jp>\r\n";
    second.resize(508, 'b');
    MailboxWriter writer;
    writer.addRecord(first, true);
    writer.addRecord(second, true);
    writer.addRecord("end of second\r\n", false);
    const RunReport report = recover(writer.build());
    ASSERT_EQ(report.mailCount, 2);
    const auto files = outputs(report);
    EXPECT_EQ(files[0].size(), 512u);
    EXPECT_EQ(files[1].substr(4, 9), "RN-PATH: ");
}

TEST_F(RecoveryRun, ReturnPathAfterCrLfDoesNotSplit) {
    Bytes first(508, 'a');
    first[506] = '\r';
    first[507] = '\n';
    Bytes second = "rn-path: looks like a header but follows a line end";
    MailboxWriter writer;
    writer.addRecord(first, true);
    writer.addRecord(second, false);
    const RunReport report = recover(writer.build());
    EXPECT_EQ(report.mailCount, 1);
}

TEST_F(RecoveryRun, LastRecordEndsItsMessageEvenWhenFull) {
    Bytes text(508, 'z');
    MailboxWriter writer;
    writer.addRecord(text, true); // full by its layout, but nothing follows
    const RunReport report = recover(writer.build());
    ASSERT_EQ(report.mailCount, 1);
    EXPECT_EQ(outputs(report)[0].size(), 512u);
}

TEST_F(RecoveryRun, RecordWithoutZeroButNoContinuationEndsTheMessage) {
    Bytes text(508, 'z');
    MailboxWriter writer;
    writer.addRecord(text, false);
    writer.addRecord("next message", false);
    const RunReport report = recover(writer.build());
    EXPECT_EQ(report.mailCount, 2);
}

TEST_F(RecoveryRun, SubjectTailAtStartIsWrittenAfterFourLostBytes) {
    // "Subject: " lost "Subj"; the text up to the first 0x00 is written.
    Bytes text = Bytes("ect: abc\r\n\r\nbody") + '\0' + "junk after the end";
    MailboxWriter writer;
    writer.addRecord(text, false);
    const RunReport report = recover(writer.build());
    ASSERT_EQ(report.mailCount, 1);
    const Bytes out = outputs(report)[0];
    EXPECT_EQ(out.size(), 4 + 16u);
    EXPECT_EQ(out.substr(4), "ect: abc\r\n\r\nbody");
}

// ---- hostile chains ----

TEST_F(RecoveryRun, LoopingChainEndsWhereAnOffsetRepeats) {
    for (const std::size_t back : {0, 1, 3, 7}) {
        SCOPED_TRACE(back);
        MailboxWriter writer;
        for (int n = 1; n <= 4; ++n) {
            writer.addMessage(makeMail(n, 1200));
        }
        MailboxOptions options;
        options.loopBackTo = back;
        options.scatter = true;
        const RunReport report = recover(writer.build(options));
        EXPECT_EQ(report.recordCount, static_cast<std::int64_t>(writer.recordCount()))
            << "every record once, none twice";
        std::filesystem::remove_all(report.outputFolder);
    }
}

TEST_F(RecoveryRun, SelfLinkedRecordIsReadOnce) {
    MailboxWriter writer;
    writer.addRecord("only record", false);
    MailboxOptions options;
    options.lastLink = 0x24BC; // itself
    const RunReport report = recover(writer.build(options));
    EXPECT_EQ(report.recordCount, 1);
    EXPECT_EQ(report.mailCount, 1);
}

TEST_F(RecoveryRun, LinksOutsideTheFileEndTheChain) {
    for (const std::uint32_t link : {0xFFFFFFFFu, 0x7FFFFFF0u, 0x24BCu + 0x210u * 4 - 100}) {
        MailboxWriter writer;
        writer.addMessage(makeMail(1, 900));
        writer.addMessage(makeMail(2, 900));
        MailboxOptions options;
        options.lastLink = link;
        const RunReport report = recover(writer.build(options));
        EXPECT_EQ(report.recordCount, static_cast<std::int64_t>(writer.recordCount()));
        EXPECT_EQ(report.mailCount, 2);
        std::filesystem::remove_all(report.outputFolder);
    }
    MailboxWriter writer;
    writer.addMessage(makeMail(1));
    MailboxOptions options;
    options.head = 0xFFFFFF00u;
    EXPECT_EQ(recover(writer.build(options)).recordCount, 0);
    EXPECT_EQ(lastMessage(), u"メールが見つかりませんでした。");
}

TEST_F(RecoveryRun, TruncatedMailboxKeepsWhatItHolds) {
    MailboxWriter writer;
    for (int n = 1; n <= 3; ++n) {
        writer.addMessage(makeMail(n, 1000));
    }
    const Bytes full = writer.build();
    // The head is the last record in the file; cutting into it loses the whole chain.
    MailboxOptions options;
    options.truncateTo = full.size() - 100;
    const RunReport report = recover(writer.build(options));
    EXPECT_EQ(report.outcome, RunOutcome::Completed);
    EXPECT_EQ(report.recordCount, 0);
}

// ---- stop, close and write failures ----

TEST_F(RecoveryRun, StopDuringChainWalkWritesNothing) {
    MailboxWriter writer;
    for (int n = 1; n <= 40; ++n) {
        writer.addMessage(makeMail(n, 3000)); // 6 records each: 240 in all
    }
    view.onEvents = [](int) { StopRequested = true; }; // the first event is after record 100
    const RunReport report = recover(writer.build());
    EXPECT_EQ(report.recordCount, 100);
    EXPECT_EQ(report.mailCount, 0);
    EXPECT_TRUE(report.stopped);
    EXPECT_EQ(view.messageTexts.at(1), u"削除レコードを復元しています。(レコード件数=100)");
    EXPECT_EQ(lastMessage(), u"メールが見つかりませんでした。");
    EXPECT_TRUE(testing::filesIn(report.outputFolder).empty());
}

TEST_F(RecoveryRun, StopDuringReassemblyFinishesTheCurrentMessage) {
    MailboxWriter writer;
    std::vector<Bytes> mails;
    for (int n = 1; n <= 5; ++n) {
        mails.push_back(makeMail(n, 2000));
        writer.addMessage(mails.back());
    }
    view.onEvents = [](int) { StopRequested = true; };
    const RunReport report = recover(writer.build());
    ASSERT_EQ(report.mailCount, 1);
    EXPECT_TRUE(report.stopped);
    expectSurvivorsInPlace(outputs(report)[0], mails[0]);
    EXPECT_EQ(lastMessage(),
              u"1通のメールが見つかりました。出力先フォルダをExplorerで開きますか？");
}

// Paced runs, on a clock that moves one millisecond each time it is read
// (looked at once per point): the window gets in about every 15 points, not
// at each.
class PacedRun : public RecoveryRun {
protected:
    // Each run in a fresh view and location of its own.
    RunReport recoverPaced(const Bytes& mailbox, MonotonicClock clock,
                           std::function<void(int)> onEvents = nullptr) {
        mailboxPath = dir.path() / "mailbox.dbx";
        testing::writeFile(mailboxPath, mailbox);
        const auto location = dir.path() / ("paced" + std::to_string(++runs));
        std::filesystem::create_directory(location);
        view = RecordingView();
        view.location = platform::pathText(location);
        view.onEvents = std::move(onEvents);
        RunSettings settings = testing::everyPoint();
        settings.pacing = {std::chrono::milliseconds(15), std::move(clock), 1};
        return recoverMailbox(mailboxPath, view, repair::RepairOptions{}, settings);
    }
    static MonotonicClock ticking() {
        return [now = std::chrono::nanoseconds{0}]() mutable {
            return now += std::chrono::milliseconds(1);
        };
    }
    static MonotonicClock frozen() {
        return [] { return std::chrono::nanoseconds{0}; };
    }
    int runs = 0;
};

TEST_F(PacedRun, StopInALongRepairIsSeenAfterThatMessageAndVisitsFollowTime) {
    MailboxWriter writer;
    writer.addMessage(makeMail(1, 150000)); // about 2,000 lines
    writer.addMessage(makeMail(2));
    writer.addMessage(makeMail(3));
    const Bytes mailbox = writer.build();

    int points = 0;
    view.onEvents = [&points](int count) { points = count; };
    recover(mailbox); // every point lets the window in
    ASSERT_GT(points, 2000);

    const RunReport paced = recoverPaced(mailbox, ticking());
    EXPECT_EQ(paced.mailCount, 3);
    // The first point, one in 15 after it, and the ends of the three phases.
    EXPECT_LE(view.eventCount, 1 + points / 15 + 3);
    EXPECT_GE(view.eventCount, points / 16 - 3);

    // Stop pressed at the first visit of the reassembly: 15 lines into the
    // first message's repair.
    const RunReport stopped = recoverPaced(mailbox, ticking(), [this](int) {
        if (view.isVisible(StatusControl::Proc)) {
            StopRequested = true;
        }
    });
    EXPECT_TRUE(stopped.stopped);
    EXPECT_EQ(stopped.mailCount, 1) << "the run stops right after the message it was in";
    ASSERT_EQ(stopped.files.size(), 1u);
    EXPECT_EQ(stopped.files[0].file.filename(), "Recover1.eml") << "no file renamed";
}

TEST_F(PacedRun, APhaseNeverEndsOnAPointPassedOver) {
    MailboxWriter writer;
    for (int n = 1; n <= 4; ++n) {
        writer.addMessage(makeMail(n));
    }
    // The clock stands still: after the first point, only the ends of the
    // reassembly and of the rename pass let the window in. A Stop pressed
    // at the end of the reassembly keeps every file from being renamed.
    const RunReport report = recoverPaced(writer.build(), frozen(), [](int count) {
        if (count == 2) {
            StopRequested = true;
        }
    });
    EXPECT_EQ(view.eventCount, 2);
    EXPECT_EQ(report.mailCount, 4);
    EXPECT_TRUE(report.stopped);
    for (const RenamedFile& file : report.files) {
        EXPECT_FALSE(file.reached);
    }
    EXPECT_EQ(testing::filesIn(report.outputFolder).size(), 4u);
}

TEST_F(RecoveryRun, CloseDuringReassemblySkipsTheReport) {
    MailboxWriter writer;
    for (int n = 1; n <= 3; ++n) {
        writer.addMessage(makeMail(n));
    }
    view.onEvents = [](int) {
        StopRequested = true;
        ExitAfterStop = true;
    };
    const RunReport report = recover(writer.build());
    EXPECT_EQ(report.mailCount, 1);
    EXPECT_TRUE(view.messages.empty()) << "no report when the window is closing";
    ASSERT_EQ(report.files.size(), 1u);
    EXPECT_EQ(report.files[0].file.filename(), "Recover1.eml") << "no file renamed";
}

TEST_F(RecoveryRun, StopRequestedBeforeTheRunIsCleared) {
    MailboxWriter writer;
    writer.addMessage(makeMail(1));
    StopRequested = true;
    const RunReport report = recover(writer.build());
    EXPECT_EQ(report.mailCount, 1);
    EXPECT_FALSE(report.stopped);
}

TEST_F(RecoveryRun, RunsInTheSameSecondNeverShareAFolder) {
    MailboxWriter big;
    const Bytes bigMail = makeMail(1, 5000);
    big.addMessage(bigMail);
    MailboxWriter small;
    small.addMessage(makeMail(2, 600));
    for (int attempt = 0; attempt < 5; ++attempt) {
        const RunReport first = recover(big.build());
        const RunReport second = recover(small.build());
        const RunReport third = recover(small.build());
        const Text firstName = platform::pathText(first.outputFolder.filename());
        if (platform::pathText(third.outputFolder.filename()) != firstName + u"_3") {
            continue; // the runs fell in different seconds
        }
        EXPECT_EQ(platform::pathText(second.outputFolder.filename()), firstName + u"_2");
        ASSERT_EQ(testing::filesIn(first.outputFolder).size(), 1u);
        expectSurvivorsInPlace(outputs(first)[0], bigMail);
        EXPECT_EQ(testing::filesIn(second.outputFolder).size(), 1u);
        EXPECT_EQ(testing::filesIn(third.outputFolder).size(), 1u);
        return;
    }
    GTEST_SKIP() << "no three runs fell in one second";
}

TEST_F(RecoveryRun, FailedWriteStopsTheRunAndSaysWhy) {
#ifdef _WIN32
    GTEST_SKIP() << "Windows has no per-process file size limit to make a write fail";
#else
    MailboxWriter writer;
    for (int n = 1; n <= 3; ++n) {
        writer.addMessage(makeMail(n, 4000));
    }
    const Bytes mailbox = writer.build();
    mailboxPath = dir.path() / "mailbox.dbx";
    testing::writeFile(mailboxPath, mailbox);

    // No file may grow past 3000 bytes, so the first 4000-byte message fails
    // to write. A file size limit stops root too, where permissions would not.
    std::signal(SIGXFSZ, SIG_IGN);
    rlimit saved{};
    getrlimit(RLIMIT_FSIZE, &saved);
    rlimit limited = saved;
    limited.rlim_cur = 3000;
    setrlimit(RLIMIT_FSIZE, &limited);
    const RunReport report =
        recoverMailbox(mailboxPath, view, repair::RepairOptions{}, testing::everyPoint());
    setrlimit(RLIMIT_FSIZE, &saved);
    std::signal(SIGXFSZ, SIG_DFL);

    EXPECT_EQ(report.outcome, RunOutcome::WriteFailed);
    EXPECT_EQ(report.mailCount, 1);
    EXPECT_EQ(view.messages.size(), 1u) << "the failure, and no success report";
    EXPECT_EQ(view.messages.back().icon, MessageIcon::Error);
    EXPECT_NE(view.messages.back().text.find(u"Recover1.eml"), Text::npos);
    EXPECT_EQ(view.messages.back().text.rfind(u"メールファイルの書き込みに失敗しました。", 0), 0u);
    EXPECT_TRUE(view.isVisible(StatusControl::StartButton)) << "the window is restored";
#endif
}

} // namespace
} // namespace keldor::engine
