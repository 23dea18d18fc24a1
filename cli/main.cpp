// keldor-cli: the recovery from a terminal, for batch use and machines
// without a display. Same core, same output folder, same messages.

#include "cli/cli_view.h"
#include "cli/json_report.h"
#include "cli/stores_command.h"
#include "engine/extract_run.h"
#include "engine/output_folder.h"
#include "engine/recovery_run.h"
#include "engine/run_flags.h"
#include "engine/run_messages.h"
#include "engine/scan_run.h"
#include "platform/case_fold.h"
#include "platform/console.h"
#include "platform/files.h"
#include "platform/text.h"
#include "repair/repair_options.h"
#include "startup/mailbox_files.h"

#include <algorithm>
#include <functional>
#include <optional>
#include <string>
#include <variant>
#include <vector>

namespace {

using namespace keldor;

constexpr int kExitCompleted = 0;
constexpr int kExitFailed = 1;
constexpr int kExitUsage = 2;

constexpr const char* kUsage =
    "Usage:\n"
    "  keldor-cli recover MAILBOX.dbx|STORE-FOLDER [--into DIR] [--half-width C] [--full-width C] "
    "[--json] "
    "[--quiet]\n"
    "  keldor-cli extract MAILBOX.dbx|STORE-FOLDER [--into DIR] [--json] [--quiet]\n"
    "  keldor-cli scan MAILBOX.dbx|IMAGE|STORE-FOLDER [--into DIR] [--half-width C] "
    "[--full-width C] [--json] [--quiet]\n"
    "  keldor-cli stores [--json]\n"
    "  keldor-cli --version\n"
    "\n"
    "Recovers the deleted mail of an Outlook Express mailbox file into a new folder\n"
    "DIR/メール復元YYYYMMDDhhmmss/ (DIR defaults to the current directory).\n"
    "  --half-width C  replacement for lost single-byte characters (default *)\n"
    "  --full-width C  replacement for lost double-byte characters (default ■)\n"
    "  --json          print the result as one JSON object, also when the run cannot\n"
    "                  start or fails (its outcome and the message)\n"
    "  --quiet         no progress on stderr\n"
    "\n"
    "extract writes every live (never deleted) message of the mailbox, byte for byte,\n"
    "into a new folder DIR/メール抽出YYYYMMDDhhmmss/, named and dated like recovered mail.\n"
    "scan reads a damaged mailbox (a wiped header, a broken chain, a cut file) or a disk\n"
    "image holding one, once from start to end, finds every block of mail by its own\n"
    "header and writes the live messages into 未削除メール/ and the deleted ones,\n"
    "repaired as recover repairs them, into 削除済みメール/ of DIR/メール救出YYYYMMDDhhmmss/.\n"
    "A store folder as the argument handles each of its mailbox files, in the order\n"
    "the mailbox picker lists them, into its own sub-folder of one new folder.\n"
    "Ctrl-C stops the run at its next check; a second Ctrl-C ends the program at once.\n"
    "\n"
    "stores lists the Outlook Express identities, their store folders, the default\n"
#ifdef _WIN32
    "identity and the proposed output folder, as found in the registry.\n";
#else
    "identity and the proposed output folder, as found in the registry: the Wine\n"
    "prefix's user.reg ($WINEPREFIX, default ~/.wine), or the registry export named\n"
    "by KELDOR_REGISTRY (REGEDIT4 or version 5.00).\n";
#endif

void printLine(platform::Stream stream, const std::string& utf8) {
    platform::writeText(stream, utf8 + "\n");
}

// Set when the arguments ask for JSON, so that failures are reported in it too.
bool JsonWanted = false;

// A failure: its message on stderr and, with --json, as one object on stdout.
int failure(int status, std::string_view outcome, const Text& message, bool printMessage) {
    if (printMessage) {
        printLine(platform::Stream::Err, cli::terminalText(message));
    }
    if (JsonWanted) {
        printLine(platform::Stream::Out, cli::jsonFailure(outcome, message));
    }
    return status;
}

// A run that could not start or failed, whose message the view has printed:
// the command line adds what the window leaves out (the folder it could not
// make and why).
template <typename Report>
int runFailure(const Report& report) {
    if (report.detail.empty()) {
        return failure(kExitFailed, cli::outcomeName(report.outcome), report.message, false);
    }
    printLine(platform::Stream::Err, cli::terminalText(report.detail));
    return failure(kExitFailed, cli::outcomeName(report.outcome),
                   report.message + u"\r\n" + report.detail, false);
}

int usageError(const std::string& problem) {
    if (!problem.empty()) {
        printLine(platform::Stream::Err, "keldor-cli: " + problem);
    }
    platform::writeText(platform::Stream::Err, kUsage);
    if (JsonWanted) {
        printLine(platform::Stream::Out,
                  cli::jsonFailure("usageError", platform::fromUtf8(problem)));
    }
    return kExitUsage;
}

void requestStop() {
    engine::StopRequested = true;
}

struct RunArguments {
    std::string mailbox;
    std::optional<std::string> into;
    std::string halfWidth = "*";
    std::string fullWidth = "■";
    bool json = false;
    bool quiet = false;
};

// nullopt after a usage error has been printed.
// `withReplacements`: the command takes --half-width and --full-width.
std::optional<RunArguments> parseRun(const std::vector<std::string>& args, bool withReplacements) {
    RunArguments parsed;
    bool haveMailbox = false;
    for (std::size_t i = 0; i < args.size(); ++i) {
        const std::string& arg = args[i];
        const auto value = [&](std::string& into) {
            if (i + 1 >= args.size()) {
                usageError(arg + " needs a value");
                return false;
            }
            into = args[++i];
            return true;
        };
        if (arg == "--into") {
            std::string dir;
            if (!value(dir)) {
                return std::nullopt;
            }
            parsed.into = dir;
        } else if (withReplacements && arg == "--half-width") {
            if (!value(parsed.halfWidth)) {
                return std::nullopt;
            }
        } else if (withReplacements && arg == "--full-width") {
            if (!value(parsed.fullWidth)) {
                return std::nullopt;
            }
        } else if (arg == "--json") {
            parsed.json = true;
        } else if (arg == "--quiet") {
            parsed.quiet = true;
        } else if (arg.size() > 1 && arg[0] == '-') {
            usageError("unknown option " + arg);
            return std::nullopt;
        } else if (!haveMailbox) {
            parsed.mailbox = arg;
            haveMailbox = true;
        } else {
            usageError("more than one mailbox given");
            return std::nullopt;
        }
    }
    if (!haveMailbox) {
        usageError("no mailbox file given");
        return std::nullopt;
    }
    return parsed;
}

// A path given on the command line (UTF-8) as a path of this system.
std::filesystem::path commandLinePath(const std::string& utf8) {
    return platform::toPath(platform::fromUtf8(utf8));
}

// --into, or the current folder; absolute.
Text outputLocation(const RunArguments& arguments) {
    std::error_code error;
    std::filesystem::path location =
        arguments.into ? commandLinePath(*arguments.into) : std::filesystem::current_path(error);
    return platform::pathText(std::filesystem::absolute(location, error));
}

bool showsProgress(const RunArguments& arguments) {
    return !arguments.quiet && platform::isConsole(platform::Stream::Err);
}

// One mailbox file of a store folder, as its run left it.
struct MailboxOutcome {
    Text name;
    bool completed = false;
    std::string outcome; // the outcome's JSON name
    Text message;        // why it was skipped
    std::string json;    // the run's JSON report, when completed
    Text summary;        // the run's one-line text report, when completed
};

// Runs `runOne` (mailbox path, folder name) for every mailbox file of
// `store` in the picker's order, each into its own sub-folder of one new run
// folder named `runFolderPrefix` + the time; the files the picker leaves out
// are listed as skipped.
int runStoreFolder(const std::filesystem::path& store, const RunArguments& arguments,
                   TextView runFolderPrefix,
                   const std::function<MailboxOutcome(const std::filesystem::path&, const Text&,
                                                      const Text&)>& runOne) {
    std::error_code error;
    const Text runFolderPath = engine::joinPath(
        outputLocation(arguments), engine::stampedFolderName(runFolderPrefix, engine::localNow()));
    const std::optional<std::filesystem::path> runFolder =
        engine::claimOutputFolder(runFolderPath, error);
    if (!runFolder) {
        return failure(kExitFailed, "folderNotCreated",
                       engine::folderNotCreatedMessage() + u"\r\n" +
                           engine::folderFailureDetail(runFolderPath, error),
                       true);
    }
    std::vector<MailboxOutcome> outcomes;
    for (const startup::MailboxFile& file : startup::listMailboxFiles(store)) {
        Text subFolder = file.name.substr(0, file.name.size() - 4); // without ".dbx"
        if (subFolder.empty()) {
            subFolder = file.name;
        }
        outcomes.push_back(
            runOne(store / platform::toPath(file.name), platform::pathText(*runFolder), subFolder));
        outcomes.back().name = file.name;
        if (engine::StopRequested) {
            break; // Ctrl-C: the files not yet reached are left alone
        }
    }
    for (const platform::FolderEntry& entry : platform::listFiles(store)) {
        if (platform::foldCase(entry.name).ends_with(u".dbx") &&
            !startup::folderKindOf(entry.name)) {
            outcomes.push_back(
                MailboxOutcome{entry.name,
                               false,
                               "notMailboxFile",
                               Text(engine::kNotMailboxFileNote),
                               {},
                               {}});
        }
    }

    if (arguments.json) {
        std::vector<std::string> done;
        std::vector<std::string> skipped;
        for (const MailboxOutcome& o : outcomes) {
            if (o.completed) {
                done.push_back(cli::JsonObject().add("mailbox", o.name).addRaw("report", o.json).str());
            } else {
                skipped.push_back(cli::JsonObject()
                                      .add("mailbox", o.name)
                                      .add("outcome", o.outcome)
                                      .add("message", o.message)
                                      .str());
            }
        }
        printLine(platform::Stream::Out,
                  cli::JsonObject()
                      .add("outputFolder", platform::pathText(*runFolder))
                      .addRaw("mailboxes", cli::jsonArray(done))
                      .addRaw("skipped", cli::jsonArray(skipped))
                      .str());
        return kExitCompleted;
    }
    printLine(platform::Stream::Out, platform::toUtf8(platform::pathText(*runFolder)));
    for (const MailboxOutcome& o : outcomes) {
        printLine(platform::Stream::Out,
                  platform::toUtf8(o.name + u": " +
                                   (o.completed ? o.summary : Text(engine::kSkippedLabel) + o.message)));
    }
    return kExitCompleted;
}

bool isFolder(const std::filesystem::path& path) {
    std::error_code error;
    return std::filesystem::is_directory(path, error);
}

// The text report of a run: how many, the folder, then what the command
// noticed (extract: the files cut short and the damage read past).
void printReport(const engine::RunReport& report, const Text& summary) {
    printLine(platform::Stream::Out, platform::toUtf8(summary));
    printLine(platform::Stream::Out, platform::toUtf8(platform::pathText(report.outputFolder)));
    for (std::size_t i = 0; i < report.files.size() && i < report.cut.size(); ++i) {
        if (report.cut[i]) {
            printLine(platform::Stream::Out,
                      platform::toUtf8(engine::cutFileNote(
                          platform::pathText(report.files[i].file.filename()))));
        }
    }
    if (const int damage = report.damage.total(); damage > 0) {
        printLine(platform::Stream::Out, platform::toUtf8(engine::damageNote(damage)));
    }
    if (report.stopped) {
        printLine(platform::Stream::Out, platform::toUtf8(Text(engine::kStoppedNote)));
    }
}

// The commands that run over a mailbox file or a store folder.
struct RunCommandLine {
    std::string_view name;
    bool withReplacements;         // takes --half-width and --full-width
    std::u16string_view stem;      // of the run folder a store folder gets
    std::u16string_view caption;   // the progress line's caption while writing
    bool refusedFolderStays;       // the run makes its folder before it checks the file
    engine::RunReport (*run)(const std::filesystem::path& mailbox, engine::RunView& view,
                             const repair::RepairOptions& options,
                             const engine::RunSettings& settings);
    std::string (*json)(const engine::RunReport& report);
    Text (*summary)(int mailCount);
};

engine::RunReport extract(const std::filesystem::path& mailbox, engine::RunView& view,
                          const repair::RepairOptions&, const engine::RunSettings& settings) {
    return engine::extractMailbox(mailbox, view, settings);
}

constexpr RunCommandLine kRunCommands[] = {
    {"recover", true, engine::kRecoverFolderStem, u"復元中", true, engine::recoverMailbox,
     cli::jsonRecoverReport,
     engine::mailFoundSummary},
    {"extract", false, engine::kExtractFolderStem, u"抽出中", false, extract,
     cli::jsonExtractReport, engine::mailExtractedSummary},
    {"scan", true, engine::kRescueFolderStem, u"救出中", false, engine::scanMailbox,
     cli::jsonScanReport,
     engine::mailRescuedSummary},
};

int runCommand(const RunCommandLine& command, const std::vector<std::string>& args) {
    const std::optional<RunArguments> parsed = parseRun(args, command.withReplacements);
    if (!parsed) {
        return kExitUsage;
    }
    const auto options = repair::makeRepairOptions(platform::fromUtf8(parsed->halfWidth),
                                                   platform::fromUtf8(parsed->fullWidth));
    if (const auto* rejection = std::get_if<repair::ReplacementRejection>(&options)) {
        return failure(kExitUsage, "invalidReplacement", repair::rejectionMessage(*rejection),
                       true);
    }
    const auto& repairOptions = std::get<repair::RepairOptions>(options);

    platform::installInterruptHandler(requestStop);
    const std::filesystem::path target = commandLinePath(parsed->mailbox);
    if (isFolder(target)) {
        return runStoreFolder(
            target, *parsed, command.stem,
            [&](const std::filesystem::path& mailbox, const Text& location, const Text& name) {
                cli::CliView view(location, showsProgress(*parsed), Text(command.caption));
                engine::RunSettings settings;
                settings.keepFileList = parsed->json;
                settings.folderName = name;
                const engine::RunReport report = command.run(mailbox, view, repairOptions, settings);
                view.finishProgress();
                const bool completed = report.outcome == engine::RunOutcome::Completed;
                if (!completed && command.refusedFolderStays && !report.outputFolder.empty()) {
                    std::error_code ignored; // a refused file's folder stays only when empty
                    std::filesystem::remove(report.outputFolder, ignored);
                }
                return MailboxOutcome{{},
                                      completed,
                                      std::string(cli::outcomeName(report.outcome)),
                                      report.message,
                                      completed ? command.json(report) : std::string(),
                                      command.summary(report.mailCount)};
            });
    }
    cli::CliView view(outputLocation(*parsed), showsProgress(*parsed), Text(command.caption));
    engine::RunSettings settings;
    settings.keepFileList = parsed->json;
    const engine::RunReport report = command.run(target, view, repairOptions, settings);
    view.finishProgress();
    if (report.outcome != engine::RunOutcome::Completed) {
        // The view has printed the message.
        return runFailure(report);
    }
    if (parsed->json) {
        printLine(platform::Stream::Out, command.json(report));
    } else {
        printReport(report, command.summary(report.mailCount));
    }
    return kExitCompleted;
}

int run(const std::vector<std::string>& args) {
    if (args.empty()) {
        return usageError("");
    }
    JsonWanted = std::find(args.begin(), args.end(), "--json") != args.end();
    if (args[0] == "--version") {
        printLine(platform::Stream::Out, std::string("keldor-cli ") + KELDOR_VERSION);
        return kExitCompleted;
    }
    if (args[0] == "--help" || args[0] == "-h" || args[0] == "help") {
        platform::writeText(platform::Stream::Out, kUsage);
        return kExitCompleted;
    }
    for (const RunCommandLine& command : kRunCommands) {
        if (args[0] == command.name) {
            return runCommand(command, {args.begin() + 1, args.end()});
        }
    }
    if (args[0] == "stores") {
        return cli::runStoresCommand({args.begin() + 1, args.end()});
    }
    return usageError("unknown command " + args[0]);
}

} // namespace

// The arguments reach the program as UTF-8 on both systems: Windows hands
// them over as UTF-16 through wmain, whatever the system's code page.
#ifdef _WIN32
int wmain(int argc, wchar_t** argv) {
    std::vector<std::string> args;
    for (int i = 1; i < argc; ++i) {
        const std::wstring_view arg(argv[i]);
        args.push_back(platform::toUtf8(Text(arg.begin(), arg.end())));
    }
    return run(args);
}
#else
int main(int argc, char** argv) {
    return run(std::vector<std::string>(argv + 1, argv + argc));
}
#endif
