#include "engine/header_echoes.h"

#include "engine/dbx_layout.h"
#include "engine/run_flags.h"
#include "mailinfo/mail_info.h"
#include "platform/case_fold.h"
#include "repair/lost_byte.h"

#include <algorithm>
#include <array>
#include <cstring>
#include <string_view>
#include <utility>

namespace keldor::engine {

namespace {

using repair::kLost;

// A line is restored only from at least this many surviving bytes, so
// that a short line ("X-Priority: 3") is never taken for a longer one's twin.
constexpr std::size_t kLeastSurviving = 16;
constexpr std::size_t kShortestLine = kLeastSurviving + 1;
constexpr std::size_t kLongestLine = 998; // the longest line mail allows, without CR LF
// The run of lost bytes one record leaves; a longer run is a record that is
// gone, which may have held anything, line breaks among it.
constexpr std::size_t kLongestLostRun = dbx::kLostBytesPerRecord;
// The fields whose lines differ from mail to mail: one that seems to repeat
// is a coincidence. Subject and Date are also what the rename pass reads.
constexpr std::array<std::string_view, 8> kOwnFields = {
    "subject",    "date",         "message-id",   "in-reply-to",
    "references", "thread-index", "thread-topic", "x-uidl"};
// A boundary is made for its one mail.
constexpr std::string_view kBoundaryParameter = "boundary=";

// The count's bounds: about 3 MiB at most, then 1 MiB more for the index
// restore() builds in place of the table.
constexpr std::size_t kMostEntries = 1 << 15;
constexpr std::size_t kSlotCount = 2 * kMostEntries; // a power of two
constexpr std::size_t kArenaLimit = 2 * 1024 * 1024;

constexpr std::size_t kBufferSize = 64 * 1024;

bool isLost(char c) {
    return c == kLost;
}

// 64-bit FNV-1a, the same on every system.
class Hasher {
public:
    Hasher& add(ByteView bytes) {
        for (const char c : bytes) {
            hash_ = (hash_ ^ static_cast<unsigned char>(c)) * 0x100000001B3ULL;
        }
        return *this;
    }
    Hasher& addFolded(ByteView bytes) {
        for (std::size_t i = 0; i < bytes.size(); ++i) {
            hash_ = (hash_ ^ platform::foldByte(byteAt(bytes, i))) * 0x100000001B3ULL;
        }
        return *this;
    }
    Hasher& add(std::uint64_t value) {
        char bytes[sizeof value];
        std::memcpy(bytes, &value, sizeof value);
        return add(ByteView(bytes, sizeof bytes));
    }
    [[nodiscard]] std::uint64_t value() const { return hash_ ^ (hash_ >> 31); }

private:
    std::uint64_t hash_ = 0xCBF29CE484222325ULL;
};

// A continuation line's bytes say nothing of its field; a line is known by
// its owner (letter case aside) and its bytes together. CR LF stand in neither.
std::uint64_t lineHash(ByteView owner, ByteView line) {
    return Hasher().addFolded(owner).add(ByteView("\n")).add(line).value();
}

Bytes folded(ByteView bytes) {
    Bytes out(bytes);
    for (char& c : out) {
        c = toByte(platform::foldByte(static_cast<unsigned char>(c)));
    }
    return out;
}

// A damaged line holds one lost run or, past 508 bytes, a few, each at most
// four bytes: at least one of its first and its last sliceLength() bytes
// survive. The counted lines are looked up by both.
std::size_t sliceLength(std::size_t lineSize) {
    return std::min<std::size_t>(16, (lineSize - kLongestLostRun) / 2);
}

std::uint64_t sliceKey(char end, ByteView owner, ByteView line) {
    const std::size_t slice = sliceLength(line.size());
    return Hasher()
        .add(ByteView(&end, 1))
        .addFolded(owner)
        .add(ByteView("\n"))
        .add(static_cast<std::uint64_t>(line.size()))
        .add(end == 'h' ? line.substr(0, slice) : line.substr(line.size() - slice))
        .value();
}

// The length of the field name before the colon when it is whole: printable,
// no blank; 0 otherwise.
std::size_t nameLength(ByteView line) {
    std::size_t i = 0;
    while (i < line.size() && byteAt(line, i) > 0x20 && byteAt(line, i) < 0x7F && line[i] != ':') {
        ++i;
    }
    return i > 0 && i < line.size() && line[i] == ':' ? i : 0;
}

bool looksLikeHeaderLine(ByteView line) {
    return !line.empty() && (line[0] == ' ' || line[0] == '\t' || nameLength(line) > 0);
}

// Whether `pattern` (lower case) may stand at `at`, letter case aside, as
// far as the bytes there survive.
bool mayStandAt(ByteView line, std::size_t at, ByteView pattern) {
    if (at + pattern.size() > line.size()) {
        return false;
    }
    for (std::size_t i = 0; i < pattern.size(); ++i) {
        const char c = line[at + i];
        if (!isLost(c) && platform::foldByte(byteAt(line, at + i)) != byteAt(pattern, i)) {
            return false;
        }
    }
    return true;
}

bool mayHoldBoundary(ByteView line) {
    constexpr std::size_t kLast = kBoundaryParameter.size() - 1;
    for (std::size_t at = 0; at + kLast < line.size(); ++at) {
        const char last = line[at + kLast]; // the '=' first: it rules out nearly every place
        if ((last == '=' || isLost(last)) && mayStandAt(line, at, kBoundaryParameter)) {
            return true;
        }
    }
    return false;
}

bool isOwnField(ByteView field) {
    return std::any_of(kOwnFields.begin(), kOwnFields.end(), [field](std::string_view own) {
        return platform::equalsFolded(field, own);
    });
}

// For a line whose name lost bytes: whether it may be one of kOwnFields.
bool mayBeOwnField(ByteView line) {
    return std::any_of(kOwnFields.begin(), kOwnFields.end(), [line](std::string_view field) {
        return line.size() > field.size() && mayStandAt(line, 0, field) &&
               (isLost(line[field.size()]) || line[field.size()] == ':');
    });
}

// Whether `whole` holds every byte of `damaged` that survived.
bool fitsSurviving(ByteView damaged, ByteView whole) {
    for (std::size_t i = 0; i < damaged.size(); ++i) {
        if (!isLost(damaged[i]) && damaged[i] != whole[i]) {
            return false;
        }
    }
    return true;
}

// One line of a main header, without its CR LF.
struct HeadLine {
    ByteView bytes;
    std::size_t offset = 0;
    bool continuation = false;
    ByteView field; // the name of the field it belongs to; empty when lost
    ByteView rest;  // the header after its CR LF
};

// The lines of a main header in order, up to the blank line, the first line
// that is no header line, or the last line that ends within `head`.
class HeaderLines {
public:
    explicit HeaderLines(ByteView head) : head_(head) {}

