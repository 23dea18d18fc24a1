#include "repair/repair_pipeline.h"

#include "platform/text.h"
#include "repair/base64_body_repair.h"
#include "repair/encoded_word_repair.h"
#include "repair/header_line_repair.h"
#include "repair/header_names.h"
#include "repair/japanese_text_repair.h"
#include "repair/line_edit.h"
#include "repair/line_reader.h"
#include "repair/lost_byte.h"
#include "repair/mime_structure.h"
#include "repair/name_case.h"
#include "repair/quoted_printable_repair.h"
#include "repair/twin_parts.h"

#include <algorithm>
#include <optional>
#include <string_view>
#include <vector>

namespace keldor::repair {

namespace {

constexpr std::string_view kEncodingField = "Content-Transfer-Encoding:";

// A quoted-printable or base64 text body is repaired whole once its end is
// read; a longer one is repaired in pieces of about this size.
constexpr std::size_t kHeldBodyLimit = 1024 * 1024;

bool holdsLost(ByteView line) {
    return line.find(kLost) != ByteView::npos;
}

bool isBlank(ByteView line) {
    return line == "\r\n";
}

bool isHeaderState(RepairState state) {
    return state == RepairState::MessageHeader || state == RepairState::Preamble ||
           state == RepairState::PartHeader;
}

// The text body state for a charset, if it has one.
std::optional<RepairState> textState(Charset charset) {
    switch (charset) {
    case Charset::Iso2022Jp:
        return RepairState::JisText;
    case Charset::ShiftJis:
        return RepairState::SjisText;
    case Charset::EucJp:
        return RepairState::EucText;
    case Charset::None:
        break;
    }
    return std::nullopt;
}

// Where a repair put a line break back inside the line (CR LF where a lost
// byte was): the index where the next line begins, or 0.
std::size_t restoredBreak(ByteView before, ByteView after) {
    for (std::size_t i = 0; i + 2 < after.size(); ++i) {
        if (after[i] == '\r' && after[i + 1] == '\n' &&
            (before[i] == kLost || before[i + 1] == kLost)) {
            return i + 2;
        }
    }
    return 0;
}

// What the handling of one line decided.
struct Handled {
    RepairState next;
    // Nonzero: the line ends at this index, where a lost line break was put
    // back; the rest is the next line.
    std::size_t splitAt = 0;
};

// A line of a body that is repaired whole at its end.
struct HeldLine {
    std::int64_t position = 0;
    Bytes line; // as read, lost bytes still 0x00
};

// The per-message structure and the repairs that follow it, one line at a
// time, over a file or over a message in memory.
template <typename Lines> class MessageRepair {
public:
    MessageRepair(Lines& lines, const RepairOptions& options)
        : lines_(lines), options_(options), rewrite_([this](std::int64_t at, ByteView bytes) {
              return lines_.writeLine(at, bytes);
          }) {}

    // Repairs the line in place and returns the state of the next line. A
    // step that would run past the line's end ends the line's repair and
    // leaves the state as it was.
    // `original` is the line as read (empty when it held no lost byte).
    Handled handle(RepairState state, std::int64_t position, Bytes& line, ByteView original) {
        if (isHeaderState(state)) {
            return headerLine(state, position, line, original);
        }
        return bodyLine(state, position, line);
    }

    // The file has ended: a body still held is repaired.
    void finish() {
        settlePendingBody();
        (void)repairHeldBody();
    }

private:
    Handled headerLine(RepairState state, std::int64_t position, Bytes& line, ByteView original) {
        if (state == RepairState::PartHeader && inHeaderBlock_ &&
            part_.transferEncoding == TransferEncoding::Base64 && isBase64BodyLine(line)) {
            return endHeaderBefore(position, line);
        }
        const bool endLost = !original.empty() && endsInLostBreak(line);
        const Handled handled = headerLineSteps(state, position, line, original);
        lostEnd_.reset();
        if (endLost && handled.splitAt == 0 && isHeaderState(handled.next) &&
            endsInLostBreak(line)) {
            lostEnd_ = HeldLine{position, line};
        }
        return handled;
    }

    // A line of base64 text where a part header was still read, after a
    // header line whose lost end took its line break and the blank line:
    // the header ended before this line, which begins the body.
    Handled endHeaderBefore(std::int64_t position, Bytes& line) {
        if (lostEnd_) {
            Bytes& before = lostEnd_->line;
            const std::size_t end = repair::contentLength(before);
            before[end - 2] = '\r';
            before[end - 1] = '\n';
            std::replace(before.begin(), before.end(), kLost, ' ');
            lines_.writeLine(lostEnd_->position, before);
            lostEnd_.reset();
        }
        inHeaderBlock_ = false;
        return bodyLine(bodyOfPart(), position, line);
    }

    // Whether the line can only be base64 text: no header field, no
    // continuation line, and at least a short group of characters.
    static bool isBase64BodyLine(ByteView line) {
        constexpr std::size_t kShortestBase64 = 16;
        const std::size_t end = repair::contentLength(line);
        if (end < kShortestBase64 || platform::base64DigitValue(byteAt(line, 0)) < 0) {
            return false;
        }
        for (std::size_t i = 0; i < end; ++i) {
            if (platform::base64DigitValue(byteAt(line, i)) < 0 && line[i] != '=' &&
                line[i] != kLost) {
                return false;
            }
        }
        return true;
    }

    // A header line whose last two bytes before its CR LF are lost: they
    // may have held its own CR LF, the blank line's following.
    static bool endsInLostBreak(ByteView line) {
        const std::size_t end = repair::contentLength(line);
        return end >= 2 && end + 2 == line.size() && line[end - 1] == kLost &&
               line[end - 2] == kLost;
    }

    // The transfer encoding code a header line names, if any.
    static TransferEncoding encodingNamedBy(ByteView line) {
        PartInfo probe;
        Bytes copy(line);
        repair::detectPartInfo(probe, copy);
        return probe.transferEncoding;
    }

    Handled headerLineSteps(RepairState state, std::int64_t position, Bytes& line,
                            ByteView original) {
        if (original.empty()) {
            return headerSteps(state, position, line, {});
        }
        if (holdsLost(line)) {
            completeHeaderName(line);
            if (inHeaderBlock_) {
                restoreNameTail(line);
                restoreLostNameLetters(line);
                if (state == RepairState::MessageHeader && !field_.inQuotes &&
                    !field_.awaitsParameter) {
                    restoreFromName(line, addressFields_);
                    restoreAddressFieldName(line, addressFields_);
                    restoreBreakBeforeAddressField(line, addressFields_);
                }
                restoreColonAfterName(line);
            }
            // A line that may continue a field whose quoted string is open.
            const bool continues = line[0] == ' ' || line[0] == '\t' || line[0] == kLost;
            restoreHeaderBreak(line, continues && field_.inQuotes);
            if (inHeaderBlock_) {
                restoreBreakAfterOpenQuote(line, continues && field_.inQuotes);
                restoreBlankBeforeDelimiter(line);
            }
            restoreHeaderLineBreaks(line);
            if (state == RepairState::PartHeader && inHeaderBlock_) {
                restoreBlankAfterEncoding(line);
                // The encoding this very line names counts too: its run may
                // have taken the line's end and the blank line after it.
                const TransferEncoding encoding = part_.transferEncoding != TransferEncoding::None
                                                      ? part_.transferEncoding
                                                      : encodingNamedBy(line);
                if (encoding != TransferEncoding::None) {
                    restoreBlankBeforeBody(line, encoding == TransferEncoding::Base64, field_);
                }
            }
        }
        if (const std::size_t split = restoredBreak(original, line); split != 0) {
            // The lost bytes held the end of this line and the start of the
            // next: the rest of the header repairs take them one by one.
            Bytes head = line.substr(0, split);
            Handled handled = headerSteps(state, position, head, original.substr(0, split));
            line.replace(0, split, head);
            if (handled.splitAt == 0) {
                handled.splitAt = split;
            }
            return handled;
        }
        return headerSteps(state, position, line, original);
    }

    // `original`: the line as read, lost bytes kept; empty when it held none.
    Handled headerSteps(RepairState state, std::int64_t position, Bytes& line, ByteView original) {
        const bool lost = !original.empty();
        if (lost && repairEncodedWord(line, options_) == StepEnd::PastLineEnd) {
            return {state};
        }
        if (lost && inHeaderBlock_) {
            repair::completeTransferEncoding(line);
            keepFieldName(line, options_.halfWidthByte);
            completeContentType(line);
        }
        const BoundaryResult found = detectBoundary(position, line);
        std::size_t split = 0;
        if (found == BoundaryResult::DelimiterMatched) {
            split = repairDelimiterLineEnd(line);
        } else if (lost && inHeaderBlock_ && !field_.awaitsParameter) {
            // After a parameter list left open, a line without a colon is
            // its next parameter wrapped without a blank, not a field.
            restoreFieldColon(line);
        }
        Bytes head = split != 0 ? line.substr(0, split) : Bytes();
        Bytes& own = split != 0 ? head : line;
        detectPartInfo(part_, own);
        if (lost && inHeaderBlock_) {
            noteOpenEncoding(position, own, original.substr(0, own.size()));
        }
        if (inHeaderBlock_) {
            addressFields_.note(own);
        }
        field_ = fieldStateAfter(own, field_);
        // Field names are known from a delimiter to the blank line that ends
        // the header after it (an attached message's header begins anew).
        if (found == BoundaryResult::DelimiterMatched) {
            beginHeaderBlock();
        } else if (isBlank(own)) {
            inHeaderBlock_ = false;
        }
        const RepairState next = afterHeaderLine(state, found, own);
        if (split != 0) {
            line.replace(0, split, head);
        }
        return {next, split};
    }

    // A transfer encoding field with lost bytes, where the body's shape is
    // to settle what it named (openTransferEncoding): kept as repaired, its
    // bytes that were lost marked lost again (line breaks put back aside),
    // and as written.
    void noteOpenEncoding(std::int64_t position, ByteView line, ByteView original) {
        const std::optional<OpenEncoding> open = openTransferEncoding(original);
        if (!open) {
            return;
        }
        Bytes label(line);
        for (std::size_t i = 0; i < original.size(); ++i) {
            if (original[i] == kLost && label[i] != '\r' && label[i] != '\n') {
                label[i] = kLost;
            }
        }
        part_.openEncoding = open;
        openLabel_ = HeldLine{position, label};
        openLabelWritten_ = Bytes(line);
        std::replace(openLabelWritten_.begin(), openLabelWritten_.end(), kLost, ' ');
    }

    Handled bodyLine(RepairState state, std::int64_t position, Bytes& line) {
        if (detectBoundary(position, line) == BoundaryResult::DelimiterMatched) {
            const std::size_t start = boundaries_.matchedStart;
            if (start >= 2) {
                // The body's last bytes and its line break stand before the
                // delimiter: they are the body's last line, the delimiter
                // the next one.
                Bytes head = line.substr(0, start);
                const std::optional<RepairState> kept = bodyRepair(state, position, head, true);
                line.replace(0, start, head);
                return {kept.value_or(state), start};
            }
            settlePendingBody();
            (void)repairHeldBody();
            part_.clearPartCodes();
            beginHeaderBlock();
            return {RepairState::PartHeader, repairDelimiterLineEnd(line)};
        }
        return {bodyRepair(state, position, line, false).value_or(state)};
    }

    // The repair of one body line; nullopt when a step ran past the line's end.
    std::optional<RepairState> bodyRepair(RepairState state, std::int64_t position, Bytes& line,
                                          bool endsBody) {
        switch (state) {
        case RepairState::EncodingPending:
            pendingLines_.push_back({position, line});
            if (!endsBody && !pendingShapeTells()) {
                return state;
            }
            return settleEncoding(&line, endsBody);
        case RepairState::QuotedPrintableText:
        case RepairState::Base64Text:
            heldLines_.push_back({position, line});
            heldBytes_ += line.size();
            lastHeldEndsBody_ = endsBody;
            if (heldBytes_ > kHeldBodyLimit || endsBody) {
                // This line is among those repaired; the caller writes it.
                line = repairHeldBody().back();
            }
            return state;
        case RepairState::Base64Body:
            if (holdsLost(line)) {
                (void)fillBase64Line(base64_, line, endsBody);
            } else {
                noteBase64Line(base64_, line);
            }
            return state;
        default:
            break;
        }
        if (!holdsLost(line)) {
            return state;
        }
        StepEnd end = StepEnd::Completed;
        switch (state) {
        case RepairState::JisText:
            end = repairJisLine(line, options_);
            break;
        case RepairState::SjisText:
            end = repairSjisLine(line, options_);
            break;
        case RepairState::EucText:
            end = repairEucLine(line, options_);
            break;
        default:
            // HTML and other bodies get no repair of their own.
            break;
        }
        if (end == StepEnd::PastLineEnd) {
            return std::nullopt;
        }
        return state;
    }

    // Repairs the held body on its decoded text and writes back every line
    // that comes out other than the file now holds (lines with lost bytes
    // were written with blanks for them meanwhile). Returns the lines as
    // repaired.
    std::vector<Bytes> repairHeldBody() {
        if (heldLines_.empty()) {
            return {};
        }
        std::vector<Bytes> lines;
        lines.reserve(heldLines_.size());
        for (const HeldLine& held : heldLines_) {
            lines.push_back(held.line);
        }
        if (bodyState_ == RepairState::Base64Text) {
            repairBase64TextBody(lines, lastHeldEndsBody_, textRepairerFor(bodyCharset_), options_);
        } else {
            repairQuotedPrintableTextBody(lines, bodyCharset_, options_);
        }
        for (std::size_t n = 0; n < heldLines_.size(); ++n) {
            Bytes written = heldLines_[n].line;
            std::replace(written.begin(), written.end(), kLost, ' ');
            std::replace(lines[n].begin(), lines[n].end(), kLost, ' ');
            if (lines[n] != written) {
                lines_.writeLine(heldLines_[n].position, lines[n]);
            }
        }
        heldLines_.clear();
        heldBytes_ = 0;
        lastHeldEndsBody_ = false;
        return lines;
    }

    // After a delimiter: lost bytes right after it are the "--" of a closing
    // delimiter, or held its line break and the start of the next line. The
    // index where that next line begins, or 0 when it does not begin here.
    std::size_t repairDelimiterLineEnd(Bytes& line) const {
        std::size_t i = boundaries_.matchedEnd;
        // Two bytes, dashes or lost, that end the line: a closing delimiter.
        if (i + 2 <= line.size() &&
            (ByteView(line).substr(i + 2).empty() || ByteView(line).substr(i + 2) == "\r\n")) {
            const auto dashOrLost = [](char c) { return c == '-' || c == kLost; };
            if (dashOrLost(line[i]) && dashOrLost(line[i + 1])) {
                line[i] = '-';
                line[i + 1] = '-';
                return 0;
            }
        }
        std::size_t dashes = 0;
        while (i < line.size() && line[i] == '-' && dashes < 2) {
            ++i;
            ++dashes;
        }
        if (i >= line.size() || line[i] != kLost) {
            return 0;
        }
        std::size_t j = i;
        while (j < line.size() && line[j] == kLost) {
            ++j;
        }
        const auto fillDashes = [&](std::size_t room) {
            if (dashes + room < 2) {
                return;
            }
            while (dashes < 2) {
                line[i++] = '-';
                ++dashes;
            }
        };
        if (j == line.size() || ByteView(line).substr(j) == "\r\n") {
            fillDashes(j - i);
            return 0;
        }
        // The next line began inside the lost bytes: at a header name that
        // fits them, after a surviving LF, or right where its text survived.
        std::size_t next = 0;
        // The delimiter stands before the rest, as text before a header
        // name stands in a header line.
        Bytes rest(1, '-');
        rest.append(line, i);
        const Bytes restBefore = rest;
        restoreHeaderBreak(rest);
        // Only a break inside this run counts: one put back at a later run
        // would have the blank lines below written over the text between.
        const std::size_t at = restoredBreak(restBefore, rest);
        if (at != 0 && i + at - 3 < j) {
            line.replace(i, rest.size() - 1, ByteView(rest).substr(1));
            next = i + at - 1;
        } else if (line[j] == '\n') {
            line[j - 1] = '\r';
            next = j + 1;
        } else if (j >= i + 2) {
            line[j - 2] = '\r';
            line[j - 1] = '\n';
            next = j;
        } else {
            return 0;
        }
        // Before the break: the "--" of a closing delimiter when another
        // delimiter follows, blank lines for the rest.
        const std::size_t breakAt = next - 2;
        if (ByteView(line).substr(next, 2) == "--") {
            fillDashes(breakAt - i);
        }
        for (; i + 1 < breakAt; i += 2) {
            line[i] = '\r';
            line[i + 1] = '\n';
        }
        return next;
    }

    RepairState afterHeaderLine(RepairState state, BoundaryResult found, ByteView line) {
        switch (state) {
        case RepairState::MessageHeader:
            if (found == BoundaryResult::BoundaryRecorded) {
                return RepairState::Preamble;
            }
            if (isBlank(line)) {
                return part_.openEncoding ? pendBody(RepairState::MessageHeader) : messageBody();
            }
            return RepairState::MessageHeader;
        case RepairState::Preamble:
            if (found == BoundaryResult::DelimiterMatched) {
                part_.clearPartCodes();
                return RepairState::PartHeader;
            }
            return RepairState::Preamble;
        default:
            if (found == BoundaryResult::DelimiterMatched) {
                part_.clearPartCodes();
                return RepairState::PartHeader;
            }
            return isBlank(line) ? bodyOfPart() : RepairState::PartHeader;
        }
    }

    // The body state the main header selects at its blank line.
    RepairState messageBody() {
        if (part_.transferEncoding == TransferEncoding::Base64) {
            return startBody(base64State());
        }
        if (part_.transferEncoding == TransferEncoding::QuotedPrintable && namesJapaneseText()) {
            return startBody(RepairState::QuotedPrintableText);
        }
        if (part_.contentType == PartType::TextPlain) {
            return textState(part_.charset).value_or(RepairState::MessageHeader);
        }
        if (part_.contentType == PartType::TextHtml) {
            return namesJapaneseText() ? *textState(part_.charset) : RepairState::HtmlBody;
        }
        if (part_.contentType == PartType::Message) {
            // A message whose body is a message: that one's header follows.
            return attachedMessage();
        }
        return RepairState::MessageHeader;
    }

    // An attached message begins: its header gets the header repairs.
    RepairState attachedMessage() {
        part_.clearPartCodes();
        beginHeaderBlock();
        return RepairState::MessageHeader;
    }

    void beginHeaderBlock() {
        inHeaderBlock_ = true;
        addressFields_ = {};
    }

    // The body state a part header selects at its blank line.
    RepairState bodyOfPart() {
        if (part_.openEncoding) {
            return pendBody(RepairState::PartHeader);
        }
        switch (part_.transferEncoding) {
        case TransferEncoding::Base64:
            return startBody(base64State());
        case TransferEncoding::QuotedPrintable:
            if (namesJapaneseText()) {
                return startBody(RepairState::QuotedPrintableText);
            }
            // Quoted-printable text in another charset stays under the
            // header repairs.
            if (part_.contentType != PartType::TextHtml) {
                return RepairState::PartHeader;
            }
            return part_.charset == Charset::Iso2022Jp ? RepairState::HtmlBody
                                                       : RepairState::OtherBody;
        default:
            if (part_.contentType == PartType::Message) {
                return attachedMessage();
            }
            if (part_.contentType == PartType::TextHtml && namesJapaneseText()) {
                return *textState(part_.charset);
            }
            if (part_.contentType != PartType::TextPlain) {
                return RepairState::OtherBody;
            }
            return textState(part_.charset).value_or(RepairState::PartHeader);
        }
    }

    // A text or HTML part whose own header names a Japanese charset.
    bool namesJapaneseText() const {
        return (part_.contentType == PartType::TextPlain ||
                part_.contentType == PartType::TextHtml) &&
               part_.charsetNamed && textState(part_.charset).has_value();
    }

    RepairState base64State() const {
        return namesJapaneseText() ? RepairState::Base64Text : RepairState::Base64Body;
    }

    // A body whose encoding its first lines settle: they are held, and
    // written meanwhile with blanks for their lost bytes.
    RepairState pendBody(RepairState header) {
        pendingHeader_ = header;
        pendingLines_.clear();
        return RepairState::EncodingPending;
    }

    // Whether the held lines are enough to go by: a few complete lines
    // without lost bytes, or a few more lines of any kind.
    bool pendingShapeTells() const {
        constexpr std::size_t kCleanLines = 3;
        constexpr std::size_t kMostLines = 8;
        const auto clean =
            std::count_if(pendingLines_.begin(), pendingLines_.end(), [](const HeldLine& held) {
                return !holdsLost(held.line) && held.line.ends_with("\r\n");
            });
        return static_cast<std::size_t>(clean) >= kCleanLines || pendingLines_.size() >= kMostLines;
    }

    // Settles the open encoding from the held lines' shape: base64 or
    // quoted-printable where the lines show it and the field's surviving
    // bytes allow it, its label's lost bytes filled in the file for it.
    // Where the lines show other text, the label is left unread (text under
    // a base64 label reads better so); where they tell nothing, it keeps
    // what the header repairs made of it. The held lines are then repaired
    // in the body state that follows; `current`, the last of them, in
    // place. Returns the state after it.
    RepairState settleEncoding(Bytes* current, bool endsBody) {
        const OpenEncoding open = part_.openEncoding.value_or(OpenEncoding{});
        std::vector<Bytes> lines;
        lines.reserve(pendingLines_.size());
        for (const HeldLine& held : pendingLines_) {
            lines.push_back(held.line);
        }
        const TransferEncoding shape = encodingByShape(lines);
        if (openLabel_) {
            Bytes label = openLabel_->line;
            bool write = false;
            if ((shape == TransferEncoding::Base64 && open.base64) ||
                (shape == TransferEncoding::QuotedPrintable && open.quotedPrintable)) {
                write = settleTransferEncoding(label, shape);
                part_.transferEncoding = write ? shape : part_.transferEncoding;
            } else if (shape == TransferEncoding::Other ||
                       shape == TransferEncoding::QuotedPrintable) {
                unreadLabel(label);
                write = true;
            }
            std::replace(label.begin(), label.end(), kLost, ' ');
            if (write && label != openLabelWritten_) {
                lines_.writeLine(openLabel_->position, label);
            }
        }
        part_.openEncoding.reset();
        openLabel_.reset();
        RepairState state =
            pendingHeader_ == RepairState::MessageHeader ? messageBody() : bodyOfPart();
        std::vector<HeldLine> held = std::move(pendingLines_);
        pendingLines_.clear();
        if (isHeaderState(state)) {
            // A body read under the header repairs keeps its blanks.
            return state;
        }
        const std::size_t replayed = current != nullptr ? held.size() - 1 : held.size();
        for (std::size_t n = 0; n < replayed; ++n) {
            Bytes line = held[n].line;
            state = bodyRepair(state, held[n].position, line, false).value_or(state);
            Bytes written = held[n].line;
            std::replace(written.begin(), written.end(), kLost, ' ');
            std::replace(line.begin(), line.end(), kLost, ' ');
            if (line != written) {
                lines_.writeLine(held[n].position, line);
            }
        }
        if (current != nullptr) {
            state = bodyRepair(state, held.back().position, *current, endsBody).value_or(state);
        }
        return state;
    }

    // A label the body shows to be wrong is left unread: the lost bytes of
    // its value become blanks. Where its value survived whole (base64 over
    // other text), the lost bytes of its name become the half-width
    // character, which keeps it a field of the header but not the
    // transfer encoding.
    void unreadLabel(Bytes& label) const {
        const std::size_t colon = kEncodingField.size() - 1;
        if (label.find(kLost, colon + 1) < contentLength(label)) {
            fillInWritersCase(label, 0, kEncodingField);
            return;
        }
        const unsigned halfWidth = options_.halfWidthByte;
        const bool nameByte = halfWidth > 0x20 && halfWidth < 0x7F && halfWidth != ':';
        for (std::size_t i = 0; i < colon && i < label.size(); ++i) {
            if (label[i] == kLost) {
                label[i] = nameByte ? toByte(halfWidth) : '-';
            }
        }
        if (colon < label.size() && label[colon] == kLost) {
            label[colon] = ':';
        }
    }

    // A part ends while its body is still held.
    void settlePendingBody() {
        if (!pendingLines_.empty()) {
            (void)settleEncoding(nullptr, false);
        }
    }

    RepairState startBody(RepairState state) {
        base64_ = {};
        bodyState_ = state;
        bodyCharset_ = part_.charset;
        return state;
    }

    BoundaryResult detectBoundary(std::int64_t position, Bytes& line) {
        return repair::detectBoundary(boundaries_, line, position, rewrite_);
    }

    Lines& lines_;
    const RepairOptions& options_;
    const RewriteAt rewrite_;
    PartInfo part_;
    BoundaryTable boundaries_;
    Base64Body base64_;
    // The lines of a quoted-printable or base64 text body read so far and
    // not yet repaired, their bytes in all, and whether the last of them
    // holds the body's last bytes.
    std::vector<HeldLine> heldLines_;
    std::size_t heldBytes_ = 0;
    bool lastHeldEndsBody_ = false;
    // The state and charset the body being read began with.
    RepairState bodyState_ = RepairState::OtherBody;
    Charset bodyCharset_ = Charset::None;
    bool inHeaderBlock_ = true; // no blank line yet since the header began
    // The header line read last, as repaired with its lost bytes, when two
    // lost bytes end it before its CR LF.
    std::optional<HeldLine> lostEnd_;
    // The transfer encoding field whose value the body is to settle, as
    // repaired with its lost bytes kept; the held first lines of that body,
    // and the header state whose blank line began it.
    std::optional<HeldLine> openLabel_;
    Bytes openLabelWritten_; // that line as written
    std::vector<HeldLine> pendingLines_;
    RepairState pendingHeader_ = RepairState::PartHeader;
    FieldState field_;            // what the header field read last leaves open
    AddressFields addressFields_; // of the header being read
};

// A message file through its line reader.
class FileLines {
public:
    explicit FileLines(LineReader& reader) : reader_(reader) {}
    bool readLine(LineRead& into) { return repair::readLine(reader_, into); }
    bool writeLine(std::int64_t position, ByteView line) {
        return repair::writeLine(reader_, position, line);
    }

private:
    LineReader& reader_;
};

template <typename Lines>
void repairLines(Lines& lines, const RepairOptions& options, platform::EventPoint& events) {
    MessageRepair<Lines> repair(lines, options);
    RepairState state = RepairState::MessageHeader;
    LineRead read;
    Bytes original;
    bool more = lines.readLine(read);
    while (more) {
        std::int64_t position = read.position;
        Bytes& line = read.line; // its buffer serves the next line too
        // Lines without lost bytes are never changed here.
        original.clear();
        if (holdsLost(line)) {
            original = line;
        }
        std::size_t offset = 0; // of the line being handled, in what was read
        // A line whose lost bytes held a line break is handled as the lines
        // it holds, one after the other.
        for (;;) {
            const Handled handled =
                repair.handle(state, position, line,
                              original.empty() ? ByteView() : ByteView(original).substr(offset));
            state = handled.next;
            const std::size_t end = handled.splitAt != 0 ? handled.splitAt : line.size();
            if (!original.empty()) {
                // What no repair could fill becomes a blank.
                Bytes own = line.substr(0, end);
                std::replace(own.begin(), own.end(), kLost, ' ');
                if (own != ByteView(original).substr(offset, end)) {
                    lines.writeLine(position, own);
                }
            }
            if (handled.splitAt == 0 || handled.splitAt >= line.size()) {
                break;
            }
            position += static_cast<std::int64_t>(handled.splitAt);
            offset += handled.splitAt;
            line.erase(0, handled.splitAt);
        }
        more = lines.readLine(read);
        events.processEvents();
    }
    repair.finish();
}

} // namespace

RestoredCounts repairMessageFile(const std::filesystem::path& file, const RepairOptions& options,
                                 platform::EventPoint& events) {
    RestoredCounts restored;
    restored.twinPart = restoreTwinPartsInFile(file);
    auto reader = openLineReader(file);
    if (!reader) {
        return restored;
    }
    FileLines lines(*reader);
    repairLines(lines, options, events);
    closeLineReader(*reader);
    return restored;
}

RestoredCounts repairMessage(Bytes& message, const RepairOptions& options,
                             platform::EventPoint& events) {
    RestoredCounts restored;
    restored.twinPart = restoreTwinParts(message);
    MessageLines lines(message);
    repairLines(lines, options, events);
    return restored;
}

} // namespace keldor::repair
