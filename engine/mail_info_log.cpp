#include "engine/mail_info_log.h"

#include <algorithm>
#include <cstring>

namespace keldor::engine {

namespace {

constexpr std::size_t kBufferSize = 64 * 1024;

// Each entry: one byte (1 when put aside, 0 when not), then for one put
// aside the lengths of the subject and the date text in UTF-16 units, four
// bytes each, and the units of both, two bytes each, as this machine keeps
// them.
constexpr char kNotKept = 0;
constexpr char kKept = 1;
constexpr std::size_t kLengthsSize = 2 * sizeof(std::uint32_t);
// Longer texts than the header block's bytes are read from the file
// instead; a longer length read back is not one add() wrote.
constexpr std::uint32_t kMostUnits = mailinfo::kHeaderReadLimit;

void appendText(Bytes& out, const Text& text) {
    out.append(reinterpret_cast<const char*>(text.data()), text.size() * sizeof(char16_t));
}

Text textAt(const Bytes& bytes, std::size_t at, std::uint32_t length) {
    Text text(length, u'\0');
    std::memcpy(text.data(), bytes.data() + at, length * sizeof(char16_t));
    return text;
}

} // namespace

void MailInfoLog::add(const std::optional<mailinfo::MailInfo>& info) {
    ++added_;
    if (failed_ || reading_) {
        failed_ = true;
        return;
    }
    if (!info || info->subject.size() > kMostUnits || info->dateText.size() > kMostUnits) {
        pending_ += kNotKept;
    } else {
        const std::uint32_t lengths[2] = {static_cast<std::uint32_t>(info->subject.size()),
                                          static_cast<std::uint32_t>(info->dateText.size())};
        pending_ += kKept;
        pending_.append(reinterpret_cast<const char*>(lengths), kLengthsSize);
        appendText(pending_, info->subject);
        appendText(pending_, info->dateText);
    }
    if (pending_.size() < kBufferSize || flush()) {
        kept_ = added_;
    }
}

bool MailInfoLog::flush() {
    if (!scratch_) {
        std::error_code error;
        scratch_ = platform::ScratchFile::create(folder_, error);
    }
    const bool written = scratch_ && !scratch_->append(pending_);
    pending_.clear();
    if (!written) {
        // What was added since the last flush is lost; the rename pass
        // reads those messages, and all after them, from their files.
        failed_ = true;
        kept_ = flushed_;
        return false;
    }
    flushed_ = added_;
    return true;
}

void MailInfoLog::startReading() {
    reading_ = true;
    if (!scratch_) {
        window_ = std::move(pending_); // everything is still here
        return;
    }
    if (!failed_ && !pending_.empty()) {
        flush();
    }
}

// Whether `count` bytes from at_ on are in the window, reading on as needed.
bool MailInfoLog::have(std::size_t count) {
    if (window_.size() - at_ >= count) {
        return true;
    }
    if (!scratch_) {
        return false;
    }
    window_.erase(0, at_);
    at_ = 0;
    const std::size_t before = window_.size();
    window_.resize(before + std::max(count, kBufferSize));
    const std::optional<std::size_t> got = scratch_->readAt(
        readFrom_, std::span<char>(window_.data() + before, window_.size() - before));
    window_.resize(before + (got ? *got : 0));
    readFrom_ += got ? *got : 0;
    return window_.size() >= count;
}

void MailInfoLog::markChanged(int number) {
    const auto at = std::lower_bound(changed_.begin(), changed_.end(), number);
    if (at == changed_.end() || *at != number) {
        changed_.insert(at, number);
    }
}

std::optional<mailinfo::MailInfo> MailInfoLog::take(int number) {
    if (!reading_) {
        startReading();
    }
    if (number != taken_ + 1) {
        kept_ = 0; // out of order: nothing after this can be trusted
        return std::nullopt;
    }
    if (number > kept_) {
        return std::nullopt;
    }
    ++taken_;
    if (!have(1)) {
        kept_ = 0;
        return std::nullopt;
    }
    if (window_[at_++] == kNotKept) {
        return std::nullopt;
    }
    std::uint32_t lengths[2] = {};
    if (!have(kLengthsSize)) {
        kept_ = 0;
        return std::nullopt;
    }
    std::memcpy(lengths, window_.data() + at_, kLengthsSize);
    at_ += kLengthsSize;
    if (lengths[0] > kMostUnits || lengths[1] > kMostUnits) {
        kept_ = 0; // not what add() wrote
        return std::nullopt;
    }
    const std::size_t textSize =
        (static_cast<std::size_t>(lengths[0]) + lengths[1]) * sizeof(char16_t);
    if (!have(textSize)) {
        kept_ = 0;
        return std::nullopt;
    }
    mailinfo::MailInfo info{textAt(window_, at_, lengths[0]),
                            textAt(window_, at_ + lengths[0] * sizeof(char16_t), lengths[1])};
    at_ += textSize;
    if (std::binary_search(changed_.begin(), changed_.end(), number)) {
        return std::nullopt;
    }
    return info;
}

} // namespace keldor::engine
