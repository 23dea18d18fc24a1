#pragma once
// Puts deleted messages back together from their records, read in the order
// Outlook Express wrote them: each record's 508 surviving text bytes after
// four bytes that stand for the four its chain link took, certain ones
// where the text around them tells them, lost (0x00) otherwise. A record
// that is not full ends its message; so does a record whose text begins a
// new mail although the one before was full.

#include "engine/dbx_layout.h"
#include "engine/message_writer.h"

#include <functional>

namespace keldor::engine {

class DeletedReassembly {
public:
    // `onMessageEnd` is called after every message the writer has ended.
    DeletedReassembly(MessageWriter& writer, std::function<void()> onMessageEnd)
        : writer_(writer), onMessageEnd_(std::move(onMessageEnd)) {}

    // The next record. `last`: no record follows it in this reading (the
    // chain's end, or the end of a message found by its blocks), so it ends
    // its message whatever it holds. false when a write failed.
    bool add(const dbx::DeletedRecord& record, bool last);

    // A record of the message that is gone: 512 lost bytes in its place.
    bool addLost();

    // Ends the open message, if any; for a reading that ends without a
    // last record.
    bool finish();

    [[nodiscard]] bool messageOpen() const { return !awaitingStart_; }

private:
    bool add(ByteView text, bool full);
    bool endMessage();

    MessageWriter& writer_;
    std::function<void()> onMessageEnd_;
    bool awaitingStart_ = true;
    bool endedWithCr_ = false;
    bool endedWithCrLf_ = false;
};

} // namespace keldor::engine
