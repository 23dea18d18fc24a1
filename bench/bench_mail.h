#pragma once
// Realistic mail for the benchmarks: the sample mails, each grown to a
// chosen size with lines of its own body, kept well-formed (filler goes
// before a multipart message's closing delimiter). Also what every
// whole-run benchmark shares: the bench mailbox, the copy floor, timed
// child processes, medians.

#include "platform/bytes.h"

#include <chrono>
#include <filesystem>
#include <random>
#include <string>
#include <vector>

namespace keldor::bench {

class MailFactory {
public:
    explicit MailFactory(const std::filesystem::path& sampleFolder);

    // A message of about `size` bytes (never shorter than its template).
    Bytes make(std::size_t size, std::mt19937& random) const;

    // A size drawn from a mix like a real mail folder: mostly a few KB,
    // some tens of KB, a few with attachments of up to 150 KB.
    static std::size_t realisticSize(std::mt19937& random);

    // The mix of the whole-run benchmarks' mailbox: mostly short mail, about
    // 4 KB on average (20,000 mails make a mailbox of about 84 MB).
    static std::size_t folderSize(std::mt19937& random);

private:
    struct Template {
        Bytes head;                // everything before the insertion point
        Bytes tail;                // the closing delimiter and what follows, if any
        std::vector<Bytes> filler; // body lines to repeat, with CR LF
    };
    std::vector<Template> templates_;
};

// A mailbox file written for a benchmark, and what went into it.
struct BenchMailbox {
    std::filesystem::path file;
    std::vector<std::size_t> messageSizes; // bytes recovery writes per message, in order
    std::size_t records = 0;
};

// Writes `mailCount` realistic mails (seeded, so the same count gives the
// same file) as the deleted chain of a mailbox at `file`, records scattered.
// Built in a child process: this process stays small, so the peak memory
// that later children report is their own (the kernel counts the address
// space a child was forked from into its peak).
BenchMailbox buildBenchMailbox(const std::filesystem::path& file, std::size_t mailCount);

// The floor any recovery stands on: reads the mailbox front to back and
// writes the messages' bytes into as many files in `out` (made and removed
// here). Seconds.
double copyFloor(const BenchMailbox& mailbox, const std::filesystem::path& out);

// The system calls a run that walks the deleted chain cannot do without,
// and nothing else: the chain walked one link read at a time, every record
// read back in reverse order, each message written to a file of its own,
// then renamed and stamped. No repair, no header reading, no naming work.
// The gap between this and the copy floor is the price of the chain's
// scattered records and the separate rename pass. Seconds.
double chainFloor(const BenchMailbox& mailbox, const std::filesystem::path& out);

// A program run as a child of this process.
struct ChildRun {
    double seconds = 0; // from fork to exit
    long peakKiB = 0;   // its peak resident memory
    int status = -1;    // exit status; -1 when it did not exit normally
    std::string out;    // what it wrote on stdout
};

// Runs `argv` (argv[0] a path) with `extraEnvironment` ("NAME=value") added,
// stdin and stderr from and to /dev/null unless `keepStderr`.
ChildRun runChild(const std::vector<std::string>& argv,
                  const std::vector<std::string>& extraEnvironment = {}, bool keepStderr = false);

// Where benchmark output goes by default: /dev/shm when it is there (a
// tmpfs, so disk noise stays out of the figures), else the temporary folder.
std::filesystem::path defaultOutputRoot();

double median(std::vector<double> values);

double secondsSince(std::chrono::steady_clock::time_point start);

} // namespace keldor::bench
