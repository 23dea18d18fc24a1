#include "engine/rename_pass.h"

#include "engine/file_times.h"
#include "engine/run_flags.h"
#include "engine/run_messages.h"
#include "mailinfo/mail_info.h"
#include "platform/case_fold.h"
#include "platform/file_names.h"
#include "platform/text.h"

#include <algorithm>
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

// Whether the plain name "<subject>.eml" may be a temporary name of this
// run, which the pass renames away later and so may become free.
bool mayBeTemporaryName(TextView subject) {
    constexpr std::u16string_view kTemporaryStem = u"recover";
    if (subject.size() < kTemporaryStem.size()) {
        return false;
    }
    for (std::size_t i = 0; i < kTemporaryStem.size(); ++i) {
        if (platform::foldedUnit(subject[i]) != kTemporaryStem[i]) {
            return false;
        }
    }
    return true;
}

// For each subject met in the pass, the attempt its next file starts at:
// every name of a lower attempt was found taken, or given, earlier in this
// pass and stays taken, since a name the pass gives is never a temporary
// one and is never renamed away. This spares thousands of failing renames
// for a subject that repeats thousands of times and gives the same names.
// Holds a bounded number of subjects; when full it starts afresh, which
// costs only renames that fail.
class NextAttempts {
public:
    int& operator[](const Text& subject) {
        if (next_.size() >= kMostSubjects && next_.find(subject) == next_.end()) {
            next_.clear();
        }
        return next_[subject];
    }

private:
    static constexpr std::size_t kMostSubjects = 4096;
    std::unordered_map<Text, int> next_;
};

// Renames the file after its subject; returns its path afterwards. A refused
// name, or any failure other than a taken name, keeps the temporary name.
std::filesystem::path renameAfterSubject(const std::filesystem::path& folder,
                                         const std::filesystem::path& file, TextView subject,
                                         int& nextAttempt) {
    int attempt = nextAttempt;
    if (attempt > 0 && mayBeTemporaryName(subject)) {
        attempt = 0; // the plain name may have been freed since
    }
    for (;; ++attempt) {
        const Text name = nameForAttempt(subject, attempt);
        if (platform::isRefusedFileName(name)) {
            return file;
        }
        const std::filesystem::path target = folder / platform::toPath(name);
        const std::error_code error = platform::renameNoReplace(file, target);
        if (!error) {
            nextAttempt = std::max(nextAttempt, attempt + 1);
            return target;
        }
        if (error != std::errc::file_exists || attempt == INT_MAX) {
            return file;
        }
        if (attempt == 0 && nextAttempt > 1) {
            attempt = nextAttempt - 1; // the suffixes below are taken
        }
    }
}

} // namespace

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

void renameMessageFiles(const WrittenMessages& written, RunView& view,
                        const std::function<void(const RenamedFile&)>& onFile, MailInfoLog* known) {
    const std::filesystem::path& outputFolder = written.folder;
    const int mailCount = written.count;
    NextAttempts nextAttempts;
    RenamedFile entry;
    int n = 1;
    for (; n <= mailCount && !StopRequested; ++n) {
        entry.number = n;
        entry.file = written.file(n);
        std::optional<mailinfo::MailInfo> kept = known ? known->take(n) : std::nullopt;
        const mailinfo::MailInfo info =
            kept ? std::move(*kept) : mailinfo::readMailInfo(entry.file);
        entry.reached = true;

        // The times are set under the temporary name, before the rename.
        if (const auto when = parseDateText(info.dateText)) {
            setCreationAndLastWriteTime(entry.file, *when);
        }
        const Text subject = cleanSubject(info.subject);
        entry.file = renameAfterSubject(outputFolder, entry.file, subject, nextAttempts[subject]);
        if (onFile) {
            entry.subject = info.subject;
            entry.dateText = info.dateText;
            onFile(entry);
        }

        const int percent = progressPercent(n, mailCount);
        view.setProgress(percent);
        view.setText(StatusControl::Percent, percentText(percent));
        view.setText(StatusControl::Status, mailStatusText(n, kRenameVerb));
        view.showPhase(RunPhase::Renaming, n, mailCount);
        view.processEvents();
    }
    // The files a stop left behind, under their temporary names.
    if (onFile) {
        for (; n <= mailCount; ++n) {
            onFile({n, written.file(n), {}, {}, false});
        }
    }
}

std::vector<RenamedFile> renameMessageFiles(const std::filesystem::path& outputFolder,
                                            int mailCount, RunView& view) {
    std::vector<RenamedFile> files;
    renameMessageFiles(WrittenMessages{outputFolder, mailCount}, view,
                       [&files](const RenamedFile& file) { files.push_back(file); });
    return files;
}

} // namespace keldor::engine
