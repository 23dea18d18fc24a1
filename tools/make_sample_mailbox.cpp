// Builds the bundled sample mailbox from the mails in a folder: every *.eml,
// in name order, becomes one deleted message, its records scattered among
// live blocks as in a mailbox that has been used for a while. The mails of a
// second folder, when given, become its live messages. The output is the
// same for the same mails.
//
//   make_sample_mailbox samples/mails samples/削除済みアイテム.dbx
//   make_sample_mailbox DELETED_FOLDER OUTPUT.dbx LIVE_FOLDER

#include "tests/support/mailbox_writer.h"

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <vector>

namespace {

// The folder's *.eml files in name order; empty when there are none or the
// folder cannot be read.
std::vector<std::filesystem::path> mailsIn(const std::filesystem::path& folder) {
    std::vector<std::filesystem::path> mails;
    std::error_code error;
    for (const auto& entry : std::filesystem::directory_iterator(folder, error)) {
        if (entry.is_regular_file() && entry.path().extension() == ".eml") {
            mails.push_back(entry.path());
        }
    }
    if (error) {
        return {};
    }
    std::sort(mails.begin(), mails.end());
    return mails;
}

keldor::Bytes readMail(const std::filesystem::path& mail) {
    std::ifstream in(mail, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

} // namespace

int main(int argc, char** argv) {
    if (argc != 3 && argc != 4) {
        std::fprintf(stderr, "usage: %s MAIL_FOLDER OUTPUT.dbx [LIVE_MAIL_FOLDER]\n", argv[0]);
        return 2;
    }
    const std::vector<std::filesystem::path> mails = mailsIn(argv[1]);
    if (mails.empty()) {
        std::fprintf(stderr, "no .eml files in %s\n", argv[1]);
        return 1;
    }
    std::vector<std::filesystem::path> liveMails;
    if (argc == 4) {
        liveMails = mailsIn(argv[3]);
        if (liveMails.empty()) {
            std::fprintf(stderr, "no .eml files in %s\n", argv[3]);
            return 1;
        }
    }

    keldor::testing::MailboxWriter writer;
    for (const auto& mail : mails) {
        writer.addMessage(readMail(mail));
    }
    for (const auto& mail : liveMails) {
        writer.addLiveMessage(readMail(mail));
    }
    keldor::testing::MailboxOptions options;
    options.scatter = true;
    options.liveBlocksBetween = 1;
    options.seed = 20081023;
    writer.writeTo(argv[2], options);
    std::printf("%zu mails, %zu records", mails.size(), writer.recordCount());
    if (!liveMails.empty()) {
        std::printf(", %zu live mails", liveMails.size());
    }
    std::printf(" -> %s\n", argv[2]);
    return 0;
}
