#include "bench/bench_mail.h"

#include <algorithm>
#include <fstream>
#include <iterator>
#include <stdexcept>
#include <sys/resource.h>

namespace keldor::bench {

namespace {
std::vector<Bytes> splitLines(const Bytes& mail) {
    std::vector<Bytes> lines;
    std::size_t start = 0;
    while (start < mail.size()) {
        const std::size_t end = mail.find("\r\n", start);
        const std::size_t next = end == Bytes::npos ? mail.size() : end + 2;
        lines.push_back(mail.substr(start, next - start));
        start = next;
    }
    return lines;
}
} // namespace

MailFactory::MailFactory(const std::filesystem::path& sampleFolder) {
    std::vector<std::filesystem::path> files;
    for (const auto& entry : std::filesystem::directory_iterator(sampleFolder)) {
        if (entry.path().extension() == ".eml") {
            files.push_back(entry.path());
        }
    }
    std::sort(files.begin(), files.end());
    for (const auto& file : files) {
        std::ifstream in(file, std::ios::binary);
        const Bytes mail{std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
        const std::vector<Bytes> lines = splitLines(mail);
        const auto blank = std::find(lines.begin(), lines.end(), "\r\n");
        // Insert before the last closing delimiter ("--...--"), else at the end.
        auto insertAt = lines.end();
        for (auto it = lines.begin(); it != lines.end(); ++it) {
            if (it->size() > 6 && it->rfind("--", 0) == 0 && it->find("--\r\n", 2) != Bytes::npos) {
                insertAt = it;
            }
        }
        Template t;
        for (auto it = lines.begin(); it != insertAt; ++it) {
            t.head += *it;
        }
        for (auto it = insertAt; it != lines.end(); ++it) {
            t.tail += *it;
        }
        for (auto it = blank; it != lines.end(); ++it) {
            if (it->size() > 2 && it->rfind("--", 0) != 0 && it->find(':') == Bytes::npos) {
                t.filler.push_back(*it);
            }
        }
        if (!t.filler.empty()) {
            templates_.push_back(std::move(t));
        }
    }
    if (templates_.empty()) {
        throw std::runtime_error("no sample mails in " + sampleFolder.string());
    }
}

Bytes MailFactory::make(std::size_t size, std::mt19937& random) const {
    const Template& t = templates_[random() % templates_.size()];
    Bytes mail = t.head;
    std::size_t line = random() % t.filler.size();
    while (mail.size() + t.tail.size() < size) {
        mail += t.filler[line];
        line = (line + 1) % t.filler.size();
    }
    mail += t.tail;
    return mail;
}

std::size_t MailFactory::realisticSize(std::mt19937& random) {
    const unsigned kind = random() % 100;
    if (kind < 60) {
        return 1500 + random() % 4500;
    }
    if (kind < 92) {
        return 6000 + random() % 14000;
    }
    return 20000 + random() % 130000;
}

long childrenPeakKiB() {
    rusage usage{};
    getrusage(RUSAGE_CHILDREN, &usage);
    return usage.ru_maxrss;
}

double secondsSince(std::chrono::steady_clock::time_point start) {
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
}

} // namespace keldor::bench
