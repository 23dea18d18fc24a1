#pragma once
// Writes the messages a run finds, one file each, under temporary names the
// rename pass later replaces: numbers them, holds a message in memory while
// it is short and spills it to its file when it grows, repairs it where the
// run asks for repair, and puts its subject and date aside for the rename
// pass.

#include "engine/mail_info_log.h"
#include "platform/event_point.h"
#include "platform/files.h"
#include "repair/repair_options.h"
#include "repair/restored_counts.h"

#include <filesystem>
#include <optional>
#include <system_error>

namespace keldor::engine {

// Messages up to this size are put together and repaired in memory, then
// written in one go; longer ones are streamed to their file and repaired
// there. The same bytes either way.
inline constexpr std::size_t kInMemoryMessageLimit = 1024 * 1024;

class HeaderEchoes;

// "Recover<n>.eml"
std::filesystem::path temporaryFileName(int number);

// The files a run wrote: 1 … count in the order written, under their
// temporary names in one folder.
struct WrittenMessages {
    std::filesystem::path folder;
    int count = 0;
    [[nodiscard]] std::filesystem::path file(int number) const {
        return folder / temporaryFileName(number);
    }
};

// Why a write failed: the file and the system's error.
struct WriteFailure {
    std::filesystem::path file;
    std::error_code error;
};

class MessageWriter {
public:
    // `repair`: the repairs every message gets (nullptr: written as read).
    // `events`: where a repair lets the window in after every line.
    // `echoes` (when set) is given every message's header before its repair,
    // as output `output`; a message is restorable when it is repaired.
    MessageWriter(const std::filesystem::path& folder, const repair::RepairOptions* repair,
                  platform::EventPoint& events, std::size_t inMemoryLimit = kInMemoryMessageLimit,
                  HeaderEchoes* echoes = nullptr, std::size_t output = 0);
    MessageWriter(const MessageWriter&) = delete;
    MessageWriter& operator=(const MessageWriter&) = delete;

    // Each returns false when a write failed; failure() then says where and why.
    bool begin();
    bool append(ByteView bytes);
    bool end();

    [[nodiscard]] const WrittenMessages& written() const { return written_; }
    [[nodiscard]] const std::optional<WriteFailure>& failure() const { return failure_; }
    // The subjects and dates put aside; the rename pass takes them.
    [[nodiscard]] MailInfoLog& infos() { return infos_; }
    // The lost bytes the repairs brought back from a second copy.
    [[nodiscard]] const repair::RestoredCounts& restored() const { return restored_; }

private:
    bool createFile();
    bool fail(std::error_code error);

    WrittenMessages written_;
    const repair::RepairOptions* repair_;
    platform::EventPoint& events_;
    const std::size_t inMemoryLimit_;
    MailInfoLog infos_;
    repair::RestoredCounts restored_;
    std::optional<WriteFailure> failure_;
    HeaderEchoes* echoes_;
    const std::size_t output_;

    // The current message: in `message_` while it is no longer than the
    // limit, then in its file from the first byte on.
    bool inMemory_ = false;
    Bytes message_;
    std::optional<platform::OutputFile> out_;
    // A streamed message's first bytes as written, for `echoes_`.
    Bytes head_;
};

} // namespace keldor::engine
