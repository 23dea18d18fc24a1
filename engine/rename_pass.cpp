#include "engine/rename_pass.h"

#include "engine/file_times.h"
#include "engine/run_flags.h"
#include "mailinfo/mail_info.h"
#include "platform/file_names.h"
#include "platform/text.h"

#include <climits>
#include <string>
#include <unordered_map>

namespace keldor::engine {

namespace {

constexpr std::u16string_view kReplacedInSubject = u"\\/:*?\"<>|";
constexpr std::u16string_view kExtension = u".eml";

// The name for the given attempt: "<subject>.eml", then "<subject>(k).eml".
Text nameForAttempt(TextView subject, int attempt) {
    Text ending;
    if (attempt > 0) {
        ending += u'(';
        ending += platform::toText(attempt);
        ending += u')';
    }
    ending += kExtension;
    return platform::fitFileName(subject, ending);
}

// Renames the file after its subject; returns its path afterwards. A refused
// name, or any failure other than a taken name, keeps the temporary name.
// `firstFreeSuffix` is where the numbered attempts start: the suffixed names
// below it were found taken earlier in this pass and stay taken (a suffixed
// name is never a temporary one, so none of them is renamed away), which
// spares thousands of failing renames for a subject that repeats thousands
// of times and gives the same names.
std::filesystem::path renameAfterSubject(const std::filesystem::path& folder,
                                         const std::filesystem::path& file, TextView subject,
                                         int& firstFreeSuffix) {
    for (int attempt = 0;; ++attempt) {
        if (attempt == 1 && firstFreeSuffix > 1) {
            attempt = firstFreeSuffix;
        }
        const Text name = nameForAttempt(subject, attempt);
        if (platform::isRefusedFileName(name)) {
            return file;
        }
        const std::filesystem::path target = folder / platform::toPath(name);
        const std::error_code error = platform::renameNoReplace(file, target);
        if (!error) {
            if (attempt > 0) {
                firstFreeSuffix = attempt + 1;
            }
            return target;
        }
        if (error != std::errc::file_exists || attempt == INT_MAX) {
            return file;
        }
    }
}

} // namespace

std::filesystem::path temporaryFileName(int number) {
    return std::filesystem::path("Recover" + std::to_string(number) + ".eml");
}

Text cleanSubject(TextView subject) {
    Text cleaned;
    cleaned.reserve(subject.size());
    for (std::size_t i = 0; i < subject.size(); ++i) {
        const char16_t c = subject[i];
        if (c == u'\r' && i + 1 < subject.size() && subject[i + 1] == u'\n') {
            ++i;
        } else if (c == u'\0' || kReplacedInSubject.find(c) != TextView::npos) {
            cleaned += u'_';
        } else {
            cleaned += c;
        }
    }
    return cleaned.empty() ? Text(mailinfo::kNoSubject) : cleaned;
}

int progressPercent(int n, int total) {
    if (total <= 0) {
        return 0;
    }
    const std::int64_t scaled = static_cast<std::int64_t>(n) * 100;
    std::int64_t percent = scaled / total;
    const std::int64_t twiceRest = 2 * (scaled % total);
    if (twiceRest > total || (twiceRest == total && percent % 2 != 0)) {
        ++percent;
    }
    return static_cast<int>(percent);
}

std::vector<RenamedFile> renameMessageFiles(const std::filesystem::path& outputFolder,
                                            int mailCount, RunView& view) {
    std::vector<RenamedFile> files;
    for (int n = 1; n <= mailCount; ++n) {
        files.push_back({n, outputFolder / temporaryFileName(n), {}, {}, false});
    }
    std::unordered_map<Text, int> firstFreeSuffix;
    for (RenamedFile& entry : files) {
        if (StopRequested) {
            break;
        }
        const mailinfo::MailInfo info = mailinfo::readMailInfo(entry.file);
        entry.subject = info.subject;
        entry.dateText = info.dateText;
        entry.reached = true;

        // The times are set under the temporary name, before the rename.
        if (const auto when = parseDateText(info.dateText)) {
            setCreationTime(entry.file, *when);
            setLastWriteTime(entry.file, *when);
        }
        const Text subject = cleanSubject(info.subject);
        entry.file =
            renameAfterSubject(outputFolder, entry.file, subject, firstFreeSuffix[subject]);

        const int percent = progressPercent(entry.number, mailCount);
        view.setProgress(percent);
        view.setText(StatusControl::Percent, platform::toText(percent) + u"%");
        view.setText(StatusControl::Status,
                     platform::toText(entry.number) + u"通のメールをリネーム");
        view.processEvents();
        if (StopRequested) {
            break;
        }
    }
    return files;
}

} // namespace keldor::engine
