// The command-line program as a user runs it: exit codes, stdout, stderr.

#include "platform/text.h"
#include "tests/support/mailbox_writer.h"
#include "tests/support/test_support.h"

#include <gtest/gtest.h>

#include <memory>
#include <thread>

namespace keldor {
namespace {

using Result = testing::CommandResult;
using testing::utf8Path;

Result runCli(const std::vector<std::string>& args, const std::filesystem::path& scratch) {
    return testing::runProgram(KELDOR_CLI_PATH, args, scratch);
}

// Backslashes as a JSON string holds them (Windows paths).
std::string jsonEscaped(std::string text) {
    for (std::size_t at = text.find('\\'); at != std::string::npos; at = text.find('\\', at + 2)) {
        text.insert(at, 1, '\\');
    }
    return text;
}

class Cli : public ::testing::Test {
protected:
    std::filesystem::path makeMailbox(int messages) {
        testing::MailboxWriter writer;
        for (int n = 1; n <= messages; ++n) {
            writer.addMessage("Subject: cli test " + std::to_string(n) +
                              "\r\nDate: Thu, 23 Oct 2008 15:30:45 +0900\r\n\r\nbody\r\n");
        }
        const auto path = dir.path() / "mailbox.dbx";
        writer.writeTo(path);
        return path;
    }
    testing::TempDir dir;
};

TEST_F(Cli, RecoversAndReportsOnStdout) {
    const auto mailbox = makeMailbox(3);
    const Result r =
        runCli({"recover", utf8Path(mailbox), "--into", utf8Path(dir.path())}, dir.path());
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_NE(r.out.find("3通のメールが見つかりました。"), std::string::npos) << r.out;
    EXPECT_NE(r.out.find(utf8Path(dir.path() / u"メール復元")), std::string::npos) << r.out;
    EXPECT_TRUE(r.err.empty()) << "no progress when stderr is not a terminal: " << r.err;
}

TEST_F(Cli, JsonListsEveryFileInOrder) {
    const auto mailbox = makeMailbox(2);
    const Result r = runCli(
        {"recover", utf8Path(mailbox), "--into", utf8Path(dir.path()), "--json"}, dir.path());
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.out.rfind("{\"outputFolder\": \"", 0), 0u) << r.out;
    EXPECT_NE(r.out.find("\"mailCount\": 2"), std::string::npos) << r.out;
    EXPECT_NE(r.out.find("\"recordCount\": 2"), std::string::npos) << r.out;
    EXPECT_NE(r.out.find("\"stopped\": false"), std::string::npos) << r.out;
    const auto first = r.out.find("\"number\": 1");
    const auto second = r.out.find("\"number\": 2");
    ASSERT_NE(first, std::string::npos);
    ASSERT_NE(second, std::string::npos);
    EXPECT_LT(first, second);
}

TEST_F(Cli, JsonGivesFinalNamesSubjectsAndDatesOfTheSampleMailbox) {
    const auto sample = std::filesystem::path(KELDOR_TEST_DATA_DIR).parent_path().parent_path() /
                        "samples" / u"削除済みアイテム.dbx";
    ASSERT_TRUE(std::filesystem::exists(sample)) << sample;
    const Result r =
        runCli({"recover", utf8Path(sample), "--into", utf8Path(dir.path()), "--json"}, dir.path());
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_NE(r.out.find("\"mailCount\": 10"), std::string::npos) << r.out;
    const std::string entries[] = {
        R"j({"number": 1, "file": "打ち合わせの日程について.eml", "subject": "打ち合わせの日程について", "date": "2008/10/23 15:30:45"})j",
        R"j({"number": 8, "file": "Your order has shipped.eml", "subject": "Your order has shipped", "date": "2008/12/11 11:15:02"})j",
        R"j({"number": 9, "file": "(件名なし).eml", "subject": "(件名なし)", "date": "2008/12/12 17:40:06"})j",
        R"j({"number": 10, "file": "打ち合わせの日程について(1).eml", "subject": "打ち合わせの日程について", "date": "2008/10/24 09:12:05"})j",
    };
    for (const std::string& entry : entries) {
        EXPECT_NE(r.out.find(entry), std::string::npos) << entry << "\n" << r.out;
    }
    EXPECT_EQ(r.out.find("Recover"), std::string::npos) << "every file renamed: " << r.out;
    for (const auto& entry : std::filesystem::directory_iterator(dir.path())) {
        if (entry.is_directory()) {
            EXPECT_TRUE(std::filesystem::exists(entry.path() / u"打ち合わせの日程について(1).eml"));
            EXPECT_EQ(testing::filesIn(entry.path()).size(), 10u);
        }
    }
}

TEST_F(Cli, ThreeRunsStartedTogetherKeepEveryMail) {
    constexpr int kMails = 150;
    const auto mailbox = makeMailbox(kMails);
    const auto into = dir.path() / "out";
    std::filesystem::create_directory(into);
    std::vector<std::unique_ptr<testing::TempDir>> scratch;
    std::vector<std::thread> runs;
    std::vector<Result> results(3);
    for (std::size_t i = 0; i < results.size(); ++i) {
        scratch.push_back(std::make_unique<testing::TempDir>());
        runs.emplace_back([&, i] {
            results[i] = runCli({"recover", utf8Path(mailbox), "--into", utf8Path(into)},
                                scratch[i]->path());
        });
    }
    for (std::thread& run : runs) {
        run.join();
    }
    std::size_t folders = 0;
    for (const auto& entry : std::filesystem::directory_iterator(into)) {
        ++folders;
        EXPECT_EQ(testing::filesIn(entry.path()).size(), static_cast<std::size_t>(kMails))
            << entry.path();
    }
    EXPECT_EQ(folders, 3u);
    for (const Result& r : results) {
        EXPECT_EQ(r.status, 0) << r.err;
    }
}

TEST_F(Cli, ExtractWritesTheLiveMessagesAndSaysWhichWereCut) {
    testing::MailboxWriter writer;
    writer.addLiveMessage("Subject: live one\r\nFrom: a@example.jp\r\n\r\n" + Bytes(1200, 'x') +
                          "\r\n");
    writer.addLiveMessage("Subject: live two\r\nFrom: a@example.jp\r\n\r\nbody\r\n");
    testing::MailboxOptions options;
    options.liveChainLoop = true;
    const auto mailbox = dir.path() / "live.dbx";
    testing::writeFile(mailbox, writer.build(options));
    const Result r = runCli(
        {"extract", utf8Path(mailbox), "--into", utf8Path(dir.path()), "--json"}, dir.path());
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_NE(r.out.find(R"("mailCount": 2, "messageCount": 2)"), std::string::npos) << r.out;
    EXPECT_NE(r.out.find(R"("chainLoops": 1)"), std::string::npos) << r.out;
    EXPECT_NE(
        r.out.find(
            R"j("file": "live one.eml", "subject": "live one", "date": "(不明)", "cut": true})j"),
        std::string::npos)
        << r.out;
    EXPECT_NE(r.out.find(R"("file": "live two.eml")"), std::string::npos) << r.out;
    EXPECT_NE(r.out.find(jsonEscaped(utf8Path(dir.path() / u"メール抽出"))), std::string::npos)
        << r.out;
}

TEST_F(Cli, NamesTheFileAfterASubjectOnTheLastHeaderLine) {
    testing::MailboxWriter writer;
    const Bytes message = "From: a@example.jp\r\n"
                          "Date: Thu, 23 Oct 2008 15:30:45 +0900\r\n"
                          "Subject: last\r\n\r\nbody\r\n";
    writer.addMessage(message);
    writer.addLiveMessage(message);
    const auto mailbox = dir.path() / "last.dbx";
    writer.writeTo(mailbox);
    for (const std::string command : {"extract", "recover"}) {
        SCOPED_TRACE(command);
        const Result r = runCli(
            {command, utf8Path(mailbox), "--into", utf8Path(dir.path()), "--json"}, dir.path());
        ASSERT_EQ(r.status, 0) << r.err;
        EXPECT_NE(
            r.out.find(R"("file": "last.eml", "subject": "last", "date": "2008/10/23 15:30:45")"),
            std::string::npos)
            << r.out;
    }
}

TEST_F(Cli, StoreFolderHandlesEachMailboxFileInThePickersOrder) {
    const auto store = dir.path() / "store";
    std::filesystem::create_directory(store);
    testing::MailboxWriter live;
    live.addLiveMessage("Subject: kept\r\nFrom: a@example.jp\r\n\r\nbody\r\n");
    live.addMessage("Subject: gone\r\nFrom: a@example.jp\r\n\r\nbody\r\n");
    live.writeTo(store / u"受信トレイ.dbx");
    live.writeTo(store / u"削除済みアイテム.dbx");
    testing::writeFile(store / u"ニュース.dbx", "not a mailbox");
    testing::writeFile(store / "Folders.dbx", "the folder list");
    testing::writeFile(store / "notes.txt", "not listed at all");
    const auto into = dir.path() / "out";
    std::filesystem::create_directory(into);

    for (const std::string command : {"extract", "recover"}) {
        SCOPED_TRACE(command);
        const Result r =
            runCli({command, utf8Path(store), "--into", utf8Path(into), "--json"}, dir.path());
        ASSERT_EQ(r.status, 0) << r.err;
        const auto inbox = r.out.find(R"({"mailbox": "受信トレイ.dbx")");
        const auto deleted = r.out.find(R"({"mailbox": "削除済みアイテム.dbx")");
        ASSERT_NE(inbox, std::string::npos) << r.out;
        ASSERT_NE(deleted, std::string::npos) << r.out;
        EXPECT_LT(inbox, deleted) << "the picker's order";
        EXPECT_NE(r.out.find(R"({"mailbox": "ニュース.dbx", "outcome": "notOutlookExpress")"),
                  std::string::npos)
            << r.out;
        EXPECT_NE(r.out.find(R"({"mailbox": "Folders.dbx", "outcome": "notMailboxFile")"),
                  std::string::npos)
            << r.out;
        EXPECT_EQ(r.out.find("notes.txt"), std::string::npos);
    }
    std::vector<std::filesystem::path> runs;
    for (const auto& entry : std::filesystem::directory_iterator(into)) {
        runs.push_back(entry.path());
    }
    ASSERT_EQ(runs.size(), 2u);
    for (const auto& run : runs) {
        const bool extracted = run.filename().string().rfind("メール抽出", 0) == 0;
        std::vector<Text> subFolders;
        for (const auto& entry : std::filesystem::directory_iterator(run)) {
            subFolders.push_back(platform::pathText(entry.path().filename()));
        }
        std::sort(subFolders.begin(), subFolders.end());
        EXPECT_EQ(subFolders, (std::vector<Text>{u"削除済みアイテム", u"受信トレイ"}));
        const char* expected = extracted ? "kept.eml" : "gone.eml";
        EXPECT_TRUE(std::filesystem::exists(run / u"受信トレイ" / expected)) << run;
        EXPECT_TRUE(std::filesystem::exists(run / u"削除済みアイテム" / expected)) << run;
    }
}

TEST_F(Cli, NothingFoundStillSucceeds) {
    const auto mailbox = makeMailbox(0);
    const Result r =
        runCli({"recover", utf8Path(mailbox), "--into", utf8Path(dir.path())}, dir.path());
    EXPECT_EQ(r.status, 0);
    EXPECT_NE(r.out.find("メールが見つかりませんでした。"), std::string::npos) << r.out;
}

TEST_F(Cli, FailuresExitOneWithTheMessage) {
    const auto missing = dir.path() / "missing.dbx";
    Result r = runCli({"recover", utf8Path(missing), "--into", utf8Path(dir.path())}, dir.path());
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.err, "DBXファイルをオープンできませんでした。\n" + utf8Path(missing) + "\n");
    EXPECT_TRUE(r.out.empty());

