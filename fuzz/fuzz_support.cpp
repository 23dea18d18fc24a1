#include "fuzz/fuzz_support.h"

#include "tests/support/file_bytes.h"

#include <algorithm>
#include <array>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <unistd.h>
#include <variant>

namespace keldor::fuzz {

void checkFailed(const char* condition, const char* file, int line) {
    std::fprintf(stderr, "\n*** broken promise: %s (%s:%d)\n", condition, file, line);
    std::abort();
}

Text inputText(ByteView bytes) {
    Text text;
    text.reserve(bytes.size() / 2 + 1);
    for (std::size_t i = 0; i < bytes.size(); i += 2) {
        const unsigned high = i + 1 < bytes.size() ? byteAt(bytes, i + 1) : 0;
        text += static_cast<char16_t>(byteAt(bytes, i) | (high << 8));
    }
    return text;
}

namespace {

struct Scratch {
    Scratch() {
        std::error_code error;
        std::filesystem::path base = "/dev/shm";
        if (!std::filesystem::is_directory(base, error)) {
            base = std::filesystem::temp_directory_path();
        }
        path = base / ("keldor-fuzz-" + std::to_string(::getpid()));
        std::filesystem::remove_all(path, error);
        std::filesystem::create_directories(path);
    }
    ~Scratch() {
        std::error_code error;
        std::filesystem::remove_all(path, error);
    }
    std::filesystem::path path;
};

} // namespace

const std::filesystem::path& scratchFolder() {
    static const Scratch scratch;
    return scratch.path;
}

void emptyFolder(const std::filesystem::path& folder) {
    std::error_code error;
    for (const auto& entry : std::filesystem::directory_iterator(folder, error)) {
        std::filesystem::remove_all(entry.path(), error);
    }
}

Bytes readFile(const std::filesystem::path& file) {
    return testing::readFile(file);
}

void writeFile(const std::filesystem::path& file, ByteView bytes) {
    FUZZ_CHECK(testing::writeFile(file, bytes));
}

void QuietView::setProgress(int percent) {
    FUZZ_CHECK(percent >= 0 && percent <= 100);
}

engine::MessageAnswer QuietView::showMessage(const Text&, engine::MessageIcon,
                                             engine::MessageButtons buttons) {
    return buttons == engine::MessageButtons::YesNo ? engine::MessageAnswer::No
                                                    : engine::MessageAnswer::Ok;
}

repair::RepairOptions optionsFor(unsigned selector) {
    static constexpr std::array<char16_t, 6> kFullWidth = {u'■', u'□',  u'〓',
                                                           u'※', u'＊', u'\uE000'};
    constexpr unsigned kPrintable = 0x7F - 0x20;
    const char16_t half = static_cast<char16_t>(0x20 + selector % kPrintable);
    const char16_t full = kFullWidth[(selector / kPrintable) % kFullWidth.size()];
    const auto made = repair::makeRepairOptions(TextView(&half, 1), TextView(&full, 1));
    FUZZ_CHECK(std::holds_alternative<repair::RepairOptions>(made));
    return std::get<repair::RepairOptions>(made);
}

} // namespace keldor::fuzz

namespace keldor::fuzz {

namespace {

std::string printable(ByteView bytes) {
    std::string out;
    for (const char c : bytes) {
        const unsigned b = static_cast<unsigned char>(c);
        if (b >= 0x20 && b < 0x7F && b != '\\') {
            out += c;
        } else {
            char escaped[8];
            std::snprintf(escaped, sizeof escaped, "\\x%02X", b);
            out += escaped;
        }
    }
    return out;
}

} // namespace

void checkNoFarChange(ByteView before, ByteView after, const std::vector<bool>& lost,
                      std::size_t reach) {
    const std::optional<std::size_t> at = testing::changeFarFromLoss(before, after, lost, reach);
    if (!at) {
        return;
    }
    std::fprintf(stderr,
                 "\nbyte %zu changed, farther than %zu from a lost byte\nbefore: %s\nafter:  %s\n",
                 *at, reach, printable(before).c_str(), printable(after).c_str());
    checkFailed("no change far from a lost byte", __FILE__, __LINE__);
}

} // namespace keldor::fuzz
