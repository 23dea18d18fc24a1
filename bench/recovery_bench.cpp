// Whole-run benchmark: builds a large mailbox of realistic Japanese mail
// with its records scattered among live blocks, then times
//   baseline: read the mailbox and write the same bytes into the same number of files;
//   keldor:   keldor-cli recover on it (reassembly, repair, rename);
// and prints the ratio, MB/s and keldor's peak memory. Run for two sizes to
// show that memory does not grow with the mailbox beyond the record list.
//
//   recovery_bench [SIZE_MB ...]        (default: 50 200)

#include "bench/bench_mail.h"
#include "tests/support/mailbox_writer.h"

#include <cstdio>
#include <cstdlib>
#include <fcntl.h>
#include <filesystem>
#include <string>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

namespace {

using namespace keldor;
namespace fs = std::filesystem;

struct Mailbox {
    fs::path file;
    std::vector<std::size_t> messageSizes;
    std::size_t records = 0;
};

Mailbox buildMailbox(const fs::path& folder, std::size_t targetBytes) {
    bench::MailFactory factory(KELDOR_SAMPLE_MAILS);
    std::mt19937 random(12345);
    testing::MailboxWriter writer;
    Mailbox mailbox;
    std::size_t total = 0;
    while (total < targetBytes) {
        const Bytes mail = factory.make(bench::MailFactory::realisticSize(random), random);
        writer.addMessage(mail);
        mailbox.messageSizes.push_back(mail.size());
        total += (mail.size() + 511) / 512 * 528;
    }
    testing::MailboxOptions options;
    options.scatter = true;
    options.liveBlocksBetween = 0;
    mailbox.file = folder / "bench.dbx";
    writer.writeTo(mailbox.file, options);
    mailbox.records = writer.recordCount();
    return mailbox;
}

// Reads the mailbox front to back and writes the messages' bytes into as
// many files: the least any recovery has to do.
double runBaseline(const Mailbox& mailbox, const fs::path& out) {
    fs::create_directories(out);
    const auto start = std::chrono::steady_clock::now();
    const int in = ::open(mailbox.file.c_str(), O_RDONLY);
    std::vector<char> buffer(1 << 20);
    std::size_t have = 0;
    std::size_t used = 0;
    for (std::size_t i = 0; i < mailbox.messageSizes.size(); ++i) {
        const std::string name = (out / ("Recover" + std::to_string(i + 1) + ".eml")).string();
        const int file = ::open(name.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
        std::size_t left = mailbox.messageSizes[i];
        while (left > 0) {
            if (used == have) {
                const ssize_t n = ::read(in, buffer.data(), buffer.size());
                if (n <= 0) {
                    ::lseek(in, 0, SEEK_SET);
                    continue;
                }
                have = static_cast<std::size_t>(n);
                used = 0;
            }
            const std::size_t take = std::min(left, have - used);
            if (::write(file, buffer.data() + used, take) != static_cast<ssize_t>(take)) {
                std::perror("baseline write");
                std::exit(1);
            }
            used += take;
            left -= take;
        }
        ::close(file);
    }
    ::close(in);
    return bench::secondsSince(start);
}

struct CliRun {
    double seconds = 0;
    long peakKiB = 0;
    int status = -1;
};

// Runs keldor-cli as a child of the calling process and measures it. Called in
// a freshly exec'd copy of this program: the peak memory the kernel reports
// for a child includes the address space it was forked from, so the child
// must be forked from a small process, not from one holding a built mailbox.
CliRun measureKeldor(const char* mailbox, const char* into) {
    const auto start = std::chrono::steady_clock::now();
    const pid_t child = ::fork();
    if (child == 0) {
        const int devNull = ::open("/dev/null", O_WRONLY);
        ::dup2(devNull, STDOUT_FILENO);
        ::execl(KELDOR_CLI_PATH, KELDOR_CLI_PATH, "recover", mailbox, "--into", into, "--quiet",
                static_cast<char*>(nullptr));
        ::_exit(127);
    }
    CliRun run;
    int status = 0;
    rusage usage{};
    ::wait4(child, &status, 0, &usage);
    run.seconds = bench::secondsSince(start);
    run.peakKiB = usage.ru_maxrss;
    run.status = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    return run;
}

CliRun runKeldor(const Mailbox& mailbox, const fs::path& into) {
    fs::create_directories(into);
    int channel[2];
    if (::pipe(channel) != 0) {
        std::perror("pipe");
        std::exit(1);
    }
    const pid_t measurer = ::fork();
    if (measurer == 0) {
        ::dup2(channel[1], STDOUT_FILENO);
        ::close(channel[0]);
        ::execl("/proc/self/exe", "recovery_bench", "--measure", mailbox.file.c_str(), into.c_str(),
                static_cast<char*>(nullptr));
        ::_exit(127);
    }
    ::close(channel[1]);
    std::string answer;
    char buffer[256];
    ssize_t n = 0;
    while ((n = ::read(channel[0], buffer, sizeof buffer)) > 0) {
        answer.append(buffer, static_cast<std::size_t>(n));
    }
    ::close(channel[0]);
    int status = 0;
    ::waitpid(measurer, &status, 0);
    CliRun run;
    if (std::sscanf(answer.c_str(), "%lf %ld %d", &run.seconds, &run.peakKiB, &run.status) != 3) {
        run.status = -1;
    }
    return run;
}

} // namespace

int main(int argc, char** argv) {
    if (argc == 4 && std::string(argv[1]) == "--measure") {
        const CliRun run = measureKeldor(argv[2], argv[3]);
        std::printf("%f %ld %d\n", run.seconds, run.peakKiB, run.status);
        return 0;
    }
    std::vector<std::size_t> sizesMb;
    for (int i = 1; i < argc; ++i) {
        sizesMb.push_back(static_cast<std::size_t>(std::stoul(argv[i])));
    }
    if (sizesMb.empty()) {
        sizesMb = {50, 200};
    }
    const fs::path work =
        fs::temp_directory_path() / ("keldor-bench-" + std::to_string(::getpid()));
    fs::create_directories(work);

    std::printf("%-8s %8s %8s %10s %10s %8s %10s %10s\n", "mailbox", "mails", "records", "baseline",
                "keldor", "ratio", "MB/s", "peak MiB");
    int failures = 0;
    for (const std::size_t mb : sizesMb) {
        const Mailbox mailbox = buildMailbox(work, mb * 1024 * 1024);
        const double mailboxMb =
            static_cast<double>(fs::file_size(mailbox.file)) / (1024.0 * 1024.0);
        runBaseline(mailbox, work / "warm"); // page cache warm for both
        fs::remove_all(work / "warm");
        const double baseline = runBaseline(mailbox, work / "baseline");
        fs::remove_all(work / "baseline");
        const CliRun keldor = runKeldor(mailbox, work / "keldor");
        fs::remove_all(work / "keldor");
        if (keldor.status != 0) {
            std::fprintf(stderr, "keldor-cli failed with status %d\n", keldor.status);
            ++failures;
        }
        std::printf("%5.0f MB %8zu %8zu %9.2fs %9.2fs %7.2fx %10.1f %10.1f\n", mailboxMb,
                    mailbox.messageSizes.size(), mailbox.records, baseline, keldor.seconds,
                    keldor.seconds / baseline, mailboxMb / keldor.seconds,
                    static_cast<double>(keldor.peakKiB) / 1024.0);
        std::fflush(stdout);
        fs::remove(mailbox.file);
    }
    fs::remove_all(work);
    return failures == 0 ? 0 : 1;
}
