#include "tests/support/test_support.h"

#include "platform/text.h"

#include <algorithm>
#include <array>
#include <atomic>
#include <cstdio>
#include <fstream>
#include <iterator>
#include <random>
#include <sys/wait.h>
#include <unistd.h>

namespace keldor::testing {

TempDir::TempDir() {
    static std::atomic<int> counter{0};
    std::random_device seed;
    path_ = std::filesystem::temp_directory_path() /
            ("keldor-test-" + std::to_string(::getpid()) + "-" + std::to_string(counter++) + "-" +
             std::to_string(seed()));
    std::filesystem::create_directories(path_);
}

TempDir::~TempDir() {
    std::error_code ignored;
    std::filesystem::permissions(path_, std::filesystem::perms::owner_all,
                                 std::filesystem::perm_options::add, ignored);
    std::filesystem::remove_all(path_, ignored);
}

std::filesystem::path testDataPath(const std::string& relative) {
    return std::filesystem::path(KELDOR_TEST_DATA_DIR) / relative;
}

std::optional<std::filesystem::path> corpusPath(const std::string& relative) {
    const std::filesystem::path path = std::filesystem::path(KELDOR_CORPUS_DIR) / relative;
    std::error_code error;
    if (!std::filesystem::exists(path, error)) {
        return std::nullopt;
    }
    return path;
}

std::vector<std::filesystem::path> filesIn(const std::filesystem::path& folder) {
    std::vector<std::filesystem::path> files;
    for (const auto& entry : std::filesystem::directory_iterator(folder)) {
        if (entry.is_regular_file()) {
            files.push_back(entry.path());
        }
    }
    std::sort(files.begin(), files.end());
    return files;
}

std::optional<std::string> firstDifference(ByteView actual, ByteView expected) {
    const std::size_t common = std::min(actual.size(), expected.size());
    std::size_t at = 0;
    while (at < common && actual[at] == expected[at]) {
        ++at;
    }
    if (at == common && actual.size() == expected.size()) {
        return std::nullopt;
    }
    std::size_t line = 1;
    std::size_t lineStart = 0;
    for (std::size_t i = 0; i < at; ++i) {
        if (actual[i] == '\n') {
            ++line;
            lineStart = i + 1;
        }
    }
    const auto show = [at](ByteView bytes) {
        if (at >= bytes.size()) {
            return std::string("<end>");
        }
        char hex[8];
        std::snprintf(hex, sizeof hex, "0x%02X", byteAt(bytes, at));
        return std::string(hex);
    };
    return "line " + std::to_string(line) + ", column " + std::to_string(at - lineStart + 1) +
           " (byte " + std::to_string(at) + "): actual " + show(actual) + ", expected " +
           show(expected);
}

void RecordingView::setText(engine::StatusControl control, const Text& text) {
    if (control == engine::StatusControl::Status) {
        statusTexts.push_back(text);
    } else if (control == engine::StatusControl::Message) {
        messageTexts.push_back(text);
    } else if (control == engine::StatusControl::Percent) {
        lastPercent = text;
    }
}

void RecordingView::setVisible(engine::StatusControl control, bool isVisible) {
    visible[static_cast<int>(control)] = isVisible;
}

void RecordingView::processEvents() {
    ++eventCount;
    if (onEvents) {
        onEvents(eventCount);
    }
}

engine::MessageAnswer RecordingView::showMessage(const Text& text, engine::MessageIcon icon,
                                                 engine::MessageButtons buttons) {
    messages.push_back({text, icon, buttons});
    return buttons == engine::MessageButtons::Ok ? engine::MessageAnswer::Ok : answer;
}

std::string utf8(const Text& text) {
    return platform::toUtf8(text);
}

std::string shellQuote(const std::string& arg) {
    std::string quoted = "'";
    for (const char c : arg) {
        quoted += c == '\'' ? std::string("'\\''") : std::string(1, c);
    }
    return quoted + "'";
}

CommandResult runCommand(std::string command, const std::filesystem::path& scratch) {
    const auto errFile = scratch / "stderr.txt";
    command += " 2>" + shellQuote(errFile.string()) + " </dev/null";
    CommandResult result;
    FILE* pipe = ::popen(command.c_str(), "r");
    if (pipe == nullptr) {
        return result;
    }
    std::array<char, 4096> buffer{};
    std::size_t n = 0;
    while ((n = std::fread(buffer.data(), 1, buffer.size(), pipe)) > 0) {
        result.out.append(buffer.data(), n);
    }
    const int status = ::pclose(pipe);
    result.status = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    result.err = readFile(errFile);
    return result;
}

} // namespace keldor::testing
