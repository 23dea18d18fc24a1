// Japanese mail comes back readable: realistic messages in the three Japanese
// charsets go through a whole run with a lost four-byte run placed on the
// parts that matter (encoded words, boundaries, charsets, body text), and
// every file must come back at its size, without 0x00, untouched away from
// the loss, with its subject and text decoding to the original apart from
// replacement characters where bytes were lost.

#include "engine/recovery_run.h"

#include "charset/japanese_text.h"
#include "engine/run_flags.h"
#include "mailinfo/mail_info.h"
#include "platform/text.h"
#include "tests/support/charset_conversion.h"
#include "tests/support/mailbox_writer.h"
#include "tests/support/test_support.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <optional>
#include <string>
#include <tuple>
#include <variant>
#include <vector>

namespace keldor::engine {
namespace {

using testing::MailboxWriter;
using testing::RecordingView;
using testing::TempDir;

// The message bytes and the first lost byte that recovery may rewrite around.
constexpr std::size_t kRepairReach = 8;

// Converts independently of the code under test; nullopt on any byte that
// does not convert. Output in a stateful charset ends back in its initial state.
std::optional<std::string> convert(const char* to, const char* from, std::string_view in) {
    return testing::convertCharset(in, from, to);
}

Bytes encode(const char* charset, std::string_view utf8Text) {
    auto bytes = convert(charset, "UTF-8", utf8Text);
    EXPECT_TRUE(bytes.has_value()) << charset << ": " << utf8Text;
    return bytes.value_or(Bytes());
}

Bytes base64(ByteView bytes) {
    static constexpr char kAlphabet[] =
        "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
    Bytes out;
    for (std::size_t i = 0; i < bytes.size(); i += 3) {
        unsigned group = byteAt(bytes, i) << 16;
        if (i + 1 < bytes.size())
            group |= byteAt(bytes, i + 1) << 8;
        if (i + 2 < bytes.size())
            group |= byteAt(bytes, i + 2);
        out += kAlphabet[(group >> 18) & 63];
        out += kAlphabet[(group >> 12) & 63];
        out += i + 1 < bytes.size() ? kAlphabet[(group >> 6) & 63] : '=';
        out += i + 2 < bytes.size() ? kAlphabet[group & 63] : '=';
    }
    return out;
}

// The Q encoding as mailers write it for ISO-2022-JP.
Bytes qEncoded(ByteView bytes) {
    static constexpr char kHex[] = "0123456789ABCDEF";
    Bytes out;
    for (std::size_t i = 0; i < bytes.size(); ++i) {
        const unsigned b = byteAt(bytes, i);
        if (b < 0x21 || b > 0x7E || b == '=' || b == '?' || b == '_') {
            out += '=';
            out += kHex[b >> 4];
            out += kHex[b & 15];
        } else {
            out += static_cast<char>(b);
        }
    }
    return out;
}

Bytes encodedWord(const char* label, const char* iconvName, char encoding,
                  std::string_view utf8Text) {
    const Bytes bytes = encode(iconvName, utf8Text);
    return Bytes("=?") + label + "?" + encoding + "?" +
           (encoding == 'B' ? base64(bytes) : qEncoded(bytes)) + "?=";
}

constexpr std::string_view kSubject = "会議の議事録について";
constexpr std::string_view kSubjectFirst = "来週の打ち合わせの";
constexpr std::string_view kSubjectSecond = "日程変更のお知らせ";
constexpr std::string_view kSender = "山田 太郎";
constexpr std::string_view kBoundary = "----=_NextPart_000_0012_01C8F4A2.3B5C7D90";

const std::vector<std::string_view> kBodyLines = {
    "鈴木様",
    "",
    "先日の会議の議事録をお送りします。",
    "ご確認のほど、よろしくお願いいたします。",
    "来週の打ち合わせは十二月三日（水）午後二時からです。",
    "資料は前日までに共有フォルダへ置いてください。",
    "",
    "山田",
};

// The body lines in one charset, CR LF after each. ISO-2022-JP lines each
// go back to ASCII at their end, as mailers write them.
Bytes bodyText(const char* iconvName) {
    Bytes text;
    for (const std::string_view line : kBodyLines) {
        text += encode(iconvName, line) + "\r\n";
    }
    return text;
}

// One test message: the bytes before the loss, and where its text body
// stands in them.
struct Case {
    std::string name;
    Bytes mail;
    const char* textCharset = nullptr; // iconv name of the text/plain body
    std::size_t textBegin = 0;
    std::size_t textEnd = 0;
    // False where the loss is one the repairs leave to the reader: the
    // subject is then only required to be read at all.
    bool subjectKept = true;
};

struct Message {
    Bytes from;        // whole From line(s)
    Bytes subject;     // whole Subject line(s)
    Bytes contentType; // Content-Type and Content-Transfer-Encoding lines of the header
    Bytes body;
    const char* textCharset = nullptr;
    Bytes textPart;         // the text/plain body, somewhere in `body`
    bool dateFirst = false; // Date before Subject, so that MIME-Version follows it
    bool fromFirst = false; // From is the first field, with no Return-Path
};

const Bytes kDate = "Date: Wed, 26 Nov 2008 18:12:03 +0900\r\n";

Bytes assemble(const Message& m) {
    const Bytes trace = "Received: from pc03.example.co.jp ([192.0.2.13])\r\n"
                        "\tby mx.example.ne.jp (Postfix) with ESMTP id 4F2A5CCD\r\n"
                        "\tfor <hanako.suzuki@example.ne.jp>; Wed, 26 Nov 2008 18:12:10 +0900\r\n"
                        "Message-ID: <00301c8f4a2$3b5c7d90$0a00a8c0@PC03>\r\n";
    return (m.fromFirst ? m.from + trace
                        : "Return-Path: <taro.yamada@example.co.jp>\r\n" + trace + m.from) +
           "To: <hanako.suzuki@example.ne.jp>\r\n" +
           (m.dateFirst ? kDate + m.subject : m.subject + kDate) + "MIME-Version: 1.0\r\n" +
           m.contentType +
           "X-Priority: 3\r\n"
           "X-Mailer: Microsoft Outlook Express 6.00.2900.5512\r\n"
           "\r\n" +
           m.body;
}

Bytes fromLine(const char* label, const char* iconvName, char encoding) {
    return "From: \"" + encodedWord(label, iconvName, encoding, kSender) +
           "\" <taro.yamada@example.co.jp>\r\n";
}

Bytes subjectLine(const char* label, const char* iconvName, char encoding) {
    return "Subject: " + encodedWord(label, iconvName, encoding, kSubject) + "\r\n";
}

Message plainMessage(const char* label, const char* iconvName, char encoding) {
    Message m;
    m.from = fromLine(label, iconvName, encoding);
    m.subject = subjectLine(label, iconvName, encoding);
    m.contentType = "Content-Type: text/plain;\r\n\tcharset=\"" + Bytes(label) +
                    "\"\r\n"
                    "Content-Transfer-Encoding: " +
                    (std::string_view(iconvName) == "ISO-2022-JP" ? "7bit" : "8bit") + "\r\n";
    m.textCharset = iconvName;
    m.textPart = bodyText(iconvName);
    m.body = m.textPart;
    return m;
}

Message foldedSubjectMessage() {
    Message m = plainMessage("iso-2022-jp", "ISO-2022-JP", 'B');
    m.subject = "Subject: " + encodedWord("iso-2022-jp", "ISO-2022-JP", 'B', kSubjectFirst) +
                "\r\n " + encodedWord("iso-2022-jp", "ISO-2022-JP", 'B', kSubjectSecond) + "\r\n";
    return m;
}

Bytes htmlQuotedPrintable() {
    Bytes html = "<!DOCTYPE HTML PUBLIC \"-//W3C//DTD HTML 4.0 Transitional//EN\">\r\n"
                 "<HTML><HEAD>\r\n"
                 "<META http-equiv=3DContent-Type content=3D\"text/html; charset=3Diso-2022-jp=\r\n"
                 "\">\r\n"
                 "</HEAD>\r\n"
                 "<BODY bgColor=3D#ffffff>\r\n";
    for (const std::string_view line : kBodyLines) {
        html +=
            "<DIV><FONT size=3D2>" + qEncoded(encode("ISO-2022-JP", line)) + "</FONT></DIV>\r\n";
    }
    return html + "</BODY></HTML>\r\n";
}

Message alternativeMessage() {
    Message m = plainMessage("iso-2022-jp", "ISO-2022-JP", 'B');
    const Bytes b(kBoundary);
    m.contentType = "Content-Type: multipart/alternative;\r\n\tboundary=\"" + b + "\"\r\n";
    m.body = "This is a multi-part message in MIME format.\r\n\r\n--" + b +
             "\r\n"
             "Content-Type: text/plain;\r\n\tcharset=\"iso-2022-jp\"\r\n"
             "Content-Transfer-Encoding: 7bit\r\n\r\n" +
             m.textPart + "\r\n--" + b +
             "\r\n"
             "Content-Type: text/html;\r\n\tcharset=\"iso-2022-jp\"\r\n"
             "Content-Transfer-Encoding: quoted-printable\r\n\r\n" +
             htmlQuotedPrintable() + "\r\n--" + b + "--\r\n\r\n";
    return m;
}

Bytes attachment() {
    Bytes data;
    for (int i = 0; i < 600; ++i) {
        data += static_cast<char>((i * 37 + 11) & 0xFF);
    }
    const Bytes text = base64(data);
    Bytes lines;
    for (std::size_t i = 0; i < text.size(); i += 76) {
        lines += text.substr(i, 76) + "\r\n";
    }
    return lines;
}

Message mixedMessage(const char* label, const char* iconvName) {
    Message m = plainMessage(label, iconvName, 'B');
    const Bytes b(kBoundary);
    m.contentType = "Content-Type: multipart/mixed;\r\n\tboundary=\"" + b + "\"\r\n";
    m.body = "This is a multi-part message in MIME format.\r\n\r\n--" + b +
             "\r\n"
             "Content-Type: text/plain;\r\n\tcharset=\"" +
             label +
             "\"\r\n"
             "Content-Transfer-Encoding: 7bit\r\n\r\n" +
             m.textPart + "\r\n--" + b +
             "\r\n"
             "Content-Type: application/octet-stream;\r\n\tname=\"data.bin\"\r\n"
             "Content-Transfer-Encoding: base64\r\n"
             "Content-Disposition: attachment;\r\n\tfilename=\"data.bin\"\r\n\r\n" +
             attachment() + "\r\n--" + b + "--\r\n\r\n";
    return m;
}

// Lays `m` out so that the lost run of a 512-byte block starts `shift` bytes
// before the byte `offset` bytes after the `occurrence`-th `anchor`: a
// padding header line after the first line moves everything after it.
Case lossAt(std::string name, const Message& m, std::string_view anchor, std::size_t offset,
            std::size_t shift = 0, int occurrence = 1) {
    const Bytes plain = assemble(m);
    std::size_t at = Bytes::npos;
    for (int n = 0; n < occurrence; ++n) {
        at = plain.find(anchor, at == Bytes::npos ? 0 : at + 1);
    }
    EXPECT_NE(at, Bytes::npos) << name << ": no " << anchor;
    const std::size_t padAt = plain.find("\r\n") + 2;

    const std::size_t target = at + offset;
    EXPECT_GE(target, padAt + shift) << name;
    constexpr std::size_t kPadMinimum = 9; // "X-Pad: " and CR LF
    const std::size_t fill = (512 - (target + kPadMinimum - shift) % 512) % 512;
    const Bytes pad = "X-Pad: " + Bytes(fill, 'x') + "\r\n";

    Case c;
    c.name = std::move(name);
    c.mail = plain.substr(0, padAt) + pad + plain.substr(padAt);
    // A last piece of one to three bytes loses them all, and recovery cannot
    // tell how many there were: it writes four. Keep clear of that.
    while (c.mail.size() % 512 >= 1 && c.mail.size() % 512 <= 3) {
        c.mail += "\r\n";
    }
    const std::vector<std::size_t> lost = testing::lostPositions(c.mail.size());
    EXPECT_NE(std::find(lost.begin(), lost.end(), target + pad.size()), lost.end()) << c.name;
    if (m.textCharset != nullptr) {
        c.textCharset = m.textCharset;
        c.textBegin = c.mail.find(m.textPart);
        c.textEnd = c.textBegin + m.textPart.size();
    }
    return c;
}

std::vector<Case> subjectCases() {
    std::vector<Case> cases;
    struct Word {
        const char* label;
        const char* iconvName;
        char encoding;
    };
    const Word words[] = {
        {"iso-2022-jp", "ISO-2022-JP", 'B'}, {"ISO-2022-JP", "ISO-2022-JP", 'B'},
        {"shift_jis", "SHIFT_JIS", 'B'},     {"SHIFT_JIS", "SHIFT_JIS", 'B'},
        {"euc-jp", "EUC-JP", 'B'},           {"EUC-JP", "EUC-JP", 'B'},
        {"iso-2022-jp", "ISO-2022-JP", 'Q'},
    };
    for (const Word& w : words) {
        const Message m = plainMessage(w.label, w.iconvName, w.encoding);
        const std::string tag = std::string(w.label) + "?" + w.encoding + " ";
        const std::size_t labelSize = std::string_view(w.label).size();
        const std::size_t textAt = 2 + labelSize + 3;
        const Bytes word = encodedWord(w.label, w.iconvName, w.encoding, kSubject);
        const std::size_t endAt = word.size() - 2;
        // Subject: =?label?B?text?=
        const std::string anchor = "Subject: ";
        const bool isQ = w.encoding == 'Q';
        Message dateFirst = m;
        dateFirst.dateFirst = true;
        cases.push_back(lossAt(tag + "subject word start", m, anchor, 9));
        cases.push_back(lossAt(tag + "subject before word", m, anchor, 7));
        cases.push_back(lossAt(tag + "subject charset name", m, anchor, 9 + 2));
        cases.push_back(
            lossAt(tag + "subject charset middle", m, anchor, 9 + 2 + labelSize / 2, 1));
        cases.push_back(lossAt(tag + "subject encoding letter", m, anchor, 9 + 2 + labelSize, 1));
        // Quoted-printable text is not repaired: a cut escape stays cut.
        for (const auto& [what, offset, shift] : {std::tuple{"subject text start", textAt, 0},
                                                  std::tuple{"subject text, one in", textAt + 1, 0},
                                                  std::tuple{"subject text middle", textAt + 14, 2},
                                                  std::tuple{"subject text end", endAt - 2, 0}}) {
            cases.push_back(
                lossAt(tag + what, m, anchor, 9 + offset, static_cast<std::size_t>(shift)));
            cases.back().subjectKept = !isQ;
        }
        // The "?Q?=1B" that starts a quoted-printable ISO-2022-JP text reads
        // as the word's end, so a lost end of such a word is not rebuilt.
        cases.push_back(
            lossAt(tag + "subject word end, MIME-Version after", dateFirst, anchor, 9 + endAt));
        cases.back().subjectKept = !isQ;
        cases.push_back(
            lossAt(tag + "subject closing = and line break", dateFirst, anchor, 9 + endAt + 1));
        cases.back().subjectKept = !isQ;
        // The line break before "Date: " is not restored (the name is not
        // one the header repair knows): the subject runs on into the next
        // field.
        cases.push_back(lossAt(tag + "subject word end, Date after", m, anchor, 9 + endAt));
        cases.back().subjectKept = false;
        cases.push_back(lossAt(tag + "from word", m, "From: \"", 7 + textAt + 3, 1));
        cases.push_back(lossAt(tag + "from word start", m, "From: \"", 7));
    }
    const Message folded = foldedSubjectMessage();
    cases.push_back(lossAt("folded subject, fold", folded, "\r\n =?", 1));
    cases.push_back(lossAt("folded subject, second word", folded, "\r\n =?", 2 + 1 + 17, 2));
    cases.push_back(lossAt("folded subject, first word end", folded, "?=\r\n =?", 0, 1));
    cases.push_back(
        lossAt("folded subject, first word text", folded, "Subject: =?", 9 + 16 + 8, 1));
    // The field name itself, and the line break before it.
    const Message plain = plainMessage("iso-2022-jp", "ISO-2022-JP", 'B');
    cases.push_back(lossAt("subject field name", plain, "\r\nSubject: ", 2));
    cases.push_back(lossAt("subject name after a lost line break", plain, "\r\nSubject: ", 0));
    cases.push_back(lossAt("subject name, one byte of the line break", plain, "\r\nSubject: ", 1));
    // A message that starts with its From field.
    Message fromFirst = plain;
    fromFirst.fromFirst = true;
    cases.push_back(lossAt("from first, subject text", fromFirst, "Subject: ", 9 + 16 + 8));
    return cases;
}

std::vector<Case> structureCases() {
    std::vector<Case> cases;
    const Message alternative = alternativeMessage();
    const Message mixed = mixedMessage("iso-2022-jp", "ISO-2022-JP");
    const Bytes delimiter = "\r\n--" + Bytes(kBoundary);
    cases.push_back(lossAt("alternative boundary parameter", alternative, "boundary=\"", 0));
    cases.push_back(lossAt("alternative boundary value", alternative, "boundary=\"", 10 + 12, 2));
    cases.push_back(lossAt("alternative first delimiter", alternative, delimiter, 2));
    cases.push_back(lossAt("alternative second delimiter", alternative, delimiter, 2 + 20, 0, 2));
    cases.push_back(lossAt("alternative closing delimiter", alternative, delimiter, 2 + 40, 0, 3));
    cases.push_back(lossAt("alternative part charset", alternative, "charset=\"iso", 0));
    cases.push_back(lossAt("alternative part charset name", alternative, "charset=\"iso", 9, 1));
    cases.push_back(lossAt("alternative html charset", alternative, "charset=\"iso", 9, 0, 2));
    cases.push_back(
        lossAt("alternative html text", alternative, "<DIV><FONT size=3D2>=1B", 25, 0, 3));
    cases.push_back(lossAt("mixed boundary value", mixed, "boundary=\"", 10 + 30, 1));
    cases.push_back(lossAt("mixed attachment delimiter", mixed, delimiter, 2, 1, 2));
    cases.push_back(lossAt("mixed attachment type", mixed, "Content-Type: application", 0));
    cases.push_back(lossAt("mixed attachment data", mixed, "Content-Disposition", 120, 0));
    cases.push_back(lossAt("mixed part body", mixed, "\r\n\r\n\x1B$B", 4 + 3 + 6, 0, 3));
    for (const auto& [label, iconvName] :
         {std::pair{"iso-2022-jp", "ISO-2022-JP"}, std::pair{"shift_jis", "SHIFT_JIS"},
          std::pair{"EUC-JP", "EUC-JP"}}) {
        const Message m = plainMessage(label, iconvName, 'B');
        const std::string tag = std::string(label) + " ";
        cases.push_back(lossAt(tag + "header charset", m, "charset=\"", 0));
        cases.push_back(lossAt(tag + "header charset name", m, "charset=\"", 9 + 3, 2));
        cases.push_back(lossAt(tag + "content type name", m, "\r\nContent-Type: ", 0));
        cases.push_back(lossAt(tag + "MIME-Version name", m, "\r\nMIME-Version: ", 1));
        cases.push_back(lossAt(tag + "transfer encoding", m, "Content-Transfer-Encoding: ", 0, 2));
    }
    cases.push_back(lossAt("alternative part type", alternative, "Content-Type: text/plain", 3));
    cases.push_back(
        lossAt("alternative part encoding", alternative, "\r\nContent-Transfer-Encoding: 7bit", 0));
    return cases;
}

std::vector<Case> bodyCases() {
    std::vector<Case> cases;
    for (const auto& [label, iconvName] :
         {std::pair{"iso-2022-jp", "ISO-2022-JP"}, std::pair{"shift_jis", "SHIFT_JIS"},
          std::pair{"euc-jp", "EUC-JP"}}) {
        const Message m = plainMessage(label, iconvName, 'B');
        const std::string tag = std::string(label) + " body ";
        const Bytes third = encode(iconvName, kBodyLines[2]);
        const Bytes fifth = encode(iconvName, kBodyLines[4]);
        for (const std::size_t offset : {0, 1, 2, 3, 4, 7, 10}) {
            cases.push_back(lossAt(tag + "line 3 at " + std::to_string(offset), m, third, offset));
        }
        cases.push_back(lossAt(tag + "line 5 end", m, fifth, fifth.size() - 3));
        cases.push_back(lossAt(tag + "line break", m, fifth, fifth.size() - 1));
        cases.push_back(lossAt(tag + "line start", m, fifth, 0, 2));
        // The same text as the first part of a multipart/mixed message.
        const Message mixed = mixedMessage(label, iconvName);
        cases.push_back(lossAt(tag + "in a part, line 3", mixed, third, 2));
        cases.push_back(lossAt(tag + "in a part, line 5", mixed, fifth, 5, 1));
    }
    return cases;
}

// `actual` equals `expected` apart from one stretch in which `actual` holds
// characters of `replacements` (and at most `strays` others) and `expected`
// at most `maxLost` characters.
::testing::AssertionResult differsByReplacements(const Text& actual, const Text& expected,
                                                 TextView replacements, std::size_t maxLost,
                                                 std::size_t strays = 0) {
    std::size_t prefix = 0;
    while (prefix < actual.size() && prefix < expected.size() &&
           actual[prefix] == expected[prefix]) {
        ++prefix;
    }
    std::size_t suffix = 0;
    while (suffix < actual.size() - prefix && suffix < expected.size() - prefix &&
           actual[actual.size() - 1 - suffix] == expected[expected.size() - 1 - suffix]) {
        ++suffix;
    }
    const Text got = actual.substr(prefix, actual.size() - prefix - suffix);
    const Text lost = expected.substr(prefix, expected.size() - prefix - suffix);
    const auto others =
        static_cast<std::size_t>(std::count_if(got.begin(), got.end(), [&](char16_t c) {
            return replacements.find(c) == TextView::npos;
        }));
    if (others <= strays && lost.size() <= maxLost && got.size() <= 2 * maxLost + strays) {
        return ::testing::AssertionSuccess();
    }
    return ::testing::AssertionFailure()
           << "\"" << testing::utf8(actual) << "\" for \"" << testing::utf8(expected) << "\"";
}

class Acceptance : public ::testing::Test {
protected:
    void SetUp() override {
        StopRequested = false;
        ExitAfterStop = false;
        view.location = platform::pathText(dir.path());
    }

