#pragma once
// The last pass of a run: every written file is named after its subject.

#include "engine/run_view.h"

#include <filesystem>
#include <vector>

namespace keldor::engine {

// One message file as the rename pass left it.
struct RenamedFile {
    int number = 0;                 // n of its temporary name "Recover<n>.eml"
    std::filesystem::path file;     // its path now (the temporary one when not renamed)
    Text subject;                   // the subject as read from the mail
    Text dateText;                  // the date text as read from the mail
    bool reached = false;           // false when a stop came before this file
};

// Renames "Recover1.eml" … "Recover<mailCount>.eml" in outputFolder in the
// order written, stamping each with its mail's date. Tests StopRequested
// before every file; never overwrites an existing file. Returns one entry per
// written file, in order.
std::vector<RenamedFile> renameMessageFiles(const std::filesystem::path& outputFolder,
                                            int mailCount, RunView& view);

// "Recover<n>.eml"
std::filesystem::path temporaryFileName(int number);

} // namespace keldor::engine
