// Whole-run benchmark: builds mailboxes of realistic Japanese mail with
// their records scattered, then times, several times each and in turn,
//   floor:  read the mailbox and write the same bytes into as many files;
//   chain:  only the system calls a run over the deleted chain needs (one
//           read a link, one a record, a file a message, its rename and
//           time stamp), without any repair or naming work;
//   keldor: keldor-cli recover on it (reassembly, repair, rename);
// and prints the medians, their ratio, MB/s and keldor's peak memory. Run
// for a small and a large mailbox to show that memory stays flat in the
// mailbox size apart from the record list (8 bytes a record).
//
//   recovery_bench [--out DIR] [--runs N] [MAILS ...]   (default: 5000 60000, 3 runs)
//   recovery_bench --write FILE MAILS   (only writes the mailbox, for profiling)
//
// Output goes under DIR (default /dev/shm, a tmpfs, when it is there).

#include "bench/bench_mail.h"

#include <cstdio>
#include <filesystem>
#include <string>
#include <unistd.h>
#include <vector>

namespace {

using namespace keldor;
namespace fs = std::filesystem;

constexpr double kMiB = 1024.0 * 1024.0;

struct Result {
    std::size_t mails = 0;
    std::size_t records = 0;
    double peakMiB = 0;
};

} // namespace

int main(int argc, char** argv) {
    fs::path outRoot = bench::defaultOutputRoot();
    int runs = 3;
    std::vector<std::size_t> counts;
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        if (arg == "--write" && i + 2 < argc) {
            bench::buildBenchMailbox(argv[i + 1],
                                     static_cast<std::size_t>(std::stoul(argv[i + 2])));
            return 0;
        }
        if (arg == "--out" && i + 1 < argc) {
            outRoot = argv[++i];
        } else if (arg == "--runs" && i + 1 < argc) {
            runs = std::max(1, std::stoi(argv[++i]));
        } else {
            counts.push_back(static_cast<std::size_t>(std::stoul(arg)));
        }
    }
    if (counts.empty()) {
        counts = {5000, 60000};
    }
    const std::string tag = "keldor-bench-" + std::to_string(::getpid());
    const fs::path work = fs::temp_directory_path() / tag;
    const fs::path out = outRoot / tag;
    fs::create_directories(work);
    fs::create_directories(out);

    std::printf("output under %s, medians of %d runs\n", outRoot.c_str(), runs);
    std::printf("%8s %8s %8s %9s %9s %8s %9s %8s %8s %9s\n", "mails", "records", "MB", "floor",
                "chain", "ratio", "keldor", "ratio", "MB/s", "peak MiB");
    int failures = 0;
    std::vector<Result> results;
    for (const std::size_t count : counts) {
        const bench::BenchMailbox mailbox = bench::buildBenchMailbox(work / "bench.dbx", count);
        const double mailboxMb = static_cast<double>(fs::file_size(mailbox.file)) / kMiB;
        bench::copyFloor(mailbox, out / "warm"); // page cache warm for both
        std::vector<double> floors;
        std::vector<double> chains;
        std::vector<double> keldors;
        long peakKiB = 0;
        for (int run = 0; run < runs; ++run) {
            floors.push_back(bench::copyFloor(mailbox, out / "floor"));
            chains.push_back(bench::chainFloor(mailbox, out / "chain"));
            const fs::path into = out / "keldor";
            fs::create_directories(into);
            const bench::ChildRun keldor =
                bench::runChild({KELDOR_CLI_PATH, "recover", mailbox.file.string(), "--into",
                                 into.string(), "--quiet"});
            fs::remove_all(into);
            if (keldor.status != 0) {
                std::fprintf(stderr, "keldor-cli failed with status %d\n", keldor.status);
                ++failures;
            }
            keldors.push_back(keldor.seconds);
            peakKiB = std::max(peakKiB, keldor.peakKiB);
        }
        const double floor = bench::median(floors);
        const double chain = bench::median(chains);
        const double keldor = bench::median(keldors);
        std::printf("%8zu %8zu %8.1f %8.2fs %8.2fs %7.2fx %8.2fs %7.2fx %8.1f %9.1f\n",
                    mailbox.messageSizes.size(), mailbox.records, mailboxMb, floor, chain,
                    chain / floor, keldor, keldor / floor, mailboxMb / keldor,
                    static_cast<double>(peakKiB) / 1024.0);
        std::fflush(stdout);
        results.push_back(
            {mailbox.messageSizes.size(), mailbox.records, static_cast<double>(peakKiB) / 1024.0});
        fs::remove(mailbox.file);
    }
    if (results.size() >= 2) {
        // The record list holds one 8-byte offset per record.
        const Result& small = results.front();
        const Result& large = results.back();
        const double recordList =
            static_cast<double>(large.records - std::min(large.records, small.records)) * 8 / kMiB;
        const double beyond = large.peakMiB - recordList;
        std::printf("peak at %zu mails less the record list's growth: %.1f MiB = %.2fx the peak "
                    "at %zu mails (goal: within 1.5x)\n",
                    large.mails, beyond, beyond / small.peakMiB, small.mails);
    }
    fs::remove_all(work);
    fs::remove_all(out);
    return failures == 0 ? 0 : 1;
}
