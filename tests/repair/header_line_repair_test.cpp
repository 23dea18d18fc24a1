#include "repair/header_line_repair.h"

#include "tests/support/repair_lines.h"

#include <gtest/gtest.h>

#include <functional>

namespace keldor::repair {
namespace {

using testing::raw;

struct Case {
    const char* name;
    std::function<void(Bytes&)> repair;
    Bytes damaged;
    Bytes repaired;
};

TEST(HeaderLineRepair, KeepsDamagedFieldsFieldsAndFindsTheBlankLineBeforeABody) {
    const auto fieldName = [](Bytes& line) { keepFieldName(line, '*'); };
    const auto addressName = [](bool to, bool cc, bool listOpen) {
        return [=](Bytes& line) {
            restoreAddressFieldName(line, AddressFields{false, to, cc, listOpen, false});
        };
    };
    const auto fromName = [](bool from) {
        return [=](Bytes& line) {
            restoreFromName(line, AddressFields{from, false, false, false, false});
        };
    };
    const auto breakBeforeAddress = [](bool to) {
        return [=](Bytes& line) {
            restoreBreakBeforeAddressField(line, AddressFields{false, to, false, false, false});
        };
    };
    const auto breakAfterQuote = [](Bytes& line) { restoreBreakAfterOpenQuote(line, false); };
    const auto blankBeforeText = [](Bytes& line) { restoreBlankBeforeBody(line, false); };
    const auto blankBeforeBase64 = [](Bytes& line) { restoreBlankBeforeBody(line, true); };
    const std::vector<Case> cases = {
        {"lost bytes in a field name", fieldName, raw("X-Br\0\0\0\0mail-Tracker: x\r\n"),
         "X-Br****mail-Tracker: x\r\n"},
        {"a blank as the half-width character is no name character",
         [](Bytes& line) { keepFieldName(line, ' '); }, raw("X-\0\0ority: 3\r\n"),
         "X---ority: 3\r\n"},
        {"a folded line has no name", fieldName, raw("\tby mx\0\0: x\r\n"),
         raw("\tby mx\0\0: x\r\n")},
        {"text with blanks before its colon is no field", fieldName, raw("a b\0: x\r\n"),
         raw("a b\0: x\r\n")},
        {"the colon after a name", restoreFieldColon, raw("To\0\0\0\0anako@example.jp>\r\n"),
         raw("To:\0\0\0anako@example.jp>\r\n")},
        {"the one known name that fits a lost start", restoreLostNameLetters,
         raw("\0\0\0e: Sun, 25 May 2008\r\n"), "Date: Sun, 25 May 2008\r\n"},
        {"a lost start in the letter case of the rest", restoreLostNameLetters,
         raw("\0\0\0sgroups: comp.mail\r\n"), "Newsgroups: comp.mail\r\n"},
        {"one letter and a date", restoreNameTail, raw("D\0\0\0\0 Sat, 4 Dec 2008 18:59:38\r\n"),
         "Date: Sat, 4 Dec 2008 18:59:38\r\n"},
        {"the name whose end survives", restoreNameTail, raw("Li\0\0\0\0d: Shape\r\n"),
         raw("List-Id: Shape\r\n")},
        {"a whole name lost before a date", restoreLostNameLetters,
         raw("\0\0\0\0: Thu, 24 Jun 2004 10:00\r\n"), "Date: Thu, 24 Jun 2004 10:00\r\n"},
        {"a whole name lost before no date", restoreLostNameLetters,
         raw("\0\0\0\0: a@example.jp\r\n"), raw("\0\0\0\0: a@example.jp\r\n")},
        {"a whole To lost before an address", addressName(false, false, false),
         raw("\0\0\0\0\"J. Doe\" <jd@example.jp>\r\n"), "To: \"J. Doe\" <jd@example.jp>\r\n"},
        {"Cc after a To", addressName(true, false, false), raw("\0\0\0\0hk@example.jp\r\n"),
         "Cc: hk@example.jp\r\n"},
        {"both held already", addressName(true, true, false), raw("\0\0\0\0hk@example.jp\r\n"),
         raw("\0\0\0\0hk@example.jp\r\n")},
        {"a list the line before left open", addressName(false, false, true),
         raw("\0\0\0\0hk@example.jp\r\n"), raw("\0\0\0\0hk@example.jp\r\n")},
        {"a From's whole name", fromName(false), raw("\0\0\0\0: a@example.jp\r\n"),
         "From: a@example.jp\r\n"},
        {"a From's first letter", fromName(false), raw("f\0\0\0\0 a@example.jp\r\n"),
         "from: a@example.jp\r\n"},
        {"a second From is no From", fromName(true), raw("\0\0\0\0: a@example.jp\r\n"),
         raw("\0\0\0\0: a@example.jp\r\n")},
        {"a To after a From", breakBeforeAddress(false),
         raw("From: <a@ezweb.ne.j\0\0\0\0o: b@example.jp\r\n"),
         raw("From: <a@ezweb.ne.j>\r\nTo: b@example.jp\r\n")},
        {"a Cc once a To was read", breakBeforeAddress(true),
         raw("Reply-To: a@example.jp\0\0\0\0Cc: b@example.jp\r\n"),
         raw("Reply-To: a@example.jp\0\0\r\nCc: b@example.jp\r\n")},
        {"no address before the run", breakBeforeAddress(false),
         raw("Subject: Trip to Toky\0\0\0\0o: b@example.jp\r\n"),
         raw("Subject: Trip to Toky\0\0\0\0o: b@example.jp\r\n")},
        {"the rest of a word", addressName(false, false, false),
         raw("\0\0\0\0velope-from <hk@example.jp>)\r\n"),
         raw("\0\0\0\0velope-from <hk@example.jp>)\r\n")},
        {"a Received field going on", addressName(false, false, false),
         raw("\0\0\0\0for <hk@example.jp>; Mon, 1 Jan 2001\r\n"),
         raw("\0\0\0\0for <hk@example.jp>; Mon, 1 Jan 2001\r\n")},
        {"letters lost inside a name", restoreLostNameLetters,
         raw("Content-transfer-en\0\0\0\0ng: x-uuencode\r\n"),
         "Content-transfer-encoding: x-uuencode\r\n"},
        {"two names fit a lost start", restoreLostNameLetters, raw("\0\0: x\r\n"),
         raw("\0\0: x\r\n")},
        {"no name fits a lost start", restoreLostNameLetters, raw("\0\0\0e-Foo: x\r\n"),
         raw("\0\0\0e-Foo: x\r\n")},
        {"a colon in the value is not the name's", restoreFieldColon,
         raw("X-\0\0\0\0 http://www.example.jp/\r\n"), raw("X-:\0\0\0 http://www.example.jp/\r\n")},
        {"no name before the lost bytes", restoreFieldColon, raw("This is\0\0\0\0text\r\n"),
         raw("This is\0\0\0\0text\r\n")},
        {"an open quote closes before a field after the lost run", breakAfterQuote,
         raw(" boundary=\"b.72\0\0\0\0X-Laziness-Level: 1000\r\n"),
         raw(" boundary=\"b.72\0\"\r\nX-Laziness-Level: 1000\r\n")},
        {"the run took the next name's first letter", breakAfterQuote,
         raw(" name=\"a.txt\0\0\0\0-Priority: 3\r\n"),
         raw(" name=\"a.txt\"\r\n\0-Priority: 3\r\n")},
        {"a quote that closes after the run", breakAfterQuote,
         raw(" name=\"a\0\0\0\0Re: b.txt\"\r\n"), raw(" name=\"a\0\0\0\0Re: b.txt\"\r\n")},
        {"no open quote", breakAfterQuote, raw("Subject: a\0\0\0\0X-Note: b\r\n"),
         raw("Subject: a\0\0\0\0X-Note: b\r\n")},
        {"CR before a surviving LF", restoreHeaderLineBreaks, raw("X-A: 1\0\nX-B: 2\r\n"),
         "X-A: 1\r\nX-B: 2\r\n"},
        {"LF after a surviving CR", restoreHeaderLineBreaks, raw("X-A: 1\r\0X-B: 2\r\n"),
         "X-A: 1\r\nX-B: 2\r\n"},
        {"a whole encoding, its CR LF lost", restoreBlankAfterEncoding,
         raw("Content-Transfer-Encoding: base64\0\0\r\n"),
         "Content-Transfer-Encoding: base64\r\n\r\n"},
        {"an encoding cut short", restoreBlankAfterEncoding,
         raw("Content-Transfer-Encoding: bas\0\0\r\n"),
         raw("Content-Transfer-Encoding: bas\0\0\r\n")},
        {"a body line after the lost blank line", blankBeforeText,
         raw("\0\0\0\0DOCTYPE HTML PUBLIC \"-//W3C//DTD HTML 4.0 Transitional//EN\">\r\n"),
         raw("\r\n\0\0DOCTYPE HTML PUBLIC \"-//W3C//DTD HTML 4.0 Transitional//EN\">\r\n")},
        {"the blank line and the line break before it", blankBeforeText,
         raw("\tfilename=\"a.txt\"\0\0\0\0=1B$BNkLZ$5$s=1B(B\r\n"),
         "\tfilename=\"a.txt\"\r\n\r\n=1B$BNkLZ$5$s=1B(B\r\n"},
        {"the rest of a folded parameter", blankBeforeText, raw("\0\0\0\0rset=\"shift_jis\"\r\n"),
         raw("\0\0\0\0rset=\"shift_jis\"\r\n")},
        {"the rest of a field name", blankBeforeText,
         raw("\0\0\0\0ntent-Disposition: attachment;\r\n"),
         raw("\0\0\0\0ntent-Disposition: attachment;\r\n")},
        {"no header end before a field's value has begun", blankBeforeText,
         raw("Content-Transfer-Encoding: \0\0\0\0encode\r\n"),
         raw("Content-Transfer-Encoding: \0\0\0\0encode\r\n")},
        {"no header end inside a transfer encoding", blankBeforeText,
         raw("Content-Transfer-Encoding: x-u\0\0\0\0ode\r\n"),
         raw("Content-Transfer-Encoding: x-u\0\0\0\0ode\r\n")},
        {"the header ends after a whole transfer encoding", blankBeforeText,
         raw("Content-Transfer-Encoding: 8bit\0\0\0\0Dear Hanako,\r\n"),
         "Content-Transfer-Encoding: 8bit\r\n\r\nDear Hanako,\r\n"},
        {"base64 after the lost blank line", blankBeforeBase64,
         raw("\0\0\0\09j/4AAQSkZJRgABAQEASABIAAD/2wBD\r\n"),
         raw("\r\n\0\09j/4AAQSkZJRgABAQEASABIAAD/2wBD\r\n")},
        {"too little base64 to tell", blankBeforeBase64, raw("\0\0\0\0Zm9v\r\n"),
         raw("\0\0\0\0Zm9v\r\n")},
    };
    for (const Case& c : cases) {
        Bytes line = c.damaged;
        c.repair(line);
        EXPECT_EQ(line, c.repaired) << c.name;
        EXPECT_EQ(line.size(), c.damaged.size()) << c.name;
    }
}

} // namespace
} // namespace keldor::repair
