#pragma once
// The command line's reports as JSON (UTF-8), every one written through
// one small object writer.

#include "engine/run_frame.h"

#include <string>
#include <string_view>
#include <vector>

namespace keldor::cli {

// A JSON string literal, quotes included.
std::string jsonString(std::string_view utf8);

// One JSON object, its members in the order added.
class JsonObject {
public:
    JsonObject& add(std::string_view key, std::string_view utf8);
    JsonObject& add(std::string_view key, const char* utf8) {
        return add(key, std::string_view(utf8));
    }
    JsonObject& add(std::string_view key, const Text& text);
    JsonObject& add(std::string_view key, std::int64_t number);
    JsonObject& add(std::string_view key, bool value);
    // A value already written as JSON (an object or an array).
    JsonObject& addRaw(std::string_view key, std::string_view json);
    [[nodiscard]] std::string str() const { return out_ + "}"; }

private:
    std::string out_ = "{";
};

// [a, b, …] of values already written as JSON.
std::string jsonArray(const std::vector<std::string>& items);

// A recovery's result:
// {"outputFolder", "mailCount", "recordCount", "stopped", "restored": {"twinPart",
// "otherMessages"}, "files": [{"number", "file", "subject",
// "date"}]}
std::string jsonRecoverReport(const engine::RunReport& report);

// An extraction's result:
// {"outputFolder", "mailCount", "messageCount" (the header's count), "listedCount" (the index
// tree's), "withoutText", "stopped", "damage": {counts by kind}, "restored", "files": [{"number", "file",
// "subject", "date", "cut"}]}
std::string jsonExtractReport(const engine::RunReport& report);

// A rescue's result:
// {"outputFolder", "mailCount", "stopped", "blocks": {"live", "deleted", "rejected"},
// "fragmentsUnjoined", "cutMessages", "holesFilled", "restored", "offsetGroups": [{"shift", "liveBlocks",
// "deletedBlocks"}], "live": {"folder", "mailCount", "files": [...]}, "deleted": {…}}
std::string jsonScanReport(const engine::RunReport& report);

// The name of a run's outcome in JSON: "completed", "couldNotOpen", …
std::string_view outcomeName(engine::RunOutcome outcome);

// A run that could not start or failed:
// {"outcome": name, "message": the system's message}
std::string jsonFailure(std::string_view outcome, const Text& message);

} // namespace keldor::cli
