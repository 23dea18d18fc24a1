#pragma once
// Mail for the tests and pictures of both windows: mailboxes of numbered
// messages. Needs only the mailbox writer, so the screenshot tools build
// without the test framework.

#include "tests/support/mailbox_writer.h"
#include "ui/main_window.h"

#include <filesystem>
#include <string>

namespace keldor::testing {

// Message `number`: subject "Mail n", a date, `lines` lines of body.
inline Bytes numberedMessage(int number, int lines = 20) {
    std::string body;
    for (int line = 0; line < lines; ++line) {
        body += "Line " + std::to_string(line) + " of message " + std::to_string(number) + "\r\n";
    }
    return "From: a@example.com\r\nTo: taro@example.jp\r\nSubject: Mail " + std::to_string(number) +
           "\r\nDate: Mon, 7 Dec 2026 10:00:00 +0900\r\n\r\n" + body;
}

// A mailbox holding messages 1 to `count` as deleted records.
inline void writeNumberedMailbox(const std::filesystem::path& file, int count, int lines = 20) {
    MailboxWriter writer;
    for (int i = 1; i <= count; ++i) {
        writer.addMessage(numberedMessage(i, lines));
    }
    writer.writeTo(file);
}

// The texts the windows' tests look for.
inline const Text kFoundMails = u"通のメールが見つかりました。";
inline const Text kStopQuestion = u"停止しますか?";
inline const Text kCloseQuestion = u"終了しますか?";

inline ui::MainWindowSetup setupWith(Text name, Text mailbox, Text output) {
    ui::MainWindowSetup setup;
    setup.defaultIdentityName = std::move(name);
    setup.defaultMailboxPath = std::move(mailbox);
    setup.defaultOutputFolder = std::move(output);
    return setup;
}

} // namespace keldor::testing
