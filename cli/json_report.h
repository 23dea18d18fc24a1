#pragma once

#include "engine/recovery_run.h"

#include <string>

namespace keldor::cli {

// The run's result as one JSON object (UTF-8):
// {"outputFolder", "mailCount", "recordCount", "stopped", "files": [{"number", "file", "subject",
// "date"}]}
std::string jsonReport(const engine::RunReport& report);

// A JSON string literal, quotes included.
std::string jsonString(std::string_view utf8);

} // namespace keldor::cli
