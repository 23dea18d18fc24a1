// Repair throughput: writes realistic Japanese mail as message files with
// the first four bytes of every 512 lost (0x00), as recovery leaves them,
// then times
//   baseline: read every file line by line and write every damaged line back unchanged;
//   repair:   repairMessageFile on every file;
// and prints MB of message text per second for both.
//
//   repair_bench [SIZE_MB ...]        (default: 64)

#include "bench/bench_mail.h"
#include "platform/event_point.h"
#include "repair/line_reader.h"
#include "repair/repair_pipeline.h"
#include "tests/support/mailbox_writer.h"

#include <cstdio>
#include <fstream>
#include <string>
#include <unistd.h>
#include <vector>

namespace {

using namespace keldor;
namespace fs = std::filesystem;

// A window that has nothing pending; the repairs need nothing else of it.
class QuietView : public platform::EventPoint {
public:
    void processEvents() override { ++events; }
    long events = 0;
};

struct MessageFiles {
    std::vector<fs::path> files;
    std::size_t bytes = 0;
};

MessageFiles writeDamagedMessages(const fs::path& folder, std::size_t targetBytes) {
    bench::MailFactory factory(KELDOR_SAMPLE_MAILS);
    std::mt19937 random(4711);
    MessageFiles out;
    fs::create_directories(folder);
    while (out.bytes < targetBytes) {
        Bytes mail = factory.make(bench::MailFactory::realisticSize(random), random);
        for (const std::size_t at : testing::lostPositions(mail.size())) {
            mail[at] = '\0';
        }
        const fs::path file = folder / ("Recover" + std::to_string(out.files.size() + 1) + ".eml");
        std::ofstream(file, std::ios::binary)
            .write(mail.data(), static_cast<std::streamsize>(mail.size()));
        out.files.push_back(file);
        out.bytes += mail.size();
    }
    return out;
}

// The least a line-by-line repair in place has to do.
double runBaseline(const MessageFiles& messages) {
    const auto start = std::chrono::steady_clock::now();
    for (const fs::path& file : messages.files) {
        auto reader = repair::openLineReader(file);
        if (!reader) {
            continue;
        }
        for (auto read = repair::readLine(*reader); read; read = repair::readLine(*reader)) {
            if (read->line.find('\0') != Bytes::npos) {
                repair::writeLine(*reader, read->position, read->line);
            }
        }
        repair::closeLineReader(*reader);
    }
    return bench::secondsSince(start);
}

double runRepair(const MessageFiles& messages, QuietView& view) {
    const repair::RepairOptions options;
    const auto start = std::chrono::steady_clock::now();
    for (const fs::path& file : messages.files) {
        repair::repairMessageFile(file, options, view);
    }
    return bench::secondsSince(start);
}

} // namespace

int main(int argc, char** argv) {
    std::vector<std::size_t> sizesMb;
    for (int i = 1; i < argc; ++i) {
        sizesMb.push_back(static_cast<std::size_t>(std::stoul(argv[i])));
    }
    if (sizesMb.empty()) {
        sizesMb = {64};
    }
    const fs::path work =
        fs::temp_directory_path() / ("keldor-repair-bench-" + std::to_string(::getpid()));

    std::printf("%-8s %8s %10s %10s %12s %12s %10s\n", "text", "mails", "baseline", "repair",
                "baseline MB/s", "repair MB/s", "lines");
    for (const std::size_t mb : sizesMb) {
        const MessageFiles baselineFiles =
            writeDamagedMessages(work / "baseline", mb * 1024 * 1024);
        const MessageFiles repairFiles = writeDamagedMessages(work / "repair", mb * 1024 * 1024);
        const double textMb = static_cast<double>(repairFiles.bytes) / (1024.0 * 1024.0);
        const double baseline = runBaseline(baselineFiles);
        QuietView view;
        const double repair = runRepair(repairFiles, view);
        std::printf("%5.0f MB %8zu %9.2fs %9.2fs %12.1f %12.1f %10ld\n", textMb,
                    repairFiles.files.size(), baseline, repair, textMb / baseline, textMb / repair,
                    view.events);
        std::fflush(stdout);
        fs::remove_all(work);
    }
    return 0;
}
