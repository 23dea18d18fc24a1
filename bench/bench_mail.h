#pragma once
// Realistic mail for the benchmarks: the sample mails, each grown to a
// chosen size with lines of its own body, kept well-formed (filler goes
// before a multipart message's closing delimiter).

#include "platform/bytes.h"

#include <chrono>
#include <filesystem>
#include <random>
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

private:
    struct Template {
        Bytes head;                // everything before the insertion point
        Bytes tail;                // the closing delimiter and what follows, if any
        std::vector<Bytes> filler; // body lines to repeat, with CR LF
    };
    std::vector<Template> templates_;
};

// Peak resident memory of the finished child processes, in KiB.
long childrenPeakKiB();

double secondsSince(std::chrono::steady_clock::time_point start);

} // namespace keldor::bench
