#include "engine/repair_pipeline.h"

#include "engine/header_names.h"
#include "engine/line_reader.h"
#include "repair/encoded_word_repair.h"
#include "repair/japanese_text_repair.h"
#include "repair/mime_structure.h"

#include <algorithm>
#include <optional>

namespace keldor::engine {

namespace {

using repair::BoundaryResult;
using repair::StepEnd;

bool holdsLost(ByteView line) {
    return line.find('\0') != ByteView::npos;
}

bool isBlank(ByteView line) {
    return line == "\r\n";
}

bool isHeaderState(RepairState state) {
    return state == RepairState::MessageHeader || state == RepairState::Preamble ||
           state == RepairState::PartHeader;
}

// The text body state for a charset code, if it has one.
std::optional<RepairState> textState(char charset) {
    switch (charset) {
    case 'J':
        return RepairState::JisText;
    case 'S':
        return RepairState::SjisText;
    case 'E':
        return RepairState::EucText;
    default:
        return std::nullopt;
    }
}

// The per-message structure and the repairs that follow it, one line at a
// time, over a file or over a message in memory.
template <typename Lines> class MessageRepair {
public:
    MessageRepair(Lines& lines, const repair::RepairOptions& options)
        : lines_(lines), options_(options), rewrite_([this](std::int64_t at, ByteView bytes) {
              return lines_.writeLine(at, bytes);
          }) {}

    // Repairs the line in place and returns the state of the next line. A
    // step that would run past the line's end ends the line's repair and
    // leaves the state as it was.
    RepairState handle(RepairState state, std::int64_t position, Bytes& line) {
        const auto next = isHeaderState(state) ? headerLine(state, position, line)
                                               : bodyLine(state, position, line);
        return next.value_or(state);
    }

private:
    std::optional<RepairState> headerLine(RepairState state, std::int64_t position, Bytes& line) {
        if (holdsLost(line)) {
            completeHeaderName(line);
            restoreHeaderBreak(line);
            if (repair::repairEncodedWord(line, options_) == StepEnd::PastLineEnd) {
                return std::nullopt;
            }
        }
        const BoundaryResult found = detectBoundary(position, line);
        repair::detectPartInfo(part_, line);
        return afterHeaderLine(state, found, line);
    }

    std::optional<RepairState> bodyLine(RepairState state, std::int64_t position, Bytes& line) {
        if (detectBoundary(position, line) == BoundaryResult::DelimiterMatched) {
            part_.clearPartCodes();
            return RepairState::PartHeader;
        }
        if (!holdsLost(line)) {
            return state;
        }
        StepEnd end = StepEnd::Completed;
        switch (state) {
        case RepairState::JisText:
            end = repair::repairJisLine(line, options_);
            break;
        case RepairState::SjisText:
            end = repair::repairSjisLine(line, options_);
            break;
        case RepairState::EucText:
            end = repair::repairEucLine(line, options_);
            break;
        default:
            // HTML, base64 and other bodies get no repair of their own.
            break;
        }
        if (end == StepEnd::PastLineEnd) {
            return std::nullopt;
        }
        return state;
    }

    RepairState afterHeaderLine(RepairState state, BoundaryResult found, ByteView line) {
        switch (state) {
        case RepairState::MessageHeader:
            if (found == BoundaryResult::BoundaryRecorded) {
                return RepairState::Preamble;
            }
            if (isBlank(line)) {
                if (part_.contentType == 'T') {
                    return textState(part_.charset).value_or(RepairState::MessageHeader);
                }
                if (part_.contentType == 'H') {
                    return RepairState::HtmlBody;
                }
            }
            return RepairState::MessageHeader;
        case RepairState::Preamble:
            if (found == BoundaryResult::DelimiterMatched) {
                part_.clearPartCodes();
                return RepairState::PartHeader;
            }
            return RepairState::Preamble;
        default:
            return isBlank(line) ? bodyOfPart() : RepairState::PartHeader;
        }
    }

    // The body state a part header selects at its blank line.
    RepairState bodyOfPart() const {
        switch (part_.transferEncoding) {
        case 'B':
            return RepairState::Base64Body;
        case 'P':
            // Quoted-printable text stays under the header repairs.
            if (part_.contentType != 'H') {
                return RepairState::PartHeader;
            }
            return part_.charset == 'J' ? RepairState::HtmlBody : RepairState::OtherBody;
        default:
            if (part_.contentType != 'T') {
                return RepairState::OtherBody;
            }
            return textState(part_.charset).value_or(RepairState::PartHeader);
        }
    }

    BoundaryResult detectBoundary(std::int64_t position, Bytes& line) {
        return repair::detectBoundary(boundaries_, line, position, rewrite_);
    }

    Lines& lines_;
    const repair::RepairOptions& options_;
    const repair::RewriteAt rewrite_;
    repair::PartInfo part_;
    repair::BoundaryTable boundaries_;
};

// A message file through its line reader.
class FileLines {
public:
    explicit FileLines(LineReader& reader) : reader_(reader) {}
    bool readLine(LineRead& into) { return engine::readLine(reader_, into); }
    bool writeLine(std::int64_t position, ByteView line) {
        return engine::writeLine(reader_, position, line);
    }

private:
    LineReader& reader_;
};

template <typename Lines>
void repairLines(Lines& lines, const repair::RepairOptions& options, RunView& view) {
    MessageRepair<Lines> repair(lines, options);
    RepairState state = RepairState::MessageHeader;
    LineRead read;
    bool more = lines.readLine(read);
    while (more) {
        const bool heldLost = holdsLost(read.line);
        state = repair.handle(state, read.position, read.line);
        if (heldLost) {
            // What no repair could fill becomes a blank.
            std::replace(read.line.begin(), read.line.end(), '\0', ' ');
            lines.writeLine(read.position, read.line);
        }
        more = lines.readLine(read);
        view.processEvents();
    }
}

} // namespace

void repairMessageFile(const std::filesystem::path& file, const repair::RepairOptions& options,
                       RunView& view) {
    auto reader = openLineReader(file);
    if (!reader) {
        return;
    }
    FileLines lines(*reader);
    repairLines(lines, options, view);
    closeLineReader(*reader);
}

void repairMessage(Bytes& message, const repair::RepairOptions& options, RunView& view) {
    MessageLines lines(message);
    repairLines(lines, options, view);
}

} // namespace keldor::engine
