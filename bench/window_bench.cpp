// The windowed program against the command line on the same work: builds
// the bench mailbox, then times, several times each and in turn,
//   floor:  read the mailbox and write the same bytes into as many files;
//   cli:    keldor-cli recover on it;
//   window: the Qt main window (offscreen), from the click on Start to the
//           final question, which the benchmark answers No;
// and prints the medians and their ratios (goals: the window within 1.2x
// of the command line, the command line within 3x of the floor).
//
//   window_bench [--mails N] [--runs N] [--out DIR]   (default: 20000 mails, 5 runs)
//
// Output goes under DIR (default /dev/shm, a tmpfs, when it is there).

#include "bench/bench_mail.h"
#include "engine/run_view.h"
#include "platform/text.h"
#include "ui/qt/frm_main.h"
#include "ui/qt/message_box.h"

#include <QApplication>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>

#include <cstdio>
#include <filesystem>
#include <optional>
#include <string>
#include <unistd.h>
#include <vector>

namespace {

using namespace keldor;
namespace fs = std::filesystem;

// Answers every box at once; notes when the final question came.
class BenchBoxes : public ui::MessageBoxes {
public:
    engine::MessageAnswer show(QWidget*, const Text& text, engine::MessageIcon icon,
                               engine::MessageButtons buttons) override {
        if (buttons == engine::MessageButtons::YesNo) {
            if (!asked) {
                asked = std::chrono::steady_clock::now();
            }
            return engine::MessageAnswer::No;
        }
        if (icon != engine::MessageIcon::Information) {
            failure = platform::toUtf8(text);
        }
        return engine::MessageAnswer::Ok;
    }
    std::optional<std::chrono::steady_clock::time_point> asked;
    std::string failure;
};

// The main window, counting how often the run lets its events through.
class CountingWindow : public ui::frmMain {
public:
    using frmMain::frmMain;
    void processEvents() override {
        ++entries;
        frmMain::processEvents();
    }
    long entries = 0;
};

template <typename W> W* control(const QObject& parent, const char* name) {
    W* found = parent.findChild<W*>(QString::fromLatin1(name));
    if (found == nullptr) {
        std::fprintf(stderr, "no control %s\n", name);
        std::exit(1);
    }
    return found;
}

// In the child: one run through the window. Prints seconds and event-loop entries.
int runWindow(const std::string& mailbox, const std::string& into) {
    int argc = 1;
    char name[] = "window_bench";
    char* argv[] = {name, nullptr};
    QApplication app(argc, argv);
    BenchBoxes boxes;
    ui::MainWindowSetup setup;
    setup.defaultOutputFolder = platform::fromUtf8(into);
    CountingWindow window(setup, boxes);
    window.show();
    QCoreApplication::processEvents();
    control<QRadioButton>(window, "optFolder")->click();
    control<QLineEdit>(window, "txtDBXFile")->setText(QString::fromStdString(mailbox));
    QCoreApplication::processEvents();

    const auto start = std::chrono::steady_clock::now();
    control<QPushButton>(window, "cmdStart")->click();
    if (!boxes.asked) {
        std::fprintf(stderr, "the run ended without its question: %s\n", boxes.failure.c_str());
        return 1;
    }
    const double seconds = std::chrono::duration<double>(*boxes.asked - start).count();
    std::printf("%f %ld\n", seconds, window.entries);
    return 0;
}

struct Timed {
    std::vector<double> seconds;
    [[nodiscard]] double median() const { return bench::median(seconds); }
};

} // namespace

int main(int argc, char** argv) {
    if (argc == 4 && std::string(argv[1]) == "--window") {
        return runWindow(argv[2], argv[3]);
    }
    std::size_t mails = 20000;
    int runs = 5;
    fs::path outRoot = bench::defaultOutputRoot();
    for (int i = 1; i + 1 < argc; i += 2) {
        const std::string arg = argv[i];
        if (arg == "--mails") {
            mails = static_cast<std::size_t>(std::stoul(argv[i + 1]));
        } else if (arg == "--runs") {
            runs = std::max(1, std::stoi(argv[i + 1]));
        } else if (arg == "--out") {
            outRoot = argv[i + 1];
        } else {
            std::fprintf(stderr, "usage: window_bench [--mails N] [--runs N] [--out DIR]\n");
            return 2;
        }
    }
    const std::string tag = "keldor-window-bench-" + std::to_string(::getpid());
    const fs::path work = fs::temp_directory_path() / tag;
    const fs::path out = outRoot / tag;
    fs::create_directories(work);
    fs::create_directories(out);
    const std::string self = fs::read_symlink("/proc/self/exe").string();

    const bench::BenchMailbox mailbox = bench::buildBenchMailbox(work / "bench.dbx", mails);
    std::printf("%zu mails, %zu records, %.1f MB; output under %s; medians of %d runs\n",
                mailbox.messageSizes.size(), mailbox.records,
                static_cast<double>(fs::file_size(mailbox.file)) / (1024.0 * 1024.0),
                outRoot.c_str(), runs);
    std::fflush(stdout);

    bench::copyFloor(mailbox, out / "warm"); // page cache warm for all
    Timed floor;
    Timed cli;
    Timed window;
    long entries = 0;
    int failures = 0;
    for (int run = 0; run < runs; ++run) {
        floor.seconds.push_back(bench::copyFloor(mailbox, out / "floor"));

        const fs::path cliInto = out / "cli";
        fs::create_directories(cliInto);
        const bench::ChildRun cliRun =
            bench::runChild({KELDOR_CLI_PATH, "recover", mailbox.file.string(), "--into",
                             cliInto.string(), "--quiet"});
        fs::remove_all(cliInto);
        failures += cliRun.status != 0;
        cli.seconds.push_back(cliRun.seconds);

        const fs::path windowInto = out / "window";
        fs::create_directories(windowInto);
        const bench::ChildRun windowRun =
            bench::runChild({self, "--window", mailbox.file.string(), windowInto.string()},
                            {"QT_QPA_PLATFORM=offscreen"}, true);
        fs::remove_all(windowInto);
        double seconds = 0;
        if (windowRun.status != 0 ||
            std::sscanf(windowRun.out.c_str(), "%lf %ld", &seconds, &entries) != 2) {
            ++failures;
        }
        window.seconds.push_back(seconds);
        std::printf("  run %d: floor %.2fs  cli %.2fs  window %.2fs (%ld event-loop entries)\n",
                    run + 1, floor.seconds.back(), cli.seconds.back(), seconds, entries);
        std::fflush(stdout);
    }
    std::printf("floor  %6.2fs\n", floor.median());
    std::printf("cli    %6.2fs  %5.2fx the floor (goal: within 3x)\n", cli.median(),
                cli.median() / floor.median());
    std::printf("window %6.2fs  %5.2fx the command line (goal: within 1.2x)\n", window.median(),
                window.median() / cli.median());
    if (failures != 0) {
        std::fprintf(stderr, "%d runs failed\n", failures);
    }
    fs::remove_all(work);
    fs::remove_all(out);
    return failures == 0 ? 0 : 1;
}
