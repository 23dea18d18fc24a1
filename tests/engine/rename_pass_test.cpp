// The rename pass over a folder of written message files: names, numbered
// suffixes, names that cannot be taken, file times, progress and Stop.

#include "engine/rename_pass.h"

#include "engine/run_flags.h"
#include "platform/text.h"
#include "tests/support/test_support.h"

#include <gtest/gtest.h>

#include <memory>

namespace keldor::engine {
namespace {

using testing::utf8;

constexpr std::int64_t kWrittenAt = 1100000000; // 2004-11-09, before every mail's date

class RenamePass : public ::testing::Test {
protected:
    void SetUp() override {
        StopRequested = false;
        zone = std::make_unique<testing::ZoneScope>("JST-9");
    }
    void TearDown() override {
        StopRequested = false;
        zone.reset();
    }

    // Writes Recover1.eml … in order, one per header, each with a body that
    // tells it apart, and an old modification time.
    void writeMails(const std::vector<Bytes>& headers) {
        for (std::size_t i = 0; i < headers.size(); ++i) {
            const auto file = dir.path() / temporaryFileName(static_cast<int>(i) + 1);
            testing::writeFile(file, headers[i] + "\r\nmail " + std::to_string(i + 1) + "\r\n");
            testing::setFileStamps(file, kWrittenAt, kWrittenAt);
        }
        count = static_cast<int>(headers.size());
    }

    std::vector<RenamedFile> run() { return renameMessageFiles(dir.path(), count, view); }

    Text nameOf(const RenamedFile& file) const { return platform::pathText(file.file.filename()); }

    static std::int64_t modifiedAt(const std::filesystem::path& file) {
        return testing::fileStamps(file).modified;
    }