    const auto notMailbox = dir.path() / "text.dbx";
    testing::writeFile(notMailbox, "just some text, not a mailbox");
    r = runCli({"recover", utf8Path(notMailbox), "--into", utf8Path(dir.path())}, dir.path());
    EXPECT_EQ(r.status, 1);
    EXPECT_NE(r.err.find("このファイルは、Outlock Express のファイルではありません。"),
              std::string::npos);
}

TEST_F(Cli, JsonFailuresGiveTheOutcomeAndMessageWithTheSameStatus) {
    const auto missing = dir.path() / "missing.dbx";
    const auto notMailbox = dir.path() / "text.dbx";
    testing::writeFile(notMailbox, "just some text, not a mailbox");
    const std::string into = utf8Path(dir.path());
    struct Case {
        std::vector<std::string> args;
        int status;
        std::string json;
    };
    const Case cases[] = {
        {{"recover", utf8Path(missing), "--into", into, "--json"},
         1,
         R"({"outcome": "couldNotOpen", "message": "DBXファイルをオープンできませんでした。\r\n)" +
             jsonEscaped(utf8Path(missing)) + "\"}\n"},
        {{"recover", utf8Path(notMailbox), "--into", into, "--json"},
         1,
         R"({"outcome": "notOutlookExpress", "message": "このファイルは、Outlock Express のファイルではありません。"})"
         "\n"},
        {{"recover", "--json"},
         2,
         R"({"outcome": "usageError", "message": "no mailbox file given"})"
         "\n"},
        {{"recover", utf8Path(notMailbox), "--json", "--full-width", "a"},
         2,
         R"({"outcome": "invalidReplacement", "message": "全角文字を入力してください。"})"
         "\n"},
    };
    for (const Case& c : cases) {
        const Result r = runCli(c.args, dir.path());
        EXPECT_EQ(r.status, c.status) << c.json;
        EXPECT_EQ(r.out, c.json);
        EXPECT_FALSE(r.err.empty()) << "the message still goes to stderr";
    }
}

