#include "repair/header_names.h"

#include "tests/support/repair_lines.h"

#include <gtest/gtest.h>

namespace keldor::repair {
namespace {

using testing::raw;

struct Case {
    const char* name;
    Bytes damaged;
    Bytes repaired;
};

TEST(HeaderNames, LongerNamesComeBeforeTheShorterOnesTheyBeginWith) {
    ASSERT_EQ(HeaderNames.size(), 34u);
    EXPECT_EQ(HeaderNames[0], "This is a multi-part message in MIME format.");
    EXPECT_EQ(HeaderNames[31], "Subject: ");
    EXPECT_EQ(HeaderNames[33], "Status: ");
    for (std::size_t i = 0; i < HeaderNames.size(); ++i) {
        for (std::size_t j = i + 1; j < HeaderNames.size(); ++j) {
            EXPECT_FALSE(HeaderNames[j].size() > HeaderNames[i].size() &&
                         HeaderNames[j].starts_with(HeaderNames[i]))
                << HeaderNames[j] << " would never be reached after " << HeaderNames[i];
        }
    }
}

TEST(CompleteHeaderName, FillsLostBytesAtTheStartOfAHeaderLine) {
    const std::vector<Case> cases = {
        {"subject", raw("\0\0\0\0ect: abc\r\n"), "Subject: abc\r\n"},
        {"longest content type first", raw("\0\0\0\0ent-Type: multipart/alternative;\r\n"),
         "Content-Type: multipart/alternative;\r\n"},
        {"transfer encoding", raw("\0\0\0\0ent-Transfer-Encoding: base64\r\n"),
         "Content-Transfer-Encoding: base64\r\n"},
        {"lost inside the name", raw("Cont\0\0\0\0Type: text/plain;\r\n"),
         "Content-Type: text/plain;\r\n"},
        {"preamble sentence", raw("\0\0\0\0 is a multi-part message in MIME format.\r\n"),
         "This is a multi-part message in MIME format.\r\n"},
        {"the surviving letters' case", raw("\0\0\0\0ECT: abc\r\n"), "SUBJECT: abc\r\n"},
        {"a word in another case", raw("Content-transfer-en\0\0\0\0ng: base64\r\n"),
         "Content-transfer-encoding: base64\r\n"},
        {"a first letter lost among lower-case words", raw("\0\0\0\0ent-type: text/plain;\r\n"),
         "content-type: text/plain;\r\n"},
        {"unknown name", raw("\0\0\0\0: sender@example.jp\r\n"),
         raw("\0\0\0\0: sender@example.jp\r\n")},
        {"folded line starting with a tab", raw("\t\0\0\0\0rset=x\r\n"),
         raw("\t\0\0\0\0rset=x\r\n")},
        {"folded line starting with a blank", raw(" \0\0\0ject: x\r\n"), raw(" \0\0\0ject: x\r\n")},
        {"shorter than any name", raw("\0\0\r\n"), raw("\0\0\r\n")},
        {"empty", "", ""},
        {"intact name, lost value", raw("Subject: \0\0\0\0\r\n"), raw("Subject: \0\0\0\0\r\n")},
    };
    for (const Case& c : cases) {
        Bytes line = c.damaged;
        completeHeaderName(line);
        EXPECT_EQ(line, c.repaired) << c.name;
    }
}

TEST(RestoreHeaderBreak, PutsBackTheLineBreakAndTheNameAfterIt) {
    const std::vector<Case> cases = {
        {"two name bytes lost", raw("X-Priority: 3\0\0\0\0ntent-Type: text/plain;\r\n"),
         "X-Priority: 3\r\nContent-Type: text/plain;\r\n"},
        {"one name byte lost", raw("Importance: Normal\0\0\0ubject: hi\r\n"),
         "Importance: Normal\r\nSubject: hi\r\n"},
        {"only the line break lost", raw("Importance: Normal\0\0Subject: hi\r\n"),
         "Importance: Normal\r\nSubject: hi\r\n"},
        {"a name in another case", raw("X-Priority: 3\0\0\0\0ntent-type: text/plain;\r\n"),
         "X-Priority: 3\r\ncontent-type: text/plain;\r\n"},
        {"a name inside a quoted string", raw("\tname=\"a\0\0\0ubject: b.txt\"\r\n"),
         raw("\tname=\"a\0\0\0ubject: b.txt\"\r\n")},
        {"the closing quote before the break",
         raw("\tcharset=\"UTF-8\0\0\0\0ontent-Type: text/html;\r\n"),
         "\tcharset=\"UTF-8\"\r\nContent-Type: text/html;\r\n"},
        {"two breaks in one line", raw("a: 1\0\0\0\0ceived: x\0\0\0-Mailer: y\r\n"),
         "a: 1\r\nReceived: x\r\nX-Mailer: y\r\n"},
        {"match at the start is left alone", raw("\0\0ntent-Type: text/plain;\r\n"),
         raw("\0\0ntent-Type: text/plain;\r\n")},
        {"one byte before the match", raw("a\0\0bject: x\r\n"), "aSubject: x\r\n"},
        {"a sender's field after a value", raw("Path: a!news\0\0\0\0From: b\r\n"),
         raw("Path: a!news\0\0\r\nFrom: b\r\n")},
        {"a name inside a comment", raw("\t(Authentica\0\0\0\0sender: mikel)\r\n"),
         raw("\t(Authentica\0\0\0\0sender: mikel)\r\n")},
        {"the comment closed before the break",
         raw("X-Mailer: Outlook (9.0 0\0\0\0\0Date: Wed, 1 Mar\r\n"),
         raw("X-Mailer: Outlook (9.0 0\0)\r\nDate: Wed, 1 Mar\r\n")},
        {"a short name cut short is no name", raw("Received: (goog\0\0\0\0om: domain)\r\n"),
         raw("Received: (goog\0\0\0\0om: domain)\r\n")},
        {"no name after the lost bytes", raw("text\0\0\0\0more text\r\n"),
         raw("text\0\0\0\0more text\r\n")},
    };
    for (const Case& c : cases) {
        Bytes line = c.damaged;
        restoreHeaderBreak(line);
        EXPECT_EQ(line, c.repaired) << c.name;
        EXPECT_EQ(line.size(), c.damaged.size()) << c.name;
    }
}

} // namespace
} // namespace keldor::repair