    testing::TempDir dir;
    testing::RecordingView view;
    int count = 0;
    std::unique_ptr<testing::ZoneScope> zone;
};

Bytes header(const Bytes& subject, const Bytes& date = "Thu, 23 Oct 2008 15:30:45 +0900") {
    return "Subject: " + subject + "\r\nDate: " + date + "\r\n";
}

TEST_F(RenamePass, NamesFilesAfterSubjectsWithNumberedSuffixesInOrder) {
    writeMails({header("abc"), "Date: Thu, 23 Oct 2008 15:30:45 +0900\r\n", header("abc"),
                header("=?iso-2022-jp?B?GyRCMCEbKEI=?="), header("abc"), "To: x\r\n"});
    const std::vector<RenamedFile> files = run();
    ASSERT_EQ(files.size(), 6u);
    const Text expected[] = {u"abc.eml", u"(件名なし).eml", u"abc(1).eml",
                             u"亜.eml",  u"abc(2).eml",     u"(件名なし)(1).eml"};
    for (std::size_t i = 0; i < files.size(); ++i) {
        EXPECT_EQ(nameOf(files[i]), expected[i]) << i;
        EXPECT_EQ(files[i].number, static_cast<int>(i) + 1);
        EXPECT_TRUE(files[i].reached);
        const Bytes body = testing::readFile(files[i].file);
        EXPECT_NE(body.find("mail " + std::to_string(i + 1)), Bytes::npos) << utf8(expected[i]);
    }
    EXPECT_EQ(files[0].subject, u"abc");
    EXPECT_EQ(files[1].subject, u"(件名なし)");
    EXPECT_EQ(files[0].dateText, u"2008/10/23 15:30:45");
    EXPECT_EQ(testing::filesIn(dir.path()).size(), 6u);
}

TEST_F(RenamePass, CleansSubjectsAndKeepsRefusedNamesTemporary) {
    writeMails({
        header("a/b: c?"), header("x\\y*\"<>|z"),
        "Subject: \r\n\r\n", // nothing but the line end of the last line
        header("a\nb"),      // lone LF
        header("tab\there"), header("CON"),
        header("Recover8"), // the name of a file not yet renamed
        header("keep"),
        "Date: Thu, 23 Oct 2008 15:30:45 +0900\r\nSubject: last\r\n", // line end dropped
    });
    const std::vector<RenamedFile> files = run();
    ASSERT_EQ(files.size(), 9u);
    EXPECT_EQ(nameOf(files[0]), u"a_b_ c_.eml");
    EXPECT_EQ(nameOf(files[1]), u"x_y_____z.eml");
    EXPECT_EQ(nameOf(files[2]), u"(件名なし).eml");
    EXPECT_EQ(nameOf(files[3]), u"Recover4.eml");
    EXPECT_EQ(nameOf(files[4]), u"Recover5.eml");
    EXPECT_EQ(nameOf(files[5]), u"Recover6.eml");
    EXPECT_EQ(nameOf(files[6]), u"Recover8(1).eml");
    EXPECT_EQ(nameOf(files[7]), u"keep.eml");
    EXPECT_EQ(nameOf(files[8]), u"last.eml");
    EXPECT_EQ(files[8].subject, u"last");
    // The file whose name could not be taken still has its mail's date.
    EXPECT_EQ(modifiedAt(files[3].file), 1224743445);
    EXPECT_EQ(testing::filesIn(dir.path()).size(), 9u);
}

TEST_F(RenamePass, CleanSubjectRemovesOnlyCrLfPairs) {
    EXPECT_EQ(cleanSubject(u"\r\n\r\n"), u"(件名なし)");
    EXPECT_EQ(cleanSubject(u""), u"(件名なし)");
    EXPECT_EQ(cleanSubject(u"a\r\n\tb\r"), u"a\tb\r");
    EXPECT_EQ(cleanSubject(u"\r\r\n\n"), u"\r\n");
    EXPECT_EQ(cleanSubject(Text(u"a\0b", 3)), u"a_b");
}

TEST_F(RenamePass, NeverOverwritesAnExistingFile) {
    testing::writeFile(dir.path() / "abc.eml", "precious");
    testing::writeFile(dir.path() / "abc(1).eml", "precious too");
    writeMails({header("abc")});
    const std::vector<RenamedFile> files = run();
    EXPECT_EQ(nameOf(files[0]), u"abc(2).eml");
    EXPECT_EQ(testing::readFile(dir.path() / "abc.eml"), "precious");
    EXPECT_EQ(testing::readFile(dir.path() / "abc(1).eml"), "precious too");
}

TEST_F(RenamePass, RepeatedSubjectsTakeTheFirstFreeSuffixAroundExistingFiles) {
    testing::writeFile(dir.path() / "abc(2).eml", "precious");
    writeMails({header("abc"), header("abc"), header("x"), header("abc"), header("abc")});
    const std::vector<RenamedFile> files = run();
    const Text expected[] = {u"abc.eml", u"abc(1).eml", u"x.eml", u"abc(3).eml", u"abc(4).eml"};
    ASSERT_EQ(files.size(), 5u);
    for (std::size_t i = 0; i < files.size(); ++i) {
        EXPECT_EQ(nameOf(files[i]), expected[i]) << i;
    }
    EXPECT_EQ(testing::readFile(dir.path() / "abc(2).eml"), "precious");
}

TEST_F(RenamePass, ShortensSubjectsTooLongForTheFileSystem) {
    // 100 characters of Shift_JIS are 300 bytes of UTF-8.
    Bytes subject;
    for (int i = 0; i < 100; ++i) {
        subject += "\x82\xA0";
    }
    writeMails({header(subject), header(subject)});
    const std::vector<RenamedFile> files = run();
    EXPECT_EQ(nameOf(files[0]), Text(83, u'あ') + u".eml");
    EXPECT_EQ(nameOf(files[1]), Text(82, u'あ') + u"(1).eml");
    EXPECT_EQ(files[0].subject, Text(100, u'あ'));
}

TEST_F(RenamePass, StampsTheMailsDateOrLeavesTheTimes) {
    if (!zone->applied()) {
        GTEST_SKIP() << "the system's time zone is not nine hours ahead of UTC";
    }
    writeMails({header("dated"), header("marker", "no date here"),
                header("summer", "Tue, 1 Jul 2008 12:00:00 +0200"),
                header("old", "Tue, 1 Jul 1600 12:00:00 +0000")});
    const std::vector<RenamedFile> files = run();
    // 2008-10-23 15:30:45 in a zone nine hours ahead is 06:30:45 UTC.
    EXPECT_EQ(modifiedAt(files[0].file), 1224743445);
    EXPECT_EQ(files[1].dateText, u"(破損)");
    EXPECT_EQ(modifiedAt(files[1].file), kWrittenAt);
    // The zone of the stamp, not the mail's: 12:00 local is 03:00 UTC.
    EXPECT_EQ(modifiedAt(files[2].file), 1214881200);
    EXPECT_EQ(modifiedAt(files[3].file), kWrittenAt);
}

TEST_F(RenamePass, ReportsProgressForEveryFile) {
    writeMails({header("a"), header("b"), header("c")});
    run();
    EXPECT_EQ(view.progress, (std::vector<int>{33, 67, 100}));
    EXPECT_EQ(view.statusTexts,
              (std::vector<Text>{u"1通のメールをリネーム", u"2通のメールをリネーム",
                                 u"3通のメールをリネーム"}));
    EXPECT_EQ(view.lastPercent, u"100%");
    EXPECT_EQ(view.eventCount, 3);

    EXPECT_EQ(progressPercent(1, 8), 12);  // 12.5 to even
    EXPECT_EQ(progressPercent(3, 8), 38);  // 37.5 to even
    EXPECT_EQ(progressPercent(1, 200), 0); // 0.5 to even
    EXPECT_EQ(progressPercent(3, 200), 2); // 1.5 to even
    EXPECT_EQ(progressPercent(2, 3), 67);
}

TEST_F(RenamePass, StopLeavesTheFilesNotReachedAsWritten) {
    writeMails({header("a"), header("b"), header("c"), header("d")});
    view.onEvents = [](int events) {
        if (events == 2) {
            StopRequested = true;
        }
    };
    const std::vector<RenamedFile> files = run();
    ASSERT_EQ(files.size(), 4u);
    EXPECT_EQ(nameOf(files[0]), u"a.eml");
    EXPECT_EQ(nameOf(files[1]), u"b.eml");
    EXPECT_EQ(nameOf(files[2]), u"Recover3.eml");
    EXPECT_FALSE(files[2].reached);
    EXPECT_TRUE(files[2].subject.empty());
    EXPECT_EQ(modifiedAt(files[2].file), kWrittenAt);
    EXPECT_EQ(nameOf(files[3]), u"Recover4.eml");
    EXPECT_EQ(view.statusTexts.size(), 2u);
}

TEST_F(RenamePass, StopBeforeThePassRenamesNothing) {
    writeMails({header("a"), header("b")});
    StopRequested = true;
    const std::vector<RenamedFile> files = run();
    ASSERT_EQ(files.size(), 2u);
    for (const RenamedFile& file : files) {
        EXPECT_FALSE(file.reached);
        EXPECT_EQ(modifiedAt(file.file), kWrittenAt);
    }
    EXPECT_EQ(nameOf(files[0]), u"Recover1.eml");
    EXPECT_EQ(view.eventCount, 0);
    EXPECT_TRUE(view.progress.empty());
}

TEST_F(RenamePass, AMissingFileKeepsItsPlace) {
    writeMails({header("a"), header("b")});
    std::filesystem::remove(dir.path() / "Recover1.eml");
    const std::vector<RenamedFile> files = run();
    EXPECT_EQ(files[0].subject, u"[不明]");
    EXPECT_EQ(nameOf(files[0]), u"Recover1.eml");
    EXPECT_EQ(nameOf(files[1]), u"b.eml");
}

} // namespace
} // namespace keldor::engine
