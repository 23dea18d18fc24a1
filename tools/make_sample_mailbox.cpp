// Builds the bundled sample mailbox from the mails in a folder: every *.eml,
// in name order, becomes one deleted message, its records scattered among
// live blocks as in a mailbox that has been used for a while. The output is
// the same for the same mails.
//
//   make_sample_mailbox samples/mails samples/削除済みアイテム.dbx

#include "tests/support/mailbox_writer.h"

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <vector>

int main(int argc, char** argv) {
    if (argc != 3) {
        std::fprintf(stderr, "usage: %s MAIL_FOLDER OUTPUT.dbx\n", argv[0]);
        return 2;
    }
    const std::filesystem::path folder = argv[1];
    std::vector<std::filesystem::path> mails;
    std::error_code error;
    for (const auto& entry : std::filesystem::directory_iterator(folder, error)) {
        if (entry.is_regular_file() && entry.path().extension() == ".eml") {
            mails.push_back(entry.path());
        }
    }
    if (error || mails.empty()) {
        std::fprintf(stderr, "no .eml files in %s\n", folder.string().c_str());
        return 1;
    }
    std::sort(mails.begin(), mails.end());

    keldor::testing::MailboxWriter writer;
    for (const auto& mail : mails) {
        std::ifstream in(mail, std::ios::binary);
        const keldor::Bytes bytes{std::istreambuf_iterator<char>(in),
                                  std::istreambuf_iterator<char>()};
        writer.addMessage(bytes);
    }
    keldor::testing::MailboxOptions options;
    options.scatter = true;
    options.liveBlocksBetween = 1;
    options.seed = 20081023;
    writer.writeTo(argv[2], options);
    std::printf("%zu mails, %zu records -> %s\n", mails.size(), writer.recordCount(), argv[2]);
    return 0;
}
