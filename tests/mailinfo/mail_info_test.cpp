// Subject and date of small message files, and the date parser on its own.

#include "mailinfo/mail_info.h"

#include "platform/cp932.h"
#include "tests/support/test_support.h"

#include <gtest/gtest.h>

#include <random>

namespace keldor::mailinfo {
namespace {

using testing::utf8;

TEST(ParseMailDate, BuildsTheDateText) {
    struct Case {
        Text value;
        Text expected;
    };
    const Case cases[] = {
        {u"Tue, 3 Jun 2008 12:34:56 +0900", u"2008/06/03 12:34:56"},
        {u"Tue, 03 Jun 2008 8:05:09 +0900 (JST)", u"2008/06/03  8:05:09"},
        {u"Mon, 1 JAN 2001 00:00:00 GMT", u"2001/01/01 00:00:00"},
        {u"Fri, 5 Dec 08 10:00:00 +0900", u"08/12/05 10:00:00"},
        // A NUL is a blank, but only after the blanks are collapsed.
        {Text(u"Tue, 3 Jun 2008\0"
              u"12:34:56 +0900",
              30),
         u"2008/06/03 12:34:56"},
        {Text(u"Tue, 3 Jun 2008 \0"
              u"12:34:56 +0900",
              31),
         u"2008/06/03  "},
        // The Received form: the month is found after the host names.
        {u"from a.example by b.example; Thu, 23 Oct 2008 15:30:45 +0900", u"2008/10/23 15:30:45"},
        // Months are tried in calendar order: " jun " comes before " oct ".
        {u"from oct by x; Mon, 2 Jun 2008 1:02:03 +0900 (oct )", u"2008/06/02  1:02:03"},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(parseMailDate(c.value), c.expected) << utf8(c.value);
    }
}

TEST(ParseMailDate, GivesMarkersForDatesItCannotRead) {
    struct Case {
        Text value;
        std::u16string_view expected;
    };
    const Case cases[] = {
        {u"3 Jun 2008 12:34:56 +0900", kDamagedDate}, // month at position 2
        {u"Tue, 3 June 2008 12:34:56 +0900", kDamagedDate},
        {u"", kDamagedDate},
        {u"Tue, 3 Jun 2008 12:34:56", kUnknownDate}, // no zone: four fields
        {u"Tue, 3 Jun ", kUnknownDate},
        // Blanks before the month take the place of the day, which is lost.
        {u"Wed,   10   Dec  2008   08:59:30  +0900", kUnknownDate},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(parseMailDate(c.value), c.expected) << utf8(c.value);
    }
    // A month at the start counts only through a later month of the calendar.
    EXPECT_EQ(parseMailDate(u" Jun 3 2008 12:00:00 +0900"), kDamagedDate);
    EXPECT_EQ(parseMailDate(u" Jan 3 Jul 2008 12:00:00 +0900"), u"2008/07/03 12:00:00");
}

class ReadMailInfo : public ::testing::Test {
protected:
    MailInfo read(ByteView contents) {
        const auto file = dir.path() / "Recover1.eml";
        testing::writeFile(file, contents);
        return readMailInfo(file);
    }
    testing::TempDir dir;
};

TEST_F(ReadMailInfo, TakesSubjectAndDate) {
    const MailInfo info = read("From: a@example.jp\r\n"
                               "Subject: =?iso-2022-jp?B?GyRCMCEbKEI=?= test\r\n"
                               "Date: Thu, 23 Oct 2008 15:30:45 +0900\r\n"
                               "\r\n"
                               "Subject: body text\r\n");
    EXPECT_EQ(info.subject, u"亜 test");
    EXPECT_EQ(info.dateText, u"2008/10/23 15:30:45");
}

TEST_F(ReadMailInfo, DatesFromTheFirstReceivedHeaderBeforeDate) {
    const MailInfo info = read("X-Received: by x; Mon, 1 Dec 2008 01:00:00 +0000\r\n"
                               "Received: from a\r\n"
                               "\tby b; Tue, 2 Dec 2008 02:00:00 +0000\r\n"
                               "Date: Wed, 3 Dec 2008 03:00:00 +0900\r\n"
                               "Subject: s\r\n\r\n");
    // "received: " also ends "X-Received: ", which comes first.
    EXPECT_EQ(info.dateText, u"2008/12/01 01:00:00");

    const MailInfo folded = read("Received: from a by b;\r\n"
                                 "\tTue, 2 Dec 2008 02:00:00 +0000\r\n"
                                 "Date: Wed, 3 Dec 2008 03:00:00 +0900\r\n\r\n");
    EXPECT_EQ(folded.dateText, u"2008/12/02 02:00:00");

    // A Received header without a readable date still wins over Date.
    const MailInfo broken = read("Received: from a by b\r\n"
                                 "Date: Wed, 3 Dec 2008 03:00:00 +0900\r\n\r\n");
    EXPECT_EQ(broken.dateText, kDamagedDate);
}

TEST_F(ReadMailInfo, UnfoldsTheSubjectWithoutBlanks) {
    const MailInfo words = read("Subject: =?iso-2022-jp?B?GyRCMCEbKEI=?=\r\n"
                                " =?utf-8?B?44GC?=\r\n"
                                "\t  =?utf-8?B?44GC?=\r\n"
                                "Date: Wed, 3 Dec 2008 03:00:00 +0900\r\n\r\n");
    EXPECT_EQ(words.subject, u"亜ああ");

    const MailInfo plain = read("Subject: two  \r\n   words\r\nTo: x\r\n\r\n");
    EXPECT_EQ(plain.subject, u"two  words");
}

TEST_F(ReadMailInfo, DropsTheLineEndOfAValueOnTheLastHeaderLine) {
    struct Case {
        const char* message;
        std::u16string_view subject;
    };
    const Case cases[] = {
        // CR LF: the block ends on the CR of the blank line.
        {"Date: Wed, 3 Dec 2008 03:00:00 +0900\r\nSubject: last\r\n\r\nbody\r\n", u"last"},
        {"Date: Wed, 3 Dec 2008 03:00:00 +0900\r\nSubject: two\r\n words\r\n\r\n", u"twowords"},
        // LF alone: no blank line is found, the block runs to the end of the file.
        {"Date: Wed, 3 Dec 2008 03:00:00 +0900\nSubject: last\n", u"last"},
        {"Date: Wed, 3 Dec 2008 03:00:00 +0900\nSubject: last\r\n", u"last"},
    };
    for (const Case& c : cases) {
        const MailInfo info = read(c.message);
        EXPECT_EQ(info.subject, c.subject) << c.message;
        EXPECT_EQ(info.dateText, u"2008/12/03 03:00:00") << c.message;
    }
    const MailInfo dated = read("Subject: s\r\nDate: Wed, 3 Dec 2008 03:00:00 +0900\r\n\r\n");
    EXPECT_EQ(dated.dateText, u"2008/12/03 03:00:00");
}

TEST_F(ReadMailInfo, GivesMarkersForWhatIsMissing) {
    const MailInfo empty = read("");
    EXPECT_EQ(empty.subject, kNoSubject);
    EXPECT_EQ(empty.dateText, kUnknownDate);

    const MailInfo noBlank = read("Subject:no blank\r\nSubject:\tTab\r\n\r\n");
    EXPECT_EQ(noBlank.subject, kNoSubject);

    const MailInfo emptySubject = read("Subject: \r\nDate: x\r\n\r\n");
    EXPECT_EQ(emptySubject.subject, u"");
    EXPECT_EQ(emptySubject.dateText, kDamagedDate);

    const MailInfo missing = readMailInfo(dir.path() / "missing.eml");
    EXPECT_EQ(missing.subject, kUnreadable);
    EXPECT_EQ(missing.dateText, kUnreadable);
}

TEST_F(ReadMailInfo, ASubjectThatDoesNotDecodeLeavesBothUnread) {
    const MailInfo info = read("Subject: =?utf-8?B?44E=?=\r\n"
                               "Date: Wed, 3 Dec 2008 03:00:00 +0900\r\n\r\n");
    EXPECT_EQ(info.subject, kUnreadable);
    EXPECT_EQ(info.dateText, kUnreadable);
}

TEST_F(ReadMailInfo, ReadsRawShiftJisAndOnlyTheFirst64KiB) {
    EXPECT_EQ(read("Subject: \x8D\xDD\x8C\xC9\r\nTo: x\r\n\r\n").subject, u"在庫");

    // Without a blank line the whole text read is the header block.
    Bytes noBlankLine = "To: x\r\n" + Bytes(1000, 'a') + "\r\nSubject: in the body\r\n";
    EXPECT_EQ(read(noBlankLine).subject, u"in the body");

    Bytes beyond = Bytes(kHeaderReadLimit, 'x') + "\r\nSubject: too far\r\n\r\n";
    EXPECT_EQ(read(beyond).subject, kNoSubject);
    Bytes cut = Bytes(kHeaderReadLimit - 20, 'x') + "\r\nSubject: cut off here\r\n\r\n";
    EXPECT_EQ(read(cut).subject, u"cut off h");
}

// Converting only the bytes before the blank line gives the text that
// converting them all and cutting at the blank line gives, whatever stands
// around it: lead bytes before a CR, codes across the cut, bytes that are no
// code at all.
TEST(HeaderBlock, IsTheWholeConversionCutAtTheBlankLine) {
    const auto wholeThenCut = [](ByteView head) {
        Text text = platform::cp932ToText(head);
        const std::size_t blank = text.find(u"\r\n\r\n");
        return blank == Text::npos ? text : text.substr(0, blank + 1);
    };
    const char pieces[] = {'\r',   '\n',   'a',    ':',    ' ',    '\x82', '\xA0', '\x81', '\xE0',
                           '\xFC', '\x40', '\x7F', '\x80', '\xFD', '\x00', '\x0D', '\xA6', '\x9F'};
    std::mt19937 random(7);
    for (int n = 0; n < 3000; ++n) {
        Bytes head;
        const std::size_t length = random() % 40;
        for (std::size_t i = 0; i < length; ++i) {
            head += pieces[random() % sizeof pieces];
        }
        ASSERT_EQ(headerBlock(head), wholeThenCut(head)) << "case " << n;
    }
    if (const auto folder = testing::corpusPath("mail")) {
        for (const auto& file : testing::filesIn(*folder)) {
            const Bytes head = testing::readFile(file).substr(0, kHeaderReadLimit);
            EXPECT_EQ(headerBlock(head), wholeThenCut(head)) << file;
        }
    }
}

} // namespace
} // namespace keldor::mailinfo