    // Writes every case into one mailbox, recovers it, and checks each file.
    void recoverAndCheck(const std::vector<Case>& cases) {
        MailboxWriter writer;
        for (const Case& c : cases) {
            writer.addMessage(c.mail);
        }
        const std::filesystem::path mailbox = dir.path() / "mailbox.dbx";
        writer.writeTo(mailbox);
        const RunReport report = recoverMailbox(mailbox, view, options, testing::everyPoint());
        ASSERT_EQ(report.outcome, RunOutcome::Completed);
        ASSERT_EQ(report.files.size(), cases.size());

        // What the program reads from each message when nothing is lost.
        const std::filesystem::path intact = dir.path() / "intact.eml";
        for (std::size_t i = 0; i < cases.size(); ++i) {
            const Case& c = cases[i];
            SCOPED_TRACE(c.name);
            testing::writeFile(intact, c.mail);
            const mailinfo::MailInfo expected = mailinfo::readMailInfo(intact);
            checkFile(c, report.files[i], expected);
        }
    }

    void checkFile(const Case& c, const RenamedFile& file, const mailinfo::MailInfo& expected) {
        const Bytes recovered = testing::readFile(file.file);
        ASSERT_EQ(recovered.size(), c.mail.size())
            << testing::firstDifference(recovered, c.mail).value_or("");
        EXPECT_EQ(recovered.find('\0'), Bytes::npos);
        // The first field's name, whose first four letters are always lost.
        EXPECT_EQ(recovered.substr(0, 6), c.mail.substr(0, 6));
        const std::vector<std::size_t> lost = testing::lostPositions(c.mail.size());
        for (std::size_t i = 0; i < recovered.size(); ++i) {
            const bool nearLoss = std::any_of(lost.begin(), lost.end(), [&](std::size_t at) {
                return (i > at ? i - at : at - i) <= kRepairReach;
            });
            if (!nearLoss && recovered[i] != c.mail[i]) {
                ADD_FAILURE() << "byte " << i << " changed, far from any lost byte";
                break;
            }
        }

        EXPECT_NE(expected.subject, Text(mailinfo::kUnreadable));
        EXPECT_NE(file.subject, Text(mailinfo::kUnreadable));
        EXPECT_NE(file.dateText, Text(mailinfo::kUnreadable));
        // The date comes from the Received field unless a loss fell on it.
        const std::size_t received = c.mail.find("Received: ");
        const std::size_t receivedEnd = c.mail.find("+0900\r\n", received) + 5;
        if (std::none_of(lost.begin(), lost.end(),
                         [&](std::size_t at) { return at >= received && at < receivedEnd + 2; })) {
            EXPECT_EQ(file.dateText, expected.dateText);
        }
        if (c.subjectKept) {
            // A cut Shift_JIS character may leave its trail byte standing
            // as a character of its own.
            const std::size_t strays = c.mail.find("=?shift_jis?") != Bytes::npos ||
                                               c.mail.find("=?SHIFT_JIS?") != Bytes::npos
                                           ? 1
                                           : 0;
            EXPECT_TRUE(
                differsByReplacements(file.subject, expected.subject, replacements(), 3, strays));
        }
        // The name is the subject's.
        const Text name = platform::pathText(file.file.filename());
        const Text stem = cleanSubject(file.subject);
        EXPECT_EQ(name.substr(0, stem.size()), stem) << testing::utf8(name);
        EXPECT_EQ(name.substr(name.size() - 4), u".eml");

        if (c.textCharset != nullptr) {
            checkText(c, recovered);
        }
    }

