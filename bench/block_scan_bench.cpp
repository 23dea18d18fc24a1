// Block scan benchmark: times scanMailboxBlocks on
//   sparse:  a 2 GiB sparse file (all zero, no blocks),
//   random:  a 2 GiB file of random bytes,
//   mailbox: a mailbox of realistic mail (its records scattered),
// against a plain sequential read of the same file in the scan's read size
// and against `cat FILE >/dev/null`, each in a child process, after one
// read that brings the file into the cache; medians of the runs. Prints the
// scan's peak memory and, for the mailbox, what it costs per block found
// above the peak of a scan that finds nothing.
//
//   block_scan_bench [--out DIR] [--runs N] [--size MiB] [--mails N]
//       (default: the temporary folder, 3 runs, 2048 MiB, 20000 mails)
//   block_scan_bench --scan FILE | --read FILE   (one child's work)

#include "bench/bench_mail.h"
#include "engine/block_scan.h"
#include "platform/files.h"

#include <cstdio>
#include <fstream>
#include <random>
#include <string>
#include <vector>

namespace {

using namespace keldor;
namespace fs = std::filesystem;

constexpr double kMiB = 1024.0 * 1024.0;

std::optional<platform::ReadOnlyFile> openFile(const char* path) {
    std::error_code error;
    std::optional<platform::ReadOnlyFile> file = platform::ReadOnlyFile::open(path, error);
    if (!file) {
        std::fprintf(stderr, "%s: %s\n", path, error.message().c_str());
    }
    return file;
}

int scanChild(const char* path) {
    const std::optional<platform::ReadOnlyFile> file = openFile(path);
    if (!file) {
        return 1;
    }
    const engine::ScanResult scan = engine::scanMailboxBlocks(*file);
    const engine::ScanCounts& counts = scan.counts();
    std::printf("%llu %llu %zu\n", static_cast<unsigned long long>(counts.liveBlocks),
                static_cast<unsigned long long>(counts.deletedBlocks), scan.messageCount());
    return 0;
}

int readChild(const char* path) {
    const std::optional<platform::ReadOnlyFile> file = openFile(path);
    if (!file) {
        return 1;
    }
    // On a page boundary, as the scan reads, and as fast as a plain read goes.
    std::vector<char> storage(4 * 1024 * 1024 + 4096);
    const std::size_t skew = reinterpret_cast<std::uintptr_t>(storage.data()) % 4096;
    const std::span<char> buffer(storage.data() + (4096 - skew) % 4096, 4 * 1024 * 1024);
    std::uint64_t sum = 0;
    for (std::uint64_t at = 0; at < file->size();) {
        const std::optional<std::size_t> got = file->readAt(at, buffer);
        if (!got || *got == 0) {
            return 1;
        }
        sum += static_cast<unsigned char>(buffer[0]);
        at += *got;
    }
    std::printf("%llu\n", static_cast<unsigned long long>(sum));
    return 0;
}

void writeSparse(const fs::path& path, std::uint64_t size) {
    { std::ofstream out(path, std::ios::binary | std::ios::trunc); }
    fs::resize_file(path, size);
}

void writeRandom(const fs::path& path, std::uint64_t size) {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    std::mt19937_64 random(42);
    std::vector<std::uint64_t> chunk(1 << 20);
    for (std::uint64_t done = 0; done < size; done += chunk.size() * 8) {
        for (std::uint64_t& word : chunk) {
            word = random();
        }
        out.write(
            reinterpret_cast<const char*>(chunk.data()),
            static_cast<std::streamsize>(std::min<std::uint64_t>(chunk.size() * 8, size - done)));
    }
}

struct Timing {
    double cat = 0;
    double read = 0;
    double scan = 0;
    long scanPeakKiB = 0;
    std::string found;
};

Timing measure(const std::string& self, const fs::path& file, int runs) {
    const std::vector<std::string> cat = {"/bin/sh", "-c",
                                          "cat '" + file.string() + "' >/dev/null"};
    bench::runChild(cat); // into the cache
    std::vector<double> cats, reads, scans;
    Timing timing;
    for (int r = 0; r < runs; ++r) {
        cats.push_back(bench::runChild(cat).seconds);
        reads.push_back(bench::runChild({self, "--read", file.string()}).seconds);
        const bench::ChildRun scan = bench::runChild({self, "--scan", file.string()});
        scans.push_back(scan.seconds);
        timing.scanPeakKiB = std::max(timing.scanPeakKiB, scan.peakKiB);
        timing.found = scan.out;
    }
    timing.cat = bench::median(cats);
    timing.read = bench::median(reads);
    timing.scan = bench::median(scans);
    return timing;
}

void print(const char* name, const fs::path& file, const Timing& t) {
    const double mib = static_cast<double>(fs::file_size(file)) / kMiB;
    std::printf("%-8s %9.0f MiB  cat %6.3f s  read %6.3f s  scan %6.3f s (%5.0f MiB/s, %.2f x cat, "
                "%.2f x read)  peak %6.1f MiB  found (live deleted messages) %s",
                name, mib, t.cat, t.read, t.scan, mib / t.scan, t.scan / t.cat, t.scan / t.read,
                static_cast<double>(t.scanPeakKiB) / 1024.0, t.found.c_str());
}

} // namespace

int main(int argc, char** argv) {
    fs::path outRoot = fs::temp_directory_path();
    int runs = 3;
    std::uint64_t sizeMiB = 2048;
    std::size_t mails = 20000;
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        if (arg == "--scan" && i + 1 < argc) {
            return scanChild(argv[i + 1]);
        }
        if (arg == "--read" && i + 1 < argc) {
            return readChild(argv[i + 1]);
        }
        if (arg == "--out" && i + 1 < argc) {
            outRoot = argv[++i];
        } else if (arg == "--runs" && i + 1 < argc) {
            runs = std::max(1, std::stoi(argv[++i]));
        } else if (arg == "--size" && i + 1 < argc) {
            sizeMiB = std::stoull(argv[++i]);
        } else if (arg == "--mails" && i + 1 < argc) {
            mails = std::stoul(argv[++i]);
        }
    }
    const std::string self = fs::absolute(argv[0]).string();
    const fs::path folder = outRoot / "keldor-block-scan-bench";
    fs::create_directories(folder);

    // The fixed amount: a scan's peak over a file in which it finds nothing.
    const fs::path empty = folder / "empty";
    writeSparse(empty, 16 * 1024 * 1024);
    const long baseKiB = bench::runChild({self, "--scan", empty.string()}).peakKiB;
    std::printf("peak of a scan that finds nothing: %.1f MiB\n",
                static_cast<double>(baseKiB) / 1024.0);

    const fs::path sparse = folder / "sparse";
    writeSparse(sparse, sizeMiB * 1024 * 1024);
    print("sparse", sparse, measure(self, sparse, runs));
    fs::remove(sparse);

    const fs::path random = folder / "random";
    writeRandom(random, sizeMiB * 1024 * 1024);
    print("random", random, measure(self, random, runs));
    fs::remove(random);

    const fs::path mailbox = folder / "mailbox.dbx";
    const bench::BenchMailbox built = bench::buildBenchMailbox(mailbox, mails);
    const Timing t = measure(self, mailbox, runs);
    print("mailbox", mailbox, t);
    std::printf(
        "mailbox: %zu records, %.1f bytes of peak memory per block above a scan finding nothing\n",
        built.records,
        static_cast<double>(t.scanPeakKiB - baseKiB) * 1024.0 / static_cast<double>(built.records));
    fs::remove_all(folder);
    return 0;
}
