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

void printExtractReport(const engine::ExtractReport& report) {
    const Text summary = report.mailCount == 0
                             ? Text(u"メールが見つかりませんでした。")
                             : platform::toText(report.mailCount) + u"通のメールを抽出しました。";
    printLine(platform::Stream::Out, platform::toUtf8(summary));
    printLine(platform::Stream::Out, platform::toUtf8(platform::pathText(report.outputFolder)));
    for (std::size_t i = 0; i < report.files.size(); ++i) {
        if (i < report.cut.size() && report.cut[i]) {
            printLine(platform::Stream::Out,
                      platform::toUtf8(u"途中で切れています: " +
                                       platform::pathText(report.files[i].file.filename())));
        }
    }
    if (const int damage = report.damage.total(); damage > 0) {
        printLine(
            platform::Stream::Out,
            platform::toUtf8(u"壊れた箇所: " + platform::toText(damage) + u"（読み飛ばしました）"));
    }
    if (report.stopped) {
        printLine(platform::Stream::Out, platform::toUtf8(u"（途中で停止しました）"));
    }
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
                               u"メールボックスのファイルではないため、読み飛ばしました。",
                               {},
                               {}});
        }
    }

    if (arguments.json) {
        std::string out = "{\"outputFolder\": " +
                          cli::jsonString(platform::toUtf8(platform::pathText(*runFolder))) +
                          ", \"mailboxes\": [";
        bool first = true;
        for (const MailboxOutcome& o : outcomes) {
            if (o.completed) {
                out += std::string(first ? "" : ", ") +
                       "{\"mailbox\": " + cli::jsonString(platform::toUtf8(o.name)) +
                       ", \"report\": " + o.json + "}";
                first = false;
            }
        }
        out += "], \"skipped\": [";
        first = true;
        for (const MailboxOutcome& o : outcomes) {
            if (!o.completed) {
                out += std::string(first ? "" : ", ") +
                       "{\"mailbox\": " + cli::jsonString(platform::toUtf8(o.name)) +
                       ", \"outcome\": " + cli::jsonString(o.outcome) +
                       ", \"message\": " + cli::jsonString(platform::toUtf8(o.message)) + "}";
                first = false;
            }
        }
        printLine(platform::Stream::Out, out + "]}");
        return kExitCompleted;
    }
    printLine(platform::Stream::Out, platform::toUtf8(platform::pathText(*runFolder)));
    for (const MailboxOutcome& o : outcomes) {
        printLine(platform::Stream::Out,
                  platform::toUtf8(o.name + u": " +
                                   (o.completed ? o.summary : u"スキップ: " + o.message)));
    }
    return kExitCompleted;
}

bool isFolder(const std::filesystem::path& path) {
    std::error_code error;
    return std::filesystem::is_directory(path, error);
}

// The one-line report of a run that found `count` mails.
Text countSummary(int count, TextView found) {
    return count == 0 ? Text(u"メールが見つかりませんでした。")
                      : platform::toText(count) + Text(found);
}

int runExtract(const std::vector<std::string>& args) {
    const std::optional<RunArguments> parsed = parseRun(args, false);
    if (!parsed) {
        return kExitUsage;
    }
    platform::installInterruptHandler(requestStop);
    const std::filesystem::path target = commandLinePath(parsed->mailbox);
    if (isFolder(target)) {
        return runStoreFolder(
            target, *parsed, u"メール抽出",
            [&](const std::filesystem::path& mailbox, const Text& location, const Text& name) {
                cli::CliView view(location, showsProgress(*parsed), u"抽出中");
                const engine::ExtractReport report = engine::extractMailbox(mailbox, view, name);
                view.finishProgress();
                const bool completed = report.outcome == engine::RunOutcome::Completed;
                return MailboxOutcome{
                    {},
                    completed,
                    std::string(cli::outcomeName(report.outcome)),
                    report.message,
                    completed ? cli::jsonReport(report) : std::string(),
                    countSummary(report.mailCount, u"通のメールを抽出しました。")};
            });
    }
    cli::CliView view(outputLocation(*parsed), showsProgress(*parsed), u"抽出中");
    const engine::ExtractReport report =
        engine::extractMailbox(commandLinePath(parsed->mailbox), view);
    view.finishProgress();
    if (report.outcome != engine::RunOutcome::Completed) {
        return runFailure(report);
    }
    if (parsed->json) {
        printLine(platform::Stream::Out, cli::jsonReport(report));
    } else {
        printExtractReport(report);
    }
    return kExitCompleted;
}

int runRecover(const std::vector<std::string>& args) {
    const std::optional<RunArguments> parsed = parseRun(args, true);
    if (!parsed) {
        return kExitUsage;
    }

    const auto options = repair::makeRepairOptions(platform::fromUtf8(parsed->halfWidth),
                                                   platform::fromUtf8(parsed->fullWidth));
    if (const auto* rejection = std::get_if<repair::ReplacementRejection>(&options)) {
        return failure(kExitUsage, "invalidReplacement", repair::rejectionMessage(*rejection),
                       true);
    }

    platform::installInterruptHandler(requestStop);
    const std::filesystem::path target = commandLinePath(parsed->mailbox);
    const auto& repairOptions = std::get<repair::RepairOptions>(options);
    if (isFolder(target)) {
        return runStoreFolder(
            target, *parsed, u"メール復元",
            [&](const std::filesystem::path& mailbox, const Text& location, const Text& name) {
                cli::CliView view(location, showsProgress(*parsed));
                engine::RunSettings settings;
                settings.keepFileList = parsed->json;
                settings.folderName = name;
                const engine::RunReport report =
                    engine::recoverMailbox(mailbox, view, repairOptions, settings);
                view.finishProgress();
                const bool completed = report.outcome == engine::RunOutcome::Completed;
                if (!completed && !report.outputFolder.empty()) {
                    std::error_code ignored; // a refused file's folder stays only when empty
                    std::filesystem::remove(report.outputFolder, ignored);
                }
                return MailboxOutcome{
                    {},
                    completed,
                    std::string(cli::outcomeName(report.outcome)),
                    report.message,
                    completed ? cli::jsonReport(report) : std::string(),
                    countSummary(report.mailCount, u"通のメールが見つかりました。")};
            });
    }
    cli::CliView view(outputLocation(*parsed), showsProgress(*parsed));
    engine::RunSettings settings;
    settings.keepFileList = parsed->json;
    const engine::RunReport report = engine::recoverMailbox(target, view, repairOptions, settings);
    view.finishProgress();

    if (report.outcome != engine::RunOutcome::Completed) {
        // The view has printed the message.
        return runFailure(report);
    }
    if (parsed->json) {
        printLine(platform::Stream::Out, cli::jsonReport(report));
    } else {
        const Text summary = report.mailCount == 0 ? Text(u"メールが見つかりませんでした。")
                                                   : platform::toText(report.mailCount) +
                                                         u"通のメールが見つかりました。";
        printLine(platform::Stream::Out, platform::toUtf8(summary));
        printLine(platform::Stream::Out, platform::toUtf8(platform::pathText(report.outputFolder)));
        if (report.stopped) {
            printLine(platform::Stream::Out, platform::toUtf8(u"（途中で停止しました）"));
        }
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
    if (args[0] == "recover") {
        return runRecover({args.begin() + 1, args.end()});
    }
    if (args[0] == "extract") {
        return runExtract({args.begin() + 1, args.end()});
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
