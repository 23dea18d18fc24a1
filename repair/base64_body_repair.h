#pragma once
// Fills the lost bytes of base64 bodies so that every surviving character
// still decodes to its own bytes: a lost byte becomes the line break that the
// body's line length puts there, or a base64 character at its own place in
// its group of four. Base64 text in a Japanese charset gets its decoded text
// repaired as well, and encoded back into the same places.

#include "repair/japanese_text_repair.h"
#include "repair/repair_options.h"

#include <vector>

namespace keldor::repair {

// Outlook Express writes 76 characters to a base64 line; a body whose line
// length is not yet known from a complete line is taken to do the same.
inline constexpr std::size_t kBase64LineLength = 76;

// What the lines of one base64 body read so far teach about the next ones.
struct Base64Body {
    std::size_t lineLength = 0; // characters per line, from its complete lines; 0 while unknown
    std::size_t phase = 0;      // base64 characters and padding so far, modulo 4
    // A line showed a byte that base64 text never holds (a blank, most
    // often): the body is other text under a base64 label, and its lost
    // bytes are left alone, since a character put in where a blank stood
    // would move every byte decoded after it.
    bool notBase64 = false;
    // The CRs before each LF of its complete lines: 1, or 2 where a writer
    // ends its lines CR CR LF.
    std::size_t crsBeforeLf = 1;
};

// Learns from a line of the body that holds no lost byte.
void noteBase64Line(Base64Body& body, ByteView line);

// Fills the lost bytes of one line of a base64 body, as read (it starts at
// the start of a body line and may hold the next line too where the line
// break between them was lost): CR or LF next to a surviving LF or CR and
// where the line length puts the break, otherwise the character "A". With
// `endsBody` the line holds the body's last bytes (its delimiter followed
// it on the same line and took its own CR LF): lost characters that its
// last group still needs become padding and the rest line breaks. In a
// body that is not base64 (Base64Body::notBase64, this line included) it
// fills nothing. Only lost bytes change; the size never does. Returns the
// 0-based indices of the bytes it made base64 characters.
std::vector<std::size_t> fillBase64Line(Base64Body& body, Bytes& line, bool endsBody = false);

// Repairs a whole base64 body of text in a Japanese charset, its lines as
// read with their lost bytes still 0x00: fills them as fillBase64Line does
// (the line length learnt from all of the body's complete lines), decodes
// the body while tracking which bytes depended on a lost character, repairs
// each decoded text line with `repairText` and encodes the groups whose
// bytes changed back into the same places. Surviving characters of those
// groups may change; padding, line breaks and sizes never do. A body with
// anything but base64 characters, padding and line breaks in its lines is
// left as it is.
// `lastEndsBody`: the last line holds the body's last bytes, as above.
void repairBase64TextBody(std::vector<Bytes>& lines, bool lastEndsBody, TextRepairer repairText,
                          const RepairOptions& options);

} // namespace keldor::repair