namespace keldor::mailinfo {
namespace {

// Real messages from the corpus, with their line ends made CR LF as a
// recovered file has them.
class CorpusMailInfo : public ::testing::Test {
protected:
    std::optional<MailInfo> read(const std::string& name) {
        const auto source = testing::corpusPath("mail/" + name);
        if (!source || !std::filesystem::exists(*source)) {
            return std::nullopt;
        }
        Bytes crlf;
        for (const char c : testing::readFile(*source)) {
            if (c == '\n' && (crlf.empty() || crlf.back() != '\r')) {
                crlf += '\r';
            }
            crlf += c;
        }
        const auto file = dir.path() / "Recover1.eml";
        testing::writeFile(file, crlf);
        return readMailInfo(file);
    }
    testing::TempDir dir;
};

TEST_F(CorpusMailInfo, DecodesRealSubjects) {
    struct Case {
        const char* file;
        Text subject;
        Text date;
    };
    const Case cases[] = {
        // A four-byte UTF-8 word and a Q word in mixed case, folded.
        {"letters__test_japanese_plaintext_iso-2022-jp_over_7bit.eml", u"\U0001F4E7 Testいろは歌",
         u"2019/04/01 07:55:00"},
        {"jpmobile__iphone-circled-numbers-in-jis.eml", u"テスト①", u"2014/12/29 13:02:07"},
        // A word with a stray "=" before "?=", folded onto the next line.
        {"worksap__subject_005.eml", u"テストテスト(テスト2/9(テスト)テスト18:00テスト",
         Text(kUnknownDate)},
        {"mailiso2022jp__sample0.eml", u"投稿0", u"2009/04/02 10:37:53"},
    };
    for (const Case& c : cases) {
        const std::optional<MailInfo> info = read(c.file);
        if (!info) {
            GTEST_SKIP() << "corpus not found";
        }
        EXPECT_EQ(info->subject, c.subject) << c.file << ": " << utf8(info->subject);
        EXPECT_EQ(info->dateText, c.date) << c.file;
    }
}

TEST_F(CorpusMailInfo, ReadsEveryMessage) {
    const auto folder = testing::corpusPath("mail");
    if (!folder || !std::filesystem::is_directory(*folder)) {
        GTEST_SKIP() << "corpus not found";
    }
    int read = 0;
    for (const auto& file : testing::filesIn(*folder)) {
        if (file.extension() != ".eml") {
            continue;
        }
        const MailInfo info = readMailInfo(file);
        EXPECT_NE(info.subject, kUnreadable) << file;
        EXPECT_FALSE(info.dateText.empty()) << file;
        ++read;
    }
    EXPECT_GT(read, 0);
}

} // namespace
} // namespace keldor::mailinfo
