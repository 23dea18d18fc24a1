#pragma once
// The folder a run writes into: named after the moment the run started, and
// claimed by exactly one run, however many start in the same second.

#include "platform/bytes.h"

#include <ctime>
#include <filesystem>
#include <optional>
#include <system_error>

namespace keldor::engine {

// The local date and time now.
std::tm localNow();

// `prefix` followed by the local date and time as YYYYMMDDhhmmss.
Text stampedFolderName(TextView prefix, const std::tm& localTime);

// Creates a new folder `path` for this run alone. When the name is taken
// (another run of the same second, or anything else of that name), tries
// "<path>_2", "<path>_3", … and claims the first that did not exist; an
// existing folder is never used. nullopt when the folder cannot be created
// for another reason (the reason in `error`) or no free name is found.
std::optional<std::filesystem::path> claimOutputFolder(const Text& path, std::error_code& error);

} // namespace keldor::engine