TEST_F(Cli, AFolderThatCannotBeMadeIsReportedWithThePathAndTheReason) {
    testing::MailboxWriter writer;
    writer.addMessage("Subject: s\r\n\r\nbody\r\n");
    const auto mailbox = dir.path() / "m.dbx";
    writer.writeTo(mailbox);
    const std::string tried = utf8Path(dir.path() / "no" / "such");
    for (const std::string command : {"recover", "extract"}) {
        for (const bool json : {false, true}) {
            SCOPED_TRACE(command + (json ? " --json" : ""));
            std::vector<std::string> args = {command, utf8Path(mailbox), "--into", tried};
            if (json) {
                args.push_back("--json");
            }
            const Result r = runCli(args, dir.path());
            EXPECT_EQ(r.status, 1);
            // The window's message, then the folder tried (the run folder under
            // the missing one) and the system's reason on a line of its own.
            const std::size_t at = r.err.find("出力先フォルダの作成に失敗しました。\n" + tried);
            ASSERT_NE(at, std::string::npos) << r.err;
            const std::size_t reasonLine = r.err.find('\n', r.err.find('\n', at) + 1);
            ASSERT_NE(reasonLine, std::string::npos) << r.err;
            EXPECT_GT(r.err.size(), reasonLine + 2) << "no reason after the path: " << r.err;
            if (json) {
                EXPECT_EQ(r.out.rfind(R"({"outcome": "folderNotCreated", "message": "出力先フォルダの作成に失敗しました。\r\n)" +
                                          jsonEscaped(tried),
                                      0),
                          0u)
                    << r.out;
            }
        }
    }
}

