#pragma once
// Header lines that the messages of one mailbox repeat byte for byte: the
// From, Reply-To and Organization a sender writes the same way in every
// mail, the X-Mailer and X-MimeOLE of its program, the hosts of its Received
// lines. While a run writes its messages, the lines of their main headers
// are counted; once every message is written, a lost byte of such a line in
// one message is brought back from the other messages that hold the line
// whole, where they leave no doubt about it.

#include "engine/message_writer.h"
#include "platform/bytes.h"
#include "platform/event_point.h"
#include "platform/files.h"

#include <cstdint>
#include <filesystem>
#include <memory>
#include <optional>
#include <vector>

namespace keldor::engine {

// The first bytes of a message that are taken for its header.
inline constexpr std::size_t kEchoHeadLimit = 64 * 1024;

class HeaderEchoes {
public:
    // The scratch file of damaged lines, when one is needed, is made in
    // `folder`; without one, the damaged lines from there on are not restored.
    explicit HeaderEchoes(std::filesystem::path folder);
    HeaderEchoes(const HeaderEchoes&) = delete;
    HeaderEchoes& operator=(const HeaderEchoes&) = delete;

    // Message `number` of output `output` as recovery put it together, before
    // any repair: lost bytes are 0x00. Only its main header within the first
    // kEchoHeadLimit bytes is looked at. Its whole lines are counted, once
    // per message; when `restorable`, its lines with lost bytes are put aside
    // for restore(). Memory stays bounded however many messages come: the
    // count keeps a bounded number of distinct lines (past that, lines seen
    // once are forgotten, which only means fewer restorations) and the
    // damaged lines go to a scratch file.
    void add(std::size_t output, int number, ByteView message, bool restorable);

    // Rewrites in place, in the files of `writers` (output i is writers[i]),
    // every damaged line put aside that exactly one counted line fits, at the
    // same length, on every byte that survived (at least 16 of them), held by
    // at least two other messages: the whole line gets that line's bytes,
    // which also takes back what a repair guessed in it. A line whose lost
    // bytes may have held a line break, may have been a Subject, Date or
    // Message-ID line, or holds a boundary is left alone, and so is one whose
    // file no longer shows the line where it was. A message whose subject or
    // date reads differently afterwards is marked in its writer's infos() to
    // be read again from its file. Never changes a file's size; a file that
    // cannot be opened, read or written keeps what it has. Tests StopRequested
    // before every file and lets `events` in after every message. Returns the
    // lost bytes restored.
    std::int64_t restore(const std::vector<std::unique_ptr<MessageWriter>>& writers,
                         platform::EventPoint& events);

private:
    // A distinct whole line: its owner (the field a continuation line folds
    // into, folded to lower case; empty for the first line of a field, whose
    // name it holds itself) and its bytes, in arena_.
    struct Entry {
        std::uint64_t hash = 0;
        std::uint32_t at = 0; // owner, then line, in arena_
        std::uint16_t ownerSize = 0;
        std::uint16_t lineSize = 0;
        std::uint32_t messages = 0; // messages holding it
    };
    struct IndexKey {
        std::uint64_t key = 0;
        std::uint32_t entry = 0;
        bool operator<(const IndexKey& other) const { return key < other.key; }
    };

    void count(std::uint64_t hash, ByteView owner, ByteView line);
    std::optional<std::uint32_t> find(std::uint64_t hash, ByteView owner, ByteView line) const;
    void insert(std::uint32_t entry);
    void forgetLinesSeenOnce();
    void buildIndex();
    [[nodiscard]] ByteView ownerOf(const Entry& entry) const;
    [[nodiscard]] ByteView lineOf(const Entry& entry) const;
    // The one counted line that fits `line` of `owner`, held by at least
    // two messages other than its own (whose lines of its length are `own`).
    [[nodiscard]] std::optional<std::uint32_t> echoOf(ByteView owner, ByteView line,
                                                      const std::vector<std::uint64_t>& own) const;
    bool flush();

    std::filesystem::path folder_;

    std::vector<Entry> entries_;
    std::vector<std::uint32_t> slots_; // open addressing by hash: entry + 1, 0 when free
    Bytes arena_;
    bool saturated_ = false; // full of lines seen twice: new lines are no longer counted
    std::vector<IndexKey> index_;

    // Damaged lines, per message: in pending_ until it is flushed to scratch_.
    std::optional<platform::ScratchFile> scratch_;
    Bytes pending_;
    std::uint64_t flushed_ = 0; // bytes in scratch_
    bool failed_ = false;
};

} // namespace keldor::engine