    bool next(HeadLine& line) {
        const std::size_t end = head_.find("\r\n", at_);
        if (end == ByteView::npos || end == at_) {
            return false;
        }
        line.bytes = head_.substr(at_, end - at_);
        line.offset = at_;
        line.continuation = line.bytes[0] == ' ' || line.bytes[0] == '\t';
        if (!line.continuation) {
            const std::size_t name = nameLength(line.bytes);
            if (name == 0 && line.bytes.find(kLost) == ByteView::npos) {
                return false; // a body line: the blank line was lost
            }
            field_ = line.bytes.substr(0, name);
        }
        line.field = field_;
        at_ = end + 2;
        line.rest = head_.substr(at_);
        return true;
    }

private:
    ByteView head_;
    std::size_t at_ = 0;
    ByteView field_;
};

// The owner a line is counted and looked up by.
ByteView lineOwner(const HeadLine& line) {
    return line.continuation ? line.field : ByteView();
}

bool mayBeCounted(const HeadLine& line) {
    return line.bytes.size() >= kShortestLine && line.bytes.size() <= kLongestLine &&
           !line.field.empty() && !isOwnField(line.field) &&
           line.bytes.find_first_of("\r\n") == ByteView::npos && !mayHoldBoundary(line.bytes);
}

// A damaged line that restore() may look up: few lost bytes among many
// surviving ones, in short runs, that cannot have held a line break.
bool mayBeRestored(const HeadLine& line) {
    const ByteView bytes = line.bytes;
    if (bytes.size() < kShortestLine || bytes.size() > kLongestLine ||
        bytes.find_first_of("\r\n") != ByteView::npos) {
        return false;
    }
    std::size_t lost = 0;
    std::size_t run = 0;
    for (const char c : bytes) {
        run = isLost(c) ? run + 1 : 0;
        lost += isLost(c) ? 1 : 0;
        if (run > kLongestLostRun) {
            return false;
        }
    }
    if (lost == 0 || bytes.size() - lost < kLeastSurviving || mayHoldBoundary(bytes)) {
        return false;
    }
    if (line.field.empty() ? line.continuation || mayBeOwnField(bytes) : isOwnField(line.field)) {
        return false;
    }
    // Lost bytes at the end may have held the CR LF of a shorter line and a
    // line of a byte or two, or the blank line that ends the header: only
    // a header line after them says they did not.
    return !isLost(bytes.back()) ||
           looksLikeHeaderLine(line.rest.substr(0, line.rest.find("\r\n")));
}

// What a damaged message's record holds, as add() writes it and restore()
// reads it: numbers as this machine keeps them.
//   u32 output, u32 number, u32 own count, u64 hashes of its own whole lines
//   of a damaged line's length, u32 line count, then per line u32 offset,
//   u16 owner size, u16 line size, owner, line.
template <typename T> void appendValue(Bytes& out, T value) {
    out.append(reinterpret_cast<const char*>(&value), sizeof value);
}

// Reads the records back in order from a scratch file, or from memory.
class RecordReader {
public:
    RecordReader(const platform::ScratchFile* scratch, std::uint64_t size, ByteView memory)
        : scratch_(scratch), size_(scratch ? size : memory.size()), memory_(memory) {}