    // The text body converts, and reads as the original apart from
    // replacement characters where bytes were lost. Body text gets no
    // line-break repair: a lost CR LF becomes replacement characters too.
    void checkText(const Case& c, const Bytes& recovered) {
        const ByteView got = ByteView(recovered).substr(c.textBegin, c.textEnd - c.textBegin);
        const ByteView want = ByteView(c.mail).substr(c.textBegin, c.textEnd - c.textBegin);
        const auto wantUtf8 = convert("UTF-8", c.textCharset, want);
        ASSERT_TRUE(wantUtf8.has_value());
        const Text wantText = platform::fromUtf8(*wantUtf8);
        if (std::string_view(c.textCharset) == "SHIFT_JIS") {
            // A trail byte whose lead was lost may stay and read as a
            // character of its own, or pair with the next byte.
            const Text gotText = charset::sjisToText(got);
            EXPECT_TRUE(differsByReplacements(gotText, wantText, replacements(), 5, 2));
            return;
        }
        const auto gotUtf8 = convert("UTF-8", c.textCharset, got);
        ASSERT_TRUE(gotUtf8.has_value()) << "does not convert";
        EXPECT_TRUE(
            differsByReplacements(platform::fromUtf8(*gotUtf8), wantText, replacements(), 4));
        if (std::string_view(c.textCharset) == "ISO-2022-JP") {
            EXPECT_TRUE(charset::jisToText(got).has_value());
        } else {
            EXPECT_EQ(charset::eucToText(got).find(u'\u30FB'), Text::npos);
        }
    }

    [[nodiscard]] Text replacements() const {
        return options.halfWidthText + options.fullWidthText;
    }

    TempDir dir;
    RecordingView view;
    repair::RepairOptions options;
};

TEST_F(Acceptance, EncodedWordsSurviveALostRunAnywhereInThem) {
    recoverAndCheck(subjectCases());
}

TEST_F(Acceptance, BoundariesAndCharsetsSurviveALostRun) {
    recoverAndCheck(structureCases());
}

TEST_F(Acceptance, BodyTextOfEveryCharsetSurvivesALostRun) {
    recoverAndCheck(bodyCases());
}

TEST_F(Acceptance, TheUsersReplacementCharactersFillTheLoss) {
    const auto made = repair::makeRepairOptions(u"#", u"※");
    ASSERT_TRUE(std::holds_alternative<repair::RepairOptions>(made));
    options = std::get<repair::RepairOptions>(made);
    std::vector<Case> cases = subjectCases();
    for (Case& c : bodyCases()) {
        cases.push_back(std::move(c));
    }
    recoverAndCheck(cases);
}

} // namespace
} // namespace keldor::engine
