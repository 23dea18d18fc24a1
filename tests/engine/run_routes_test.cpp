// The two ways a run can go about its work give the same output: messages
// held, repaired and written in one go; or every message streamed to its
// file and repaired there; or held until a small limit and then streamed. The
// same files under the same names with the same bytes and times, over the
// sample mailbox, the corpus and a few thousand generated mails.

#include "engine/recovery_run.h"

#include "engine/file_times.h"
#include "engine/run_flags.h"
#include "platform/text.h"
#include "tests/support/mailbox_writer.h"
#include "tests/support/test_support.h"

#include <gtest/gtest.h>

#include <map>
#include <random>

namespace keldor::engine {
namespace {

using testing::MailboxOptions;
using testing::MailboxWriter;

struct Route {
    const char* name;
    std::size_t inMemoryLimit;
};

// The first is the reference.
constexpr Route kRoutes[] = {
    {"through the files", 0},
    {"in memory", kInMemoryMessageLimit},
    {"in memory up to 2 KiB", 2048},
};

struct OutputFile {
    Bytes bytes;
    testing::FileStamps stamps;
};

std::map<std::filesystem::path, OutputFile> outputOf(const std::filesystem::path& folder) {
    std::map<std::filesystem::path, OutputFile> files;
    for (const auto& file : testing::filesIn(folder)) {
        files[file.filename()] = {testing::readFile(file), testing::fileStamps(file)};
    }
    return files;
}

class RunRoutes : public ::testing::Test {
protected:
    void SetUp() override {
        StopRequested = false;
        ExitAfterStop = false;
    }

    void expectSameOutput(const std::filesystem::path& mailbox, const std::string& name) {
        SCOPED_TRACE(name);
        std::vector<RunReport> reports;
        std::vector<std::map<std::filesystem::path, OutputFile>> outputs;
        for (const Route& route : kRoutes) {
            const auto location = dir.path() / (name + "-" + std::to_string(reports.size()));
            std::filesystem::create_directory(location);
            testing::RecordingView view;
            view.location = platform::pathText(location);
            RunSettings settings = testing::everyPoint();
            settings.inMemoryLimit = route.inMemoryLimit;
            reports.push_back(recoverMailbox(mailbox, view, repair::RepairOptions{}, settings));
            outputs.push_back(outputOf(reports.back().outputFolder));
            std::filesystem::remove_all(location);
        }
        const RunReport& reference = reports.front();
        ASSERT_EQ(reference.outcome, RunOutcome::Completed);
        EXPECT_GT(reference.mailCount, 0);
        for (std::size_t r = 1; r < reports.size(); ++r) {
            SCOPED_TRACE(kRoutes[r].name);
            EXPECT_EQ(reports[r].mailCount, reference.mailCount);
            ASSERT_EQ(reports[r].files.size(), reference.files.size());
            for (std::size_t i = 0; i < reference.files.size(); ++i) {
                const RenamedFile& want = reference.files[i];
                const RenamedFile& got = reports[r].files[i];
                EXPECT_EQ(got.file.filename(), want.file.filename()) << "mail " << want.number;
                EXPECT_EQ(got.subject, want.subject) << "mail " << want.number;
                EXPECT_EQ(got.dateText, want.dateText) << "mail " << want.number;
            }
            ASSERT_EQ(outputs[r].size(), outputs.front().size());
            for (const auto& [file, want] : outputs.front()) {
                const auto got = outputs[r].find(file);
                ASSERT_NE(got, outputs[r].end()) << file;
                ASSERT_EQ(testing::firstDifference(got->second.bytes, want.bytes), std::nullopt)
                    << file;
            }
            // The times stamped from the mails' dates; the others are the
            // moments of writing.
            for (const RenamedFile& file : reference.files) {
                if (parseDateText(file.dateText) && dateToFileTime(*parseDateText(file.dateText))) {
                    const auto stamped = file.file.filename();
                    const testing::FileStamps& want = outputs.front()[stamped].stamps;
                    const testing::FileStamps& got = outputs[r][stamped].stamps;
                    EXPECT_EQ(got.modified, want.modified) << stamped;
                    EXPECT_EQ(got.created, want.created) << stamped;
                }
            }
        }
    }

    std::filesystem::path write(const Bytes& mailbox, const std::string& name) {
        const auto path = dir.path() / (name + ".dbx");
        testing::writeFile(path, mailbox);
        return path;
    }

