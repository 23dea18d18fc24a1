#pragma once
// The subject and date of each message of a run, taken from its bytes while
// pass 2 still holds them and put aside for the rename pass, which then need
// not open and read every file again. What does not fit a small buffer goes
// to a scratch file in the output folder, so memory stays the same however
// many messages a mailbox holds.

#include "mailinfo/mail_info.h"
#include "platform/files.h"

#include <filesystem>
#include <optional>
#include <vector>

namespace keldor::engine {

class MailInfoLog {
public:
    // The scratch file, when one is needed, is made in `folder`. Without one
    // the messages from there on read as not put aside.
    explicit MailInfoLog(std::filesystem::path folder) : folder_(std::move(folder)) {}

    // The next message's info (messages come 1, 2, … in order), or nullopt
    // when the rename pass is to read it from the file.
    void add(const std::optional<mailinfo::MailInfo>& info);

    // The info of message `number`, asked for in order 1, 2, … after the
    // last add(); nullopt when it was not put aside or cannot be read back.
    std::optional<mailinfo::MailInfo> take(int number);

    // Message `number`'s file changed after its info was added in a way
    // that changes its subject or date: take() gives nullopt for it, so the
    // rename pass reads it from the file.
    void markChanged(int number);

private:
    bool flush();
    void startReading();
    bool have(std::size_t count);

    std::filesystem::path folder_;
    std::optional<platform::ScratchFile> scratch_;
    Bytes pending_;   // added, not yet in the scratch file
    int added_ = 0;   // messages added
    int flushed_ = 0; // of them, in the scratch file
    int kept_ = 0;    // of them, the first kept_ can be read back
    bool failed_ = false;

    bool reading_ = false;
    Bytes window_; // read back, from at_ on not yet taken
    std::size_t at_ = 0;
    std::uint64_t readFrom_ = 0; // next offset to read in the scratch file
    int taken_ = 0;
    std::vector<int> changed_; // ascending
};

} // namespace keldor::engine
