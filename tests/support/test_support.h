#pragma once
// Helpers shared by the tests: temporary folders, whole-file reads, a
// recording RunView, and where the test data lives.

#include "engine/recovery_run.h"
#include "engine/run_view.h"
#include "platform/bytes.h"
#include "tests/support/file_bytes.h"

#include <cstdint>
#include <filesystem>
#include <functional>
#include <optional>
#include <string>
#include <utility>
#include <vector>

namespace keldor::testing {

// A fresh folder under the system's temporary folder (or under `base`),
// removed with the object.
class TempDir {
public:
    TempDir() : TempDir(std::filesystem::temp_directory_path()) {}
    explicit TempDir(const std::filesystem::path& base);
    ~TempDir();
    TempDir(const TempDir&) = delete;
    TempDir& operator=(const TempDir&) = delete;
    [[nodiscard]] const std::filesystem::path& path() const { return path_; }

private:
    std::filesystem::path path_;
};

// A folder in memory (a tmpfs) when the system has one for everybody, else
// the temporary folder: for tests that write thousands of files.
std::filesystem::path memoryBackedTemp();

// tests/data/<relative>
std::filesystem::path testDataPath(const std::string& relative);
// ../shared/corpus/<relative>; nullopt when the corpus is not beside the project.
std::optional<std::filesystem::path> corpusPath(const std::string& relative);

// The files directly inside a folder, sorted by name.
std::vector<std::filesystem::path> filesIn(const std::filesystem::path& folder);

// Line and column (1-based) of the first byte where two byte strings differ,
// as a readable text; nullopt when they are equal.
std::optional<std::string> firstDifference(ByteView actual, ByteView expected);

// A RunView that records what the run did to it and answers message boxes
// with a fixed answer. `onEvents` runs at every processEvents call, so a test
// can press Stop or close at a chosen point.
class RecordingView : public engine::RunView {
public:
    struct Message {
        Text text;
        engine::MessageIcon icon;
        engine::MessageButtons buttons;
    };

    Text location;
    engine::MessageAnswer answer = engine::MessageAnswer::No;
    std::function<void(int eventCount)> onEvents;

    std::vector<Message> messages;
    std::vector<Text> statusTexts;  // every lblStatus text, in order
    std::vector<Text> messageTexts; // every lblMessage text, in order
    std::vector<int> progress;
    std::vector<std::filesystem::path> openedFolders;
    struct Phase {
        engine::RunPhase phase;
        std::int64_t done;
        std::int64_t total;
        int progress; // the progress bar's value when the phase was told
    };
    std::vector<Phase> phases; // every phase told, in order
    int eventCount = 0;
    bool busy = false;
    bool visible[8] = {};

    [[nodiscard]] Text outputLocation() const override { return location; }
    void setText(engine::StatusControl control, const Text& text) override;
    void setVisible(engine::StatusControl control, bool isVisible) override;
    void setProgress(int percent) override { progress.push_back(percent); }
    void setBusy(bool isBusy) override { busy = isBusy; }
    void showPhase(engine::RunPhase phase, std::int64_t done, std::int64_t total) override {
        phases.push_back({phase, done, total, progress.empty() ? -1 : progress.back()});
    }
    void processEvents() override;
    engine::MessageAnswer showMessage(const Text& text, engine::MessageIcon icon,
                                      engine::MessageButtons buttons) override;
    void openFolder(const std::filesystem::path& folder) override {
        openedFolders.push_back(folder);
    }
    [[nodiscard]] bool isVisible(engine::StatusControl control) const {
        return visible[static_cast<int>(control)];
    }
    Text lastPercent;
};

// Run settings for tests: every point of a run lets the view's events
// through (so a test can press Stop at a chosen one), and the report lists
// the files.
engine::RunSettings everyPoint();

// UTF-8 text of a UTF-16 text, for readable assertion messages.
std::string utf8(const Text& text);

// UTF-8 text of a path, as a command line takes it on both systems, and
// back (a narrow string would be taken in the ANSI code page on Windows).
std::string utf8Path(const std::filesystem::path& path);
std::filesystem::path pathFromUtf8(const std::string& utf8);

// What a program run by the test left behind.
struct CommandResult {
    int status = -1; // exit status; -1 when it did not exit normally
    std::string out;
    std::string err;
};

// Environment variables set (a value) or removed (nullopt) for one program.
using EnvironmentChanges = std::vector<std::pair<std::string, std::optional<std::string>>>;

// Runs a program with UTF-8 arguments and no input, capturing stdout and
// stderr (stderr through a file in `scratch`).
CommandResult runProgram(const std::filesystem::path& program, const std::vector<std::string>& args,
                         const std::filesystem::path& scratch,
                         const EnvironmentChanges& environment = {});

// Runs the test under a fixed time zone and puts the old one back. `tz` is a
// POSIX zone ("JST-9", "CET-1CEST,M3.5.0,M10.5.0/3"). A Windows process
// cannot change its zone; there `applied()` tells whether the system's zone
// (set by the test run for the whole suite) is the one asked for.
class ZoneScope {
public:
    explicit ZoneScope(const char* tz);
    ~ZoneScope();
    ZoneScope(const ZoneScope&) = delete;
    ZoneScope& operator=(const ZoneScope&) = delete;
    [[nodiscard]] bool applied() const { return applied_; }

private:
    std::optional<std::string> saved_;
    bool applied_ = true;
};

// A file's times in seconds since 1970 (UTC) and nanoseconds.
struct FileStamps {
    std::int64_t accessed = 0;
    std::int64_t modified = 0;
    std::int64_t modifiedNanoseconds = 0;
    std::optional<std::int64_t> created; // where the system keeps one that can be set
};

FileStamps fileStamps(const std::filesystem::path& file);
// Sets access and modification times (seconds since 1970); on Windows the
// creation time too, so that a test sees which times a run changed.
void setFileStamps(const std::filesystem::path& file, std::int64_t accessed, std::int64_t modified);

} // namespace keldor::testing