    [[nodiscard]] bool atEnd() const { return read_ == size_ && at_ == window_.size(); }

    bool take(char* out, std::size_t count) {
        if (!have(count)) {
            return false;
        }
        std::memcpy(out, window_.data() + at_, count);
        at_ += count;
        return true;
    }
    template <typename T> bool take(T& value) {
        return take(reinterpret_cast<char*>(&value), sizeof value);
    }
    bool take(Bytes& out, std::size_t count) {
        out.resize(count);
        return take(out.data(), count);
    }

private:
    bool have(std::size_t count) {
        if (window_.size() - at_ >= count) {
            return true;
        }
        window_.erase(0, at_);
        at_ = 0;
        const std::size_t wanted = static_cast<std::size_t>(
            std::min<std::uint64_t>(std::max(count, kBufferSize), size_ - read_));
        const std::size_t before = window_.size();
        window_.resize(before + wanted);
        std::size_t got = 0;
        if (scratch_ != nullptr) {
            const std::optional<std::size_t> read =
                scratch_->readAt(read_, std::span<char>(window_.data() + before, wanted));
            got = read ? *read : 0;
        } else {
            std::memcpy(window_.data() + before, memory_.data() + read_, wanted);
            got = wanted;
        }
        window_.resize(before + got);
        read_ += got;
        if (got < wanted) {
            read_ = size_; // a read error ends the records
        }
        return window_.size() >= count;
    }

