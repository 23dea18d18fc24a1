#include "bench/bench_mail.h"

#include "engine/dbx_layout.h"
#include "tests/support/mailbox_writer.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <fstream>
#include <iterator>
#include <stdexcept>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

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

std::size_t MailFactory::folderSize(std::mt19937& random) {
    const unsigned kind = random() % 100;
    if (kind < 75) {
        return 800 + random() % 3200;
    }
    if (kind < 97) {
        return 4000 + random() % 5000;
    }
    return 9000 + random() % 31000;
}

BenchMailbox buildBenchMailbox(const std::filesystem::path& file, std::size_t mailCount) {
    const std::filesystem::path sizesFile = file.string() + ".sizes";
    std::fflush(nullptr); // nothing buffered here is written twice
    const pid_t builder = ::fork();
    if (builder == 0) {
        MailFactory factory(KELDOR_SAMPLE_MAILS);
        std::mt19937 random(12345);
        testing::MailboxWriter writer;
        std::ofstream sizes(sizesFile);
        for (std::size_t n = 0; n < mailCount; ++n) {
            const Bytes mail = factory.make(MailFactory::folderSize(random), random);
            writer.addMessage(mail);
            sizes << mail.size() << '\n';
        }
        testing::MailboxOptions options;
        options.scatter = true;
        options.liveBlocksBetween = 0;
        writer.writeTo(file, options);
        sizes << "records " << writer.recordCount() << '\n';
        sizes.close();
        ::_exit(sizes ? 0 : 1);
    }
    int status = 0;
    ::waitpid(builder, &status, 0);
    if (!WIFEXITED(status) || WEXITSTATUS(status) != 0) {
        throw std::runtime_error("could not build the bench mailbox " + file.string());
    }
    BenchMailbox mailbox;
    mailbox.file = file;
    std::ifstream sizes(sizesFile);
    std::string word;
    while (sizes >> word) {
        if (word == "records") {
            sizes >> mailbox.records;
        } else {
            mailbox.messageSizes.push_back(std::stoul(word));
        }
    }
    std::filesystem::remove(sizesFile);
    return mailbox;
}

double copyFloor(const BenchMailbox& mailbox, const std::filesystem::path& out) {
    std::filesystem::create_directories(out);
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
                std::perror("copy floor write");
                std::exit(1);
            }
            used += take;
            left -= take;
        }
        ::close(file);
    }
    ::close(in);
    const double seconds = secondsSince(start);
    std::filesystem::remove_all(out);
    return seconds;
}

double chainFloor(const BenchMailbox& mailbox, const std::filesystem::path& out) {
    using namespace engine::dbx;
    const auto word = [](const char* at) {
        std::uint32_t value = 0;
        std::memcpy(&value, at, sizeof value);
        return value;
    };
    std::filesystem::create_directories(out);
    const auto start = std::chrono::steady_clock::now();
    const int in = ::open(mailbox.file.c_str(), O_RDONLY);
    struct stat info {};
    ::fstat(in, &info);
    const std::size_t capacity = static_cast<std::size_t>(info.st_size) / kRecordSize;
    char head[4];
    std::vector<std::uint32_t> records;
    for (std::uint32_t offset = ::pread(in, head, 4, kDeletedChainHeadAt) == 4 ? word(head) : 0;
         offset != 0 && records.size() < capacity;) {
        records.push_back(offset);
        if (::pread(in, head, 4, offset + kChainLinkAt) != 4) {
            break;
        }
        offset = word(head);
    }
    std::vector<char> record(kRecordSize);
    Bytes message;
    int number = 0;
    const auto writeMessage = [&] {
        const std::string name = (out / ("Recover" + std::to_string(++number) + ".eml")).string();
        const int file = ::open(name.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
        if (file < 0 ||
            ::write(file, message.data(), message.size()) != static_cast<ssize_t>(message.size())) {
            std::perror("chain floor write");
            std::exit(1);
        }
        ::close(file);
        message.clear();
    };
    for (std::size_t i = records.size(); i-- > 0;) {
        if (::pread(in, record.data(), kRecordSize, records[i]) !=
            static_cast<ssize_t>(kRecordSize)) {
            break;
        }
        message.append(kLostBytesPerRecord, '\0');
        message.append(record.data() + kTextAt, kTextSize);
        if (record[kRecordSize - 1] == '\0' || word(record.data() + kContinuationAt) == 0 ||
            i == 0) {
            writeMessage();
        }
    }
    ::close(in);
    const timespec times[2] = {{0, UTIME_OMIT}, {1000000000, 0}};
    for (int n = 1; n <= number; ++n) {
        const std::string from = (out / ("Recover" + std::to_string(n) + ".eml")).string();
        const std::string to = (out / ("Mail " + std::to_string(n) + ".eml")).string();
        ::utimensat(AT_FDCWD, from.c_str(), times, 0);
        ::renameat2(AT_FDCWD, from.c_str(), AT_FDCWD, to.c_str(), RENAME_NOREPLACE);
    }
    const double seconds = secondsSince(start);
    std::filesystem::remove_all(out);
    return seconds;
}

ChildRun runChild(const std::vector<std::string>& argv,
                  const std::vector<std::string>& extraEnvironment, bool keepStderr) {
    int channel[2];
    if (::pipe(channel) != 0) {
        std::perror("pipe");
        std::exit(1);
    }
    std::fflush(nullptr);
    const auto start = std::chrono::steady_clock::now();
    const pid_t child = ::fork();
    if (child == 0) {
        const int devNull = ::open("/dev/null", O_RDWR);
        ::dup2(devNull, STDIN_FILENO);
        ::dup2(channel[1], STDOUT_FILENO);
        if (!keepStderr) {
            ::dup2(devNull, STDERR_FILENO);
        }
        ::close(channel[0]);
        for (const std::string& variable : extraEnvironment) {
            ::putenv(const_cast<char*>(variable.c_str()));
        }
        std::vector<char*> args;
        for (const std::string& arg : argv) {
            args.push_back(const_cast<char*>(arg.c_str()));
        }
        args.push_back(nullptr);
        ::execv(args[0], args.data());
        ::_exit(127);
    }
    ::close(channel[1]);
    ChildRun run;
    char buffer[4096];
    ssize_t n = 0;
    while ((n = ::read(channel[0], buffer, sizeof buffer)) > 0) {
        run.out.append(buffer, static_cast<std::size_t>(n));
    }
    ::close(channel[0]);
    int status = 0;
    rusage usage{};
    ::wait4(child, &status, 0, &usage);
    run.seconds = secondsSince(start);
    run.peakKiB = usage.ru_maxrss;
    run.status = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    return run;
}

std::filesystem::path defaultOutputRoot() {
    std::error_code error;
    if (std::filesystem::is_directory("/dev/shm", error) && ::access("/dev/shm", W_OK) == 0) {
        return "/dev/shm";
    }
    return std::filesystem::temp_directory_path();
}

double median(std::vector<double> values) {
    if (values.empty()) {
        return 0;
    }
    std::sort(values.begin(), values.end());
    const std::size_t middle = values.size() / 2;
    return values.size() % 2 == 1 ? values[middle] : (values[middle - 1] + values[middle]) / 2;
}

double secondsSince(std::chrono::steady_clock::time_point start) {
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
}

} // namespace keldor::bench