TEST_F(Cli, VersionIsPrinted) {
    const Result r = runCli({"--version"}, dir.path());
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.out, std::string("keldor-cli ") + KELDOR_VERSION + "\n");
}

TEST_F(Cli, UsageErrorsExitTwo) {
    const auto mailbox = makeMailbox(1);
    const std::vector<std::vector<std::string>> cases = {
        {},
        {"recover"},
        {"frobnicate"},
        {"recover", utf8Path(mailbox), "--into"},
        {"recover", utf8Path(mailbox), "--bogus"},
        {"recover", utf8Path(mailbox), utf8Path(mailbox)},
    };
    for (const auto& args : cases) {
        const Result r = runCli(args, dir.path());
        EXPECT_EQ(r.status, 2) << (args.empty() ? "(no arguments)" : args.back());
        EXPECT_NE(r.err.find("Usage:"), std::string::npos);
    }
}

TEST_F(Cli, ReplacementCharactersAreCheckedLikeTheWindowDoes) {
    const auto mailbox = makeMailbox(1);
    const std::string into = utf8Path(dir.path());
    const std::string half = "半角文字（カナ、カナ記号を除く）にしてください。\n";
    const std::string full = "全角文字を入力してください。\n";
    struct Case {
        std::vector<std::string> options;
        std::string message;
    };
    const Case cases[] = {
        {{"--half-width", ""}, half},  {{"--half-width", "ab"}, half},
        {{"--half-width", "ｱ"}, half}, {{"--half-width", "■"}, half},
        {{"--full-width", "a"}, full}, {{"--full-width", "■■"}, full},
        {{"--full-width", ""}, full},
    };
    for (const Case& c : cases) {
        std::vector<std::string> args = {"recover", utf8Path(mailbox), "--into", into};
        args.insert(args.end(), c.options.begin(), c.options.end());
        const Result r = runCli(args, dir.path());
        EXPECT_EQ(r.status, 2) << c.options[1];
        EXPECT_EQ(r.err, c.message) << c.options[1];
    }
    const Result ok = runCli(
        {"recover", utf8Path(mailbox), "--into", into, "--half-width", "#", "--full-width", "〓"},
        dir.path());
    EXPECT_EQ(ok.status, 0) << ok.err;
}

} // namespace
} // namespace keldor
