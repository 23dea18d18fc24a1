#pragma once
// The last pass of a run: every written file is named after its subject.

#include "engine/mail_info_log.h"
#include "engine/message_writer.h"
#include "engine/run_view.h"

#include <filesystem>
#include <functional>
#include <vector>

namespace keldor::engine {

// One message file as the rename pass left it.
struct RenamedFile {
    int number = 0;             // n of its temporary name "Recover<n>.eml"
    std::filesystem::path file; // its path now (the temporary one when not renamed)
    Text subject;               // the subject as read from the mail
    Text dateText;              // the date text as read from the mail
    bool reached = false;       // false when a stop came before this file
};

// Renames the files of `written` ("Recover1.eml" … "Recover<count>.eml") in
// the order written to "<subject>.eml", or "<subject>(k).eml" with the first free
// k = 1, 2, … when the name is taken, and stamps each with its mail's date
// first. Tests StopRequested before every file and after the view's events.
// Never overwrites an existing file; a name the file system (or Windows)
// refuses leaves the file under its temporary name; a name too long for the
// file system is shortened, keeping "(k).eml". Drives the progress bar,
// lblPercent and lblStatus. Gives `onFile` (when set) one entry per written
// file, in order, as each is done, and tells the view the phase's progress; keeps none of them itself. A file's
// subject and date come from `known` when it kept them, else from the file.
void renameMessageFiles(const WrittenMessages& written, RunView& view,
                        const std::function<void(const RenamedFile&)>& onFile,
                        MailInfoLog* known = nullptr);

// The same, returning the entries.
std::vector<RenamedFile> renameMessageFiles(const std::filesystem::path& outputFolder,
                                            int mailCount, RunView& view);

// A subject made fit for a file name: \ / : * ? " < > | and NUL become "_",
// CR LF pairs go (a lone CR or LF stays), and an empty result becomes
// "(件名なし)".
[[nodiscard]] Text cleanSubject(TextView subject);

// n of total as a percentage, rounded half to even.
[[nodiscard]] int progressPercent(int n, int total);

} // namespace keldor::engine