    const platform::ScratchFile* scratch_;
    std::uint64_t size_;
    ByteView memory_;
    std::uint64_t read_ = 0;
    Bytes window_;
    std::size_t at_ = 0;
};

// A line to write over: where, and the bytes.
struct Echo {
    std::size_t offset = 0;
    ByteView bytes;
    std::int64_t lost = 0;
    bool ofReceived = false; // a continuation of a Received line
};

bool containsFolded(ByteView text, ByteView pattern) {
    for (std::size_t at = 0; at + pattern.size() <= text.size(); ++at) {
        if (platform::equalsFolded(text.substr(at, pattern.size()), pattern)) {
            return true;
        }
    }
    return false;
}

// Whether writing `restored` over `written` may change what the rename pass
// reads: the subject and the date of the first Received (or Date) line,
// found by their labels anywhere up to the header's first blank line.
bool mayChangeMailInfo(ByteView written, ByteView restored, bool ofReceived) {
    const auto holdsLabel = [](ByteView line) {
        return containsFolded(line, "subject:") || containsFolded(line, "received:") ||
               containsFolded(line, "date:");
    };
    return ofReceived || written.find_first_of("\r\n") != ByteView::npos || holdsLabel(written) ||
           holdsLabel(restored);
}

// Writes the echoes over their lines; the lost bytes restored. A line the
// file no longer shows where it was (no CR LF after it) keeps its bytes.
std::int64_t writeEchoes(const std::filesystem::path& file, const std::vector<Echo>& echoes,
                         MailInfoLog& infos, int number) {
    std::error_code error;
    std::optional<platform::ReadWriteFile> out = platform::ReadWriteFile::open(file, error);
    if (!out) {
        return 0;
    }
    Bytes head(static_cast<std::size_t>(std::min<std::uint64_t>(out->size(), kEchoHeadLimit)),
               '\0');
    const std::optional<std::size_t> read = out->readAt(0, head);
    if (!read) {
        return 0;
    }
    head.resize(*read);
    Bytes restored = head;
    std::int64_t count = 0;
    bool mayChangeInfo = false;
    for (const Echo& echo : echoes) {
        const std::size_t end = echo.offset + echo.bytes.size();
        if (end + 2 > head.size() || head.compare(end, 2, "\r\n") != 0) {
            continue;
        }
        const ByteView written = ByteView(head).substr(echo.offset, echo.bytes.size());
        if (written != echo.bytes) {
            mayChangeInfo =
                mayChangeInfo || mayChangeMailInfo(written, echo.bytes, echo.ofReceived);
            if (out->writeAt(echo.offset, echo.bytes)) {
                break; // the file keeps what it has from here on
            }
        }
        restored.replace(echo.offset, echo.bytes.size(), echo.bytes);
        count += echo.lost;
    }
    if (mayChangeInfo) {
        const mailinfo::MailInfo before = mailinfo::mailInfoOf(head);
        const mailinfo::MailInfo after = mailinfo::mailInfoOf(restored);
        if (before.subject != after.subject || before.dateText != after.dateText) {
            infos.markChanged(number);
        }
    }
    return count;
}

} // namespace

HeaderEchoes::HeaderEchoes(std::filesystem::path folder) : folder_(std::move(folder)) {}

ByteView HeaderEchoes::ownerOf(const Entry& entry) const {
    return ByteView(arena_).substr(entry.at, entry.ownerSize);
}

ByteView HeaderEchoes::lineOf(const Entry& entry) const {
    return ByteView(arena_).substr(entry.at + entry.ownerSize, entry.lineSize);
}

std::optional<std::uint32_t> HeaderEchoes::find(std::uint64_t hash, ByteView owner,
                                                ByteView line) const {
    for (std::size_t slot = hash & (kSlotCount - 1); slots_[slot] != 0;
         slot = (slot + 1) & (kSlotCount - 1)) {
        const Entry& entry = entries_[slots_[slot] - 1];
        if (entry.hash == hash && platform::equalsFolded(ownerOf(entry), owner) &&
            lineOf(entry) == line) {
            return slots_[slot] - 1;
        }
    }
    return std::nullopt;
}

void HeaderEchoes::insert(std::uint32_t entry) {
    std::size_t slot = entries_[entry].hash & (kSlotCount - 1);
    while (slots_[slot] != 0) {
        slot = (slot + 1) & (kSlotCount - 1);
    }
    slots_[slot] = entry + 1;
}

void HeaderEchoes::count(std::uint64_t hash, ByteView owner, ByteView line) {
    if (slots_.empty()) {
        // Reserved once, so that growing never holds two copies.
        slots_.assign(kSlotCount, 0);
        entries_.reserve(kMostEntries);
        arena_.reserve(kArenaLimit);
    }
    if (const std::optional<std::uint32_t> found = find(hash, owner, line)) {
        ++entries_[*found].messages;
        return;
    }
    const auto fits = [&] {
        return entries_.size() < kMostEntries &&
               arena_.size() + owner.size() + line.size() <= kArenaLimit;
    };
    if (!saturated_ && !fits()) {
        forgetLinesSeenOnce();
    }
    if (saturated_ || !fits()) {
        return;
    }
    Entry entry;
    entry.hash = hash;
    entry.at = static_cast<std::uint32_t>(arena_.size());
    entry.ownerSize = static_cast<std::uint16_t>(owner.size());
    entry.lineSize = static_cast<std::uint16_t>(line.size());
    entry.messages = 1;
    arena_ += folded(owner);
    arena_ += line;
    entries_.push_back(entry);
    insert(static_cast<std::uint32_t>(entries_.size() - 1));
}

// Makes room by dropping the lines only one message held so far. A line
// dropped and met again counts from one again: fewer restorations, never a
// wrong one. When the lines held twice fill most of the room, the count
// takes no new lines any more.
void HeaderEchoes::forgetLinesSeenOnce() {
    // In place: the entries stand in arena_ in their order.
    std::size_t kept = 0;
    std::size_t at = 0;
    for (const Entry& entry : entries_) {
        if (entry.messages >= 2) {
            Entry moved = entry;
            const std::size_t size = std::size_t{entry.ownerSize} + entry.lineSize;
            std::memmove(arena_.data() + at, arena_.data() + entry.at, size);
            moved.at = static_cast<std::uint32_t>(at);
            at += size;
            entries_[kept++] = moved;
        }
    }
    entries_.resize(kept);
    arena_.resize(at);
    std::fill(slots_.begin(), slots_.end(), 0);
    for (std::uint32_t i = 0; i < entries_.size(); ++i) {
        insert(i);
    }
    saturated_ = entries_.size() > kMostEntries / 4 * 3 || arena_.size() > kArenaLimit / 4 * 3;
}

void HeaderEchoes::add(std::size_t output, int number, ByteView message, bool restorable) {
    struct Counted {
        std::uint64_t hash;
        ByteView owner;
        ByteView line;
    };
    std::vector<Counted> whole;
    std::vector<HeadLine> damaged;
    HeaderLines lines(message.substr(0, kEchoHeadLimit));
    for (HeadLine line; lines.next(line);) {
        if (line.bytes.find(kLost) == ByteView::npos) {
            if (mayBeCounted(line)) {
                whole.push_back(
                    {lineHash(lineOwner(line), line.bytes), lineOwner(line), line.bytes});
            }
        } else if (restorable && mayBeRestored(line)) {
            damaged.push_back(line);
        }
    }
    // Each message counts a line once, however often it holds it.
    std::sort(whole.begin(), whole.end(),
              [](const Counted& a, const Counted& b) { return a.hash < b.hash; });
    for (std::size_t i = 0; i < whole.size(); ++i) {
        if (i == 0 || whole[i].hash != whole[i - 1].hash) {
            count(whole[i].hash, whole[i].owner, whole[i].line);
        }
    }
    if (damaged.empty() || failed_) {
        return;
    }

    // Its own whole lines of a damaged line's length, not to be counted as
    // another message's.
    std::vector<std::uint64_t> own;
    for (const Counted& line : whole) {
        if (std::any_of(damaged.begin(), damaged.end(), [&](const HeadLine& damagedLine) {
                return damagedLine.bytes.size() == line.line.size();
            })) {
            own.push_back(line.hash);
        }
    }
    own.erase(std::unique(own.begin(), own.end()), own.end());
    appendValue(pending_, static_cast<std::uint32_t>(output));
    appendValue(pending_, static_cast<std::uint32_t>(number));
    appendValue(pending_, static_cast<std::uint32_t>(own.size()));
    for (const std::uint64_t hash : own) {
        appendValue(pending_, hash);
    }
    appendValue(pending_, static_cast<std::uint32_t>(damaged.size()));
    for (const HeadLine& line : damaged) {
        appendValue(pending_, static_cast<std::uint32_t>(line.offset));
        appendValue(pending_, static_cast<std::uint16_t>(lineOwner(line).size()));
        appendValue(pending_, static_cast<std::uint16_t>(line.bytes.size()));
        pending_ += folded(lineOwner(line));
        pending_ += line.bytes;
    }
    if (pending_.size() >= kBufferSize) {
        flush();
    }
}

bool HeaderEchoes::flush() {
    if (!scratch_) {
        std::error_code error;
        scratch_ = platform::ScratchFile::create(folder_, error);
    }
    const bool written = scratch_ && !scratch_->append(pending_);
    if (written) {
        flushed_ += pending_.size();
    } else {
        failed_ = true; // these records are lost, and all after them
    }
    pending_.clear();
    return written;
}

void HeaderEchoes::buildIndex() {
    slots_ = {}; // nothing is counted any more
    index_.clear();
    index_.reserve(2 * entries_.size());
    for (std::uint32_t i = 0; i < entries_.size(); ++i) {
        const ByteView owner = ownerOf(entries_[i]);
        const ByteView line = lineOf(entries_[i]);
        index_.push_back({sliceKey('h', owner, line), i});
        index_.push_back({sliceKey('t', owner, line), i});
    }
    std::sort(index_.begin(), index_.end());
}

std::optional<std::uint32_t> HeaderEchoes::echoOf(ByteView owner, ByteView line,
                                                  const std::vector<std::uint64_t>& own) const {
    const std::size_t slice = sliceLength(line.size());
    const auto whole = [](ByteView bytes) { return bytes.find(kLost) == ByteView::npos; };
    char end = 'h';
    if (!whole(line.substr(0, slice))) {
        if (!whole(line.substr(line.size() - slice))) {
            return std::nullopt;
        }
        end = 't';
    }
    const IndexKey key{sliceKey(end, owner, line), 0};
    std::optional<std::uint32_t> echo;
    for (auto it = std::lower_bound(index_.begin(), index_.end(), key);
         it != index_.end() && it->key == key.key; ++it) {
        const Entry& entry = entries_[it->entry];
        if (entry.lineSize != line.size() || !platform::equalsFolded(ownerOf(entry), owner) ||
            !fitsSurviving(line, lineOf(entry))) {
            continue;
        }
        if (echo) {
            return std::nullopt; // two lines fit: which one it was is not certain
        }
        echo = it->entry;
    }
    if (!echo) {
        return std::nullopt;
    }
    const Entry& entry = entries_[*echo];
    const bool heldHere = std::find(own.begin(), own.end(), entry.hash) != own.end();
    return entry.messages - (heldHere ? 1 : 0) >= 2 ? echo : std::nullopt;
}

std::int64_t HeaderEchoes::restore(const std::vector<std::unique_ptr<MessageWriter>>& writers,
                                   platform::EventPoint& events) {
    if (scratch_ && !failed_ && !pending_.empty()) {
        flush();
    }
    if (scratch_ == std::nullopt && pending_.empty()) {
        return 0;
    }
    buildIndex();
    RecordReader records(scratch_ ? &*scratch_ : nullptr, flushed_, pending_);
    std::int64_t restored = 0;
    std::vector<std::uint64_t> own;
    std::vector<Echo> echoes;
    Bytes owner;
    Bytes line;
    while (!records.atEnd() && !StopRequested) {
        std::uint32_t output = 0;
        std::uint32_t number = 0;
        std::uint32_t ownCount = 0;
        std::uint32_t lineCount = 0;
        if (!records.take(output) || !records.take(number) || !records.take(ownCount) ||
            output >= writers.size() || number == 0 ||
            static_cast<int>(number) > writers[output]->written().count ||
            ownCount > kEchoHeadLimit / kShortestLine) {
            break; // not what add() wrote
        }
        own.resize(ownCount);
        for (std::uint64_t& hash : own) {
            if (!records.take(hash)) {
                return restored;
            }
        }
        if (!records.take(lineCount) || lineCount > kEchoHeadLimit / kShortestLine) {
            break;
        }
        echoes.clear();
        for (std::uint32_t i = 0; i < lineCount; ++i) {
            std::uint32_t offset = 0;
            std::uint16_t ownerSize = 0;
            std::uint16_t lineSize = 0;
            if (!records.take(offset) || !records.take(ownerSize) || !records.take(lineSize) ||
                lineSize < kShortestLine || lineSize > kLongestLine ||
                !records.take(owner, ownerSize) || !records.take(line, lineSize)) {
                return restored;
            }
            if (const std::optional<std::uint32_t> echo = echoOf(owner, line, own)) {
                echoes.push_back({offset, lineOf(entries_[*echo]),
                                  std::count(line.begin(), line.end(), kLost),
                                  owner == "received"});
            }
        }
        if (!echoes.empty()) {
            MessageWriter& writer = *writers[output];
            restored += writeEchoes(writer.written().file(static_cast<int>(number)), echoes,
                                    writer.infos(), static_cast<int>(number));
        }
        events.processEvents();
    }
    return restored;
}

} // namespace keldor::engine
