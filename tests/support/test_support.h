#pragma once
// Helpers shared by the tests: temporary folders, whole-file reads, a
// recording RunView, and where the test data lives.

#include "engine/run_view.h"
#include "platform/bytes.h"
#include "tests/support/file_bytes.h"

#include <filesystem>
#include <functional>
#include <optional>
#include <string>
#include <vector>

namespace keldor::testing {

// A fresh folder under the system's temporary folder, removed with the object.
class TempDir {
public:
    TempDir();
    ~TempDir();
    TempDir(const TempDir&) = delete;
    TempDir& operator=(const TempDir&) = delete;
    [[nodiscard]] const std::filesystem::path& path() const { return path_; }

private:
    std::filesystem::path path_;
};

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
    int eventCount = 0;
    bool busy = false;
    bool visible[8] = {};

    [[nodiscard]] Text outputLocation() const override { return location; }
    void setText(engine::StatusControl control, const Text& text) override;
    void setVisible(engine::StatusControl control, bool isVisible) override;
    void setProgress(int percent) override { progress.push_back(percent); }
    void setBusy(bool isBusy) override { busy = isBusy; }
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

// UTF-8 text of a UTF-16 text, for readable assertion messages.
std::string utf8(const Text& text);

// What a program run through the shell left behind.
struct CommandResult {
    int status = -1; // exit status; -1 when it did not exit normally
    std::string out;
    std::string err;
};

// One argument quoted for the shell.
std::string shellQuote(const std::string& arg);

// Runs a shell command line with no input, capturing stdout and stderr
// (stderr through a file in `scratch`).
CommandResult runCommand(std::string command, const std::filesystem::path& scratch);

} // namespace keldor::testing
