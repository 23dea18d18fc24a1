#pragma once
// Follows the MIME structure of a message while it is read line by line:
// which boundaries its headers declare, where their delimiter lines stand,
// and what each header says about the body after it. Fills lost (0x00)
// bytes of the structure lines on the way, never anything else, and never
// changes a line's size.

#include "platform/bytes.h"
#include "repair/part_codes.h"

#include <cstdint>
#include <functional>
#include <optional>
#include <vector>

namespace keldor::repair {

// The kinds of transfer encoding that fit a Content-Transfer-Encoding field
// with lost bytes.
struct OpenEncoding {
    bool base64 = false;
    bool quotedPrintable = false;
    bool other = false; // 7bit, 8bit or binary
};

// What the header being read says about the body that follows, as the codes
// the repair of each body is chosen by.
struct PartInfo {
    PartType contentType = PartType::None;
    Charset charset = Charset::None;
    TransferEncoding transferEncoding = TransferEncoding::None;
    bool charsetPending = false; // a charset parameter may stand on this or a following line
    bool charsetNamed = false;   // this part's own header named the charset of `charset`
    // Set where the transfer encoding field lost bytes and the body's shape
    // is to settle which encoding it named (openTransferEncoding).
    std::optional<OpenEncoding> openEncoding;

    // At a part boundary: the next part's header starts afresh, but a part
    // that names no charset keeps the previous part's.
    void clearPartCodes() {
        contentType = PartType::None;
        transferEncoding = TransferEncoding::None;
        charsetPending = false;
        charsetNamed = false;
        openEncoding.reset();
    }
};

// How a boundary parameter was written, which decides how its delimiter
// lines are found.
enum class BoundaryForm {
    // `boundary="` and a 41-byte value beginning with dashes, as Outlook
    // Express writes it: its delimiter lines are found by the pieces of
    // "------=_NextPart" that survived.
    OutlookExpress,
    // Any other value, quoted or not, of any length: its delimiter lines are
    // found by the value itself.
    Other,
};

// A boundary declared by a header line, and that line as it was repaired.
struct BoundaryEntry {
    Bytes delimiter;               // "--" and the boundary value; may hold lost bytes
    std::int64_t linePosition = 0; // 0-based offset in the file of the header line
    Bytes headerLine;              // the header line, lost bytes it still lacks kept as 0x00
    std::size_t paramStart = 0;    // index in headerLine of the "b" of "boundary"
    std::size_t valueStart = 0;    // index in headerLine of the value's first byte
    BoundaryForm form = BoundaryForm::OutlookExpress;
    // The last this many bytes of `delimiter` are lost bytes that ended the
    // header line and may not belong to the value: its first delimiter line
    // tells how many do.
    std::size_t looseEnd = 0;
    std::size_t lastSeen =
        0;               // when it was recorded or its delimiter last met (BoundaryTable::events)
    bool closed = false; // its closing delimiter has been met
};

// Which line of a multipart Content-Type field is being read, while no
// boundary was recorded after the type: the boundary parameter is looked for
// on all of them.
enum class MultipartState {
    None,             // no such field is being read
    TypeLine,         // the line holds the multipart content type
    LineAfterType,    // the line after it
    ContinuationLine, // a further continuation line of that field
};

struct BoundaryTable {
    MultipartState multipartState = MultipartState::None;
    std::vector<BoundaryEntry> entries; // in the order recorded
    std::size_t events = 0;             // boundaries recorded and delimiters met so far
    // After DelimiterMatched: the 0-based indices in the line of the
    // delimiter's first byte and of the byte just past it.
    std::size_t matchedStart = 0;
    std::size_t matchedEnd = 0;
};

enum class BoundaryResult {
    NoMatch = 0,          // nothing structural on this line
    MultipartSeen = 1,    // a multipart content type without a usable boundary parameter
    BoundaryRecorded = 2, // a boundary parameter was found, repaired and recorded
    DelimiterMatched = 3, // the line is a delimiter line of a recorded boundary
};

// Writes bytes over the file from a 0-based offset; false when it could not.
using RewriteAt = std::function<bool(std::int64_t position, ByteView bytes)>;

// Records boundary parameters on a multipart Content-Type line and the line
// after it: Outlook Express's own form (lower-case `boundary="--` and 41
// bytes) as that program writes it, and any other form by its value (quoted
// or not, of any length, the parameter name in any letter case). Recognises
// delimiter lines of recorded boundaries even when their first bytes are
// lost. Lost bytes of a delimiter line are filled from the recorded
// boundary; lost bytes of the boundary in its header line are learnt from
// the delimiter line and written into the file at the header line's place
// through `rewrite` (only those bytes). Reads and writes stay inside the
// line.
BoundaryResult detectBoundary(BoundaryTable& table, Bytes& line, std::int64_t linePosition,
                              const RewriteAt& rewrite);

// Fills the lost letters of a Content-Type value in a header line where
// exactly one of the common content types fits it (at least half of its
// letters and some of its subtype's surviving; where several fit, the one
// the extension of a name parameter on the line names), in the letter case
// of the letter before them, and a lost ";" after it where the line ends
// there or a blank follows. A lost byte after the colon is the type's
// first letter where only that reading fits, otherwise the blank.
void completeContentType(Bytes& line);

// A header line whose boundary parameter is followed, on the same line, by
// four lost bytes and that boundary's delimiter: they held the line break
// and the blank line that ends the header.
void restoreBlankBeforeDelimiter(Bytes& line);

// Fills the lost bytes of a Content-Transfer-Encoding field (with or
// without a blank after its colon) where one encoding alone fits what
// survives of its name and value; a line where none or several fit is
// left alone.
void completeTransferEncoding(Bytes& line);

// A Content-Transfer-Encoding field as read, with lost bytes: the kinds
// that fit it, where its body's shape should settle which one it named:
// several kinds fit what survives of its value, or base64 fits (other
// text under a base64 label reads better with the label left unread, its
// name hit or its value). nullopt for any other line, and where one kind
// other than base64 alone fits.
std::optional<OpenEncoding> openTransferEncoding(ByteView line);

// What the first lines of a body (as read, CR LF and lost bytes kept) show
// of its transfer encoding: Base64 where they begin with a run of at least
// two lines of one length from the base64 alphabet (what follows the run,
// such as a list's footer, does not count); QuotedPrintable for lines of
// at most 76 characters with =XX codes, soft line breaks and no other "=";
// Other where the first line holds a byte that no base64 line holds; None
// where the lines do not tell. Lengths and codes are taken from complete
// lines without lost bytes only.
TransferEncoding encodingByShape(const std::vector<Bytes>& lines);

// Fills the lost bytes of a Content-Transfer-Encoding field as the one
// encoding of kind `code` that fits it, once the body has settled the
// kind; false, changing nothing, where no or several such encodings fit.
bool settleTransferEncoding(Bytes& line, TransferEncoding code);

// Updates `info` from one header line (content type, with or without a
// blank after the colon; transfer encoding, read as
// completeTransferEncoding reads it; charset) and fills lost bytes
// of a charset parameter naming iso-2022-jp, shift_jis or euc-jp; a value lost whole becomes
// "iso-2022-jp". Other charsets leave the charset code unchanged.
void detectPartInfo(PartInfo& info, Bytes& line);

} // namespace keldor::repair
