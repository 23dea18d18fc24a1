#pragma once
// Repairs one written message file in place, line by line.

#include "engine/run_view.h"
#include "repair/repair_options.h"

#include <filesystem>

namespace keldor::engine {

// Reads the closed message file back and rewrites, at the same length, every
// line that holds a lost (0x00) byte. Never changes the file's size; never
// reports an error: a file that cannot be opened is left as written. Lets the
// view process pending events after every line.
void repairMessageFile(const std::filesystem::path& file, const repair::RepairOptions& options,
                       RunView& view);

} // namespace keldor::engine
