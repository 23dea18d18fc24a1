// What pass 2 puts aside for the rename pass comes back whole and in order,
// across the buffer's edges and through the scratch file, and leaves no file.

#include "engine/mail_info_log.h"

#include "tests/support/test_support.h"

#include <gtest/gtest.h>

namespace keldor::engine {
namespace {

std::optional<mailinfo::MailInfo> entry(int n) {
    if (n % 7 == 3) {
        return std::nullopt; // a message too long to hold: read from its file
    }
    Text subject = u"件名 " + Text(static_cast<std::size_t>(n % 50), u'あ');
    if (n == 1500) {
        subject.assign(45000, u'長'); // longer than the buffer on its own
    }
    if (n % 11 == 0) {
        subject.clear();
    }
    return mailinfo::MailInfo{subject,
                              n % 13 == 0 ? Text(u"(不明)") : Text(u"2008/10/23 15:30:45")};
}

TEST(MailInfoLog, GivesBackEveryEntryInOrderAndLeavesNoFile) {
    const testing::TempDir dir;
    constexpr int kCount = 3000;
    {
        MailInfoLog log(dir.path());
        for (int n = 1; n <= kCount; ++n) {
            log.add(entry(n));
        }
        for (int n = 1; n <= kCount; ++n) {
            const std::optional<mailinfo::MailInfo> expected = entry(n);
            const std::optional<mailinfo::MailInfo> got = log.take(n);
            ASSERT_EQ(got.has_value(), expected.has_value()) << n;
            if (got) {
                ASSERT_EQ(got->subject, expected->subject) << n;
                ASSERT_EQ(got->dateText, expected->dateText) << n;
            }
        }
        EXPECT_FALSE(log.take(kCount + 1)); // never added
    }
    EXPECT_TRUE(testing::filesIn(dir.path()).empty());
}

TEST(MailInfoLog, TakenOutOfOrderGivesNothingFromThereOn) {
    const testing::TempDir dir;
    MailInfoLog log(dir.path());
    for (int n = 1; n <= 5; ++n) {
        log.add(mailinfo::MailInfo{u"s", u"d"});
    }
    ASSERT_TRUE(log.take(1));
    EXPECT_FALSE(log.take(3));
    EXPECT_FALSE(log.take(4));
}

TEST(MailInfoLog, WithoutScratchFileKeepsOnlyWhatNeverLeftMemory) {
    const testing::TempDir dir;
    const std::filesystem::path gone = dir.path() / "gone"; // no file can be made there
    {
        MailInfoLog log(gone);
        log.add(mailinfo::MailInfo{u"first", u"d"});
        log.add(std::nullopt);
        ASSERT_TRUE(log.take(1));
        EXPECT_EQ(log.take(1 + 1), std::nullopt);
    }
    // The buffer fills, the scratch file cannot be made: every message of
    // the run is then read from its file, none is given wrongly.
    MailInfoLog log(gone);
    log.add(mailinfo::MailInfo{u"first", u"d"});
    log.add(mailinfo::MailInfo{Text(40000, u'x'), u"d"}); // 80 KB: over the buffer
    log.add(mailinfo::MailInfo{u"third", u"d"});
    EXPECT_FALSE(log.take(1));
    EXPECT_FALSE(log.take(2));
    EXPECT_FALSE(log.take(3));
}

} // namespace
} // namespace keldor::engine
