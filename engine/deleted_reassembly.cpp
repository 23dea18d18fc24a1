#include "engine/deleted_reassembly.h"

#include "platform/case_fold.h"
#include "repair/header_line_repair.h"
#include "repair/lost_byte.h"

#include <algorithm>
#include <array>
#include <string_view>

namespace keldor::engine {

namespace {

// The four bytes written in place of the four a record's chain link took.
using SubstituteBytes = std::array<char, dbx::kLostBytesPerRecord>;

SubstituteBytes substituteBytes(bool firstOfMessage, bool endedWithCr, ByteView text) {
    using repair::kLost;
    const unsigned firstTextByte = byteAt(text, 0);
    if (firstOfMessage) {
        // The colon of "From:" survived; its name did not. A date after it
        // was a Date field's.
        if (firstTextByte != ':') {
            return SubstituteBytes{kLost, kLost, kLost, kLost};
        }
        return repair::isDateValue(text.substr(1)) ? SubstituteBytes{'D', 'a', 't', 'e'}
                                                   : SubstituteBytes{'F', 'r', 'o', 'm'};
    }
    // A CR that ended the previous record must be followed by LF, and an LF
    // that starts this one must be preceded by CR.
    const char first = endedWithCr ? '\n' : kLost;
    const char last = firstTextByte == '\n' ? '\r' : kLost;
    return SubstituteBytes{first, kLost, kLost, last};
}

bool startsNewMessageByContent(ByteView text) {
    static constexpr std::string_view kReturnPathTail = "rn-path: ";
    for (std::size_t i = 0; i < kReturnPathTail.size(); ++i) {
        const auto c = platform::foldedByte(static_cast<std::uint8_t>(byteAt(text, i)));
        if (c != static_cast<unsigned char>(kReturnPathTail[i])) {
            return false;
        }
    }
    return true;
}

} // namespace

bool DeletedReassembly::add(const dbx::DeletedRecord& record, bool last) {
    return add(record.textView(), record.fullByLayout() && !last);
}

bool DeletedReassembly::addLost() {
    static constexpr std::array<char, dbx::kTextSize> kLostText{};
    return add(ByteView(kLostText.data(), kLostText.size()), true);
}

bool DeletedReassembly::add(ByteView text, bool full) {
    if (!awaitingStart_ && !endedWithCrLf_ && startsNewMessageByContent(text)) {
        // "Return-Path: " lost its first four letters to the chain link:
        // a new message begins here although the last record was full.
        if (!endMessage()) {
            return false;
        }
    }

    const bool firstOfMessage = awaitingStart_;
    if (awaitingStart_) {
        if (!writer_.begin()) {
            return false;
        }
        awaitingStart_ = false;
    }
    const SubstituteBytes substitutes = substituteBytes(firstOfMessage, endedWithCr_, text);
    if (!writer_.append(ByteView(substitutes.data(), substitutes.size()))) {
        return false;
    }

    if (full) {
        if (!writer_.append(text)) {
            return false;
        }
        const unsigned last = byteAt(text, dbx::kTextSize - 1);
        endedWithCr_ = last == '\r';
        endedWithCrLf_ = last == '\n' && byteAt(text, dbx::kTextSize - 2) == '\r';
        return true;
    }
    const std::size_t end = std::min(text.find('\0'), text.size());
    return writer_.append(text.substr(0, end)) && endMessage();
}

bool DeletedReassembly::finish() {
    return awaitingStart_ || endMessage();
}

bool DeletedReassembly::endMessage() {
    awaitingStart_ = true;
    if (!writer_.end()) {
        return false;
    }
    onMessageEnd_();
    return true;
}

} // namespace keldor::engine