    testing::TempDir dir{testing::memoryBackedTemp()};
};

TEST_F(RunRoutes, SampleMailbox) {
    const auto sample = std::filesystem::path(KELDOR_SAMPLES_DIR) / u8"削除済みアイテム.dbx";
    if (!std::filesystem::exists(sample)) {
        GTEST_SKIP() << "no sample mailbox";
    }
    expectSameOutput(sample, "sample");
}

TEST_F(RunRoutes, CorpusMailboxAndMails) {
    const auto synthetic = testing::corpusPath("dbx/synthetic/deleted_iso2022jp_4blocks.dbx");
    const auto mails = testing::corpusPath("mail");
    if (!synthetic || !mails) {
        GTEST_SKIP() << "corpus not beside the project";
    }
    expectSameOutput(*synthetic, "synthetic");

    // The corpus's messages as deleted mail, as they are (some with bare
    // LF, whole messages one line) and with CR LF line ends.
    MailboxWriter asTheyAre;
    MailboxWriter crlf;
    for (const auto& file : testing::filesIn(*mails)) {
        if (file.extension() != ".eml") {
            continue;
        }
        const Bytes mail = testing::readFile(file);
        asTheyAre.addMessage(mail);
        Bytes withCrLf;
        for (const char c : mail) {
            if (c == '\n' && (withCrLf.empty() || withCrLf.back() != '\r')) {
                withCrLf += '\r';
            }
            withCrLf += c;
        }
        crlf.addMessage(withCrLf);
    }
    MailboxOptions scattered;
    scattered.scatter = true;
    expectSameOutput(write(asTheyAre.build(scattered), "corpus"), "corpus");
    expectSameOutput(write(crlf.build(), "corpus-crlf"), "corpus-crlf");
}

// Mails made from the sample mails: bodies grown to many sizes, subjects
// that repeat, now and then a line longer than a line reader's window or
// a message starting with a Return-Path header.
TEST_F(RunRoutes, GeneratedMails) {
    struct Template {
        Bytes header;
        std::vector<Bytes> bodyLines;
    };
    std::vector<Template> templates;
    for (const auto& file : testing::filesIn(std::filesystem::path(KELDOR_SAMPLES_DIR) / "mails")) {
        const Bytes mail = testing::readFile(file);
        const std::size_t blank = mail.find("\r\n\r\n");
        if (blank == Bytes::npos) {
            continue;
        }
        Template t{mail.substr(0, blank + 4), {}};
        for (std::size_t at = blank + 4; at < mail.size();) {
            const std::size_t end = std::min(mail.find("\r\n", at), mail.size() - 2) + 2;
            t.bodyLines.push_back(mail.substr(at, end - at));
            at = end;
        }
        templates.push_back(std::move(t));
    }
    ASSERT_FALSE(templates.empty());

    // Fewer under Wine, whose file calls are many times slower.
#ifdef _WIN32
    constexpr int kMails = 400;
#else
    constexpr int kMails = 2000;
#endif
    std::mt19937 random(2008);
    MailboxWriter writer;
    for (int n = 0; n < kMails; ++n) {
        const Template& t = templates[random() % templates.size()];
        Bytes mail = random() % 20 == 0 ? "Return-Path: <a@example.jp>\r\n" : "";
        Bytes header = t.header;
        if (random() % 3 == 0) {
            const std::size_t subject = header.find("Subject: ");
            if (subject != Bytes::npos) {
                const std::size_t end = header.find("\r\n", subject);
                header.replace(subject, end - subject, "Subject: mail " + std::to_string(n % 40));
            }
        }
        mail += header;
        const std::size_t lines = random() % (random() % 10 == 0 ? 400 : 40);
        for (std::size_t i = 0; i < lines && !t.bodyLines.empty(); ++i) {
            mail += t.bodyLines[(i + n) % t.bodyLines.size()];
        }
        if (random() % 200 == 0) {
            mail += Bytes(70000 + random() % 30000, 'x') + "\r\n";
        }
        for (const Bytes& line : t.bodyLines) {
            if (line.rfind("--", 0) == 0) {
                mail += line; // the closing delimiter comes last again
            }
        }
        writer.addMessage(mail);
    }
    MailboxOptions scattered;
    scattered.scatter = true;
    scattered.liveBlocksBetween = 1;
    expectSameOutput(write(writer.build(scattered), "generated"), "generated");
}

} // namespace
} // namespace keldor::engine
