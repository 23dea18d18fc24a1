#pragma once

#include "engine/extract_run.h"
#include "engine/recovery_run.h"

#include <string>

namespace keldor::cli {

// The run's result as one JSON object (UTF-8):
// {"outputFolder", "mailCount", "recordCount", "stopped", "files": [{"number", "file", "subject",
// "date"}]}
std::string jsonReport(const engine::RunReport& report);

// An extraction's result as one JSON object (UTF-8):
// {"outputFolder", "mailCount", "messageCount" (the header's count), "listedCount" (the index
// tree's), "withoutText", "stopped", "damage": {counts by kind}, "files": [{"number", "file",
// "subject", "date", "cut"}]}
std::string jsonReport(const engine::ExtractReport& report);

// The name of a run's outcome in JSON: "completed", "couldNotOpen", …
std::string_view outcomeName(engine::RunOutcome outcome);

// A run that could not start or failed, as one JSON object (UTF-8):
// {"outcome": name, "message": the system's message}
std::string jsonFailure(std::string_view outcome, const Text& message);

// A JSON string literal, quotes included.
std::string jsonString(std::string_view utf8);

} // namespace keldor::cli
