#pragma once
// Repairs one written message file in place, line by line.

#include "platform/event_point.h"
#include "repair/repair_options.h"
#include "repair/restored_counts.h"

#include <filesystem>

namespace keldor::repair {

// Where the line being read stands in the message; it decides which repair
// a line with lost bytes gets.
enum class RepairState {
    MessageHeader =
        0,          // the main header, and the body of a message whose type selects no body state
    Preamble = 1,   // after a multipart boundary was declared, up to the first delimiter line
    PartHeader = 2, // the header of a body part
    JisText = 10,   // a text/plain body in ISO-2022-JP
    SjisText = 11,  // a text/plain body in Shift_JIS
    EucText = 12,   // a text/plain body in EUC-JP
    HtmlBody = 20,  // an HTML body that gets no text repair
    QuotedPrintableText = 21, // a quoted-printable text or HTML body in a Japanese charset
    Base64Body = 30,
    Base64Text = 31, // a base64 text or HTML body in a Japanese charset
    // The first lines of a body whose transfer encoding field lost bytes of
    // its value: held until their shape settles the encoding.
    EncodingPending = 32,
    OtherBody = 40,
};

// Reads the closed message file back and rewrites, at the same length, every
// line that holds a lost (0x00) byte: header lines get their names, line
// breaks, encoded words, boundaries and charsets back; Japanese text bodies
// get their text repaired, quoted-printable and base64 ones on their decoded
// text; base64 bodies get the line breaks and characters that keep every
// surviving character in place; whatever is still lost becomes a blank.
// Where a lost run held a line break, the two lines are repaired as two.
// Lines without lost bytes are written only where a repair of the text
// around a lost byte reaches into them. Never changes the file's size; never
// reports an error: a file that cannot be opened is left as written, and a
// read that fails ends the file's repair. Lets the window process pending
// events after every line. Returns the lost bytes it brought back from a
// second copy of them.
RestoredCounts repairMessageFile(const std::filesystem::path& file, const RepairOptions& options,
                                 platform::EventPoint& events);

// Repairs a whole message held in memory exactly as repairMessageFile
// repairs a file holding the same bytes: the same lines, the same bytes
// changed, the same events, the same counts.
RestoredCounts repairMessage(Bytes& message, const RepairOptions& options,
                             platform::EventPoint& events);

} // namespace keldor::repair
