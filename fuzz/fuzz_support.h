#pragma once
// What the fuzz targets share: a check that aborts (so that libFuzzer keeps
// the input), a scratch folder, a silent RunView, replacement characters
// picked by the input, and the check that a repair changes nothing far
// from a lost byte.

#include "engine/run_view.h"
#include "platform/bytes.h"
#include "repair/repair_options.h"
#include "tests/support/repair_reach.h"

#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <optional>
#include <vector>

// Reports the broken promise and aborts; libFuzzer saves the input.
#define FUZZ_CHECK(condition)                                                                      \
    do {                                                                                           \
        if (!(condition)) {                                                                        \
            ::keldor::fuzz::checkFailed(#condition, __FILE__, __LINE__);                           \
        }                                                                                          \
    } while (false)

namespace keldor::fuzz {

[[noreturn]] void checkFailed(const char* condition, const char* file, int line);

// The fuzzer's input as bytes.
inline ByteView inputBytes(const std::uint8_t* data, std::size_t size) {
    return {reinterpret_cast<const char*>(data), size};
}

// The input read as UTF-16 code units, two bytes each, little-endian; a last
// odd byte becomes a unit of its own.
Text inputText(ByteView bytes);

// A folder of this process under /dev/shm (or the system's temporary folder),
// emptied on demand and removed when the process ends.
const std::filesystem::path& scratchFolder();
void emptyFolder(const std::filesystem::path& folder);

Bytes readFile(const std::filesystem::path& file);
void writeFile(const std::filesystem::path& file, ByteView bytes);

// A RunView that shows nothing and answers every question with No.
class QuietView : public engine::RunView {
public:
    explicit QuietView(Text location = {}) : location_(std::move(location)) {}
    [[nodiscard]] Text outputLocation() const override { return location_; }
    void setText(engine::StatusControl, const Text&) override {}
    void setVisible(engine::StatusControl, bool) override {}
    void setProgress(int percent) override;
    void setBusy(bool) override {}
    void processEvents() override { ++events_; }
    engine::MessageAnswer showMessage(const Text&, engine::MessageIcon,
                                      engine::MessageButtons buttons) override;
    void openFolder(const std::filesystem::path&) override {}

    [[nodiscard]] long events() const { return events_; }

private:
    Text location_;
    long events_ = 0;
};

// Replacement characters a user may pick, chosen by one byte of the input:
// any printable ASCII character for the half-width one, and one of a few
// full-width ones, among them a user-defined character whose JIS form lies
// outside the JIS X 0208 rows.
repair::RepairOptions optionsFor(unsigned selector);

// Fails, showing both versions and where they part, when changeFarFromLoss
// finds a change.
void checkNoFarChange(ByteView before, ByteView after, const std::vector<bool>& lost,
                      std::size_t reach = testing::kRepairReach);

} // namespace keldor::fuzz
