#pragma once
// Repairs of single header lines beyond their names and line breaks: what
// keeps a damaged field a field for a mail program, and the blank line that
// ends a part's header where a lost run took it. Each changes only lost
// (0x00) bytes and never a line's size.

#include "platform/bytes.h"

namespace keldor::repair {

// What a header field leaves open at a place inside it: a quoted string, or
// a parameter list (of a Content-Type or Content-Disposition field) whose
// next parameter is still to come. The field cannot have ended there.
struct FieldState {
    bool parameters = false;      // the field takes parameters
    bool inQuotes = false;        // a quoted string is open
    bool awaitsParameter = false; // a ";" or "=" is the last thing written
};

// The state after `text`, the start of a header line or all of it: a line
// starting with a blank or tab goes on from `before`, any other starts a
// field afresh. Lost bytes count as nothing written.
[[nodiscard]] FieldState fieldStateAfter(ByteView text, FieldState before);

// Whether a header field whose line holds `text` before a place, the line
// having begun in state `before`, can have ended at that place.
[[nodiscard]] bool fieldMayEndAfter(ByteView text, FieldState before);

// Lost bytes in the name of a header field become the half-width character
// (or "-" where that is no name character): as blanks they would end the
// header for a mail program. A line starting with a blank or tab, or
// without a colon, is left alone.
void keepFieldName(Bytes& line, unsigned halfWidth);

// A header line without a colon before its first blank, whose first lost
// byte follows a field name: that byte becomes the colon.
void restoreFieldColon(Bytes& line);

// A header line that starts with a common field name, whole, and lost bytes
// right after it: they held the colon and the blank that follow a name.
// Of a Date field, the lost letters of the weekday where one day fits.
// A longer name that merely begins with the known one (Received-SPF) and
// an mbox "From " separator line are left alone.
void restoreColonAfterName(Bytes& line);

// A header line whose first letters survive, then lost bytes: where just
// one common field name begins with those letters and fits what follows
// the run (the rest of the name and its colon, or, the run having taken
// the name's end, anything), the run gets the rest of the name, in its
// writer's letter case, and the colon where it took that too.
// "Da" and four lost bytes before "Wed, 4 Dec" become "Date:" and one lost
// byte, which restoreColonAfterName then makes the blank.
void restoreNameTail(Bytes& line);

// The From, To and Cc fields a header has held so far, and whether its last field
// may go on: a list of addresses that a comma left open, or an address field
// ("From: Taro") whose address is still to come.
struct AddressFields {
    bool from = false;
    bool to = false;
    bool cc = false;
    bool listOpen = false;
    bool addressAwaited = false; // an address field that holds no address yet
    void note(ByteView line);
};

// A header line whose first four bytes, all lost, were a two-letter name,
// its colon and its blank, and whose value is an address
// ("\0\0\0\0taro@example.jp"): To where the header holds none yet, Cc where
// it holds a To but no Cc. The value must begin with a quoted name, an
// address in angle brackets or a bare address; not where the field before
// may go on, nor before the words that go on a Received field.
void restoreAddressFieldName(Bytes& line, const AddressFields& seen);

// A From field's name lost whole before its colon, or all but its first
// letter with the colon, where the value holds an address and the header no
// From yet.
void restoreFromName(Bytes& line, const AddressFields& seen);

// A lost run inside a header field that holds an address, before what
// survives of "To: " (or of "Cc: " once the header holds a To) and an
// address: the run held the line break and the name's first letter, and
// the ">" of an address it left open.
void restoreBreakBeforeAddressField(Bytes& line, const AddressFields& seen);

// A value that is a date as mail writes it ("Sun, 25 May 2008 14:38",
// "9 Jan 98 10:00"): a name or an address never is.
[[nodiscard]] bool isDateValue(ByteView value);

// A header line whose name lost bytes, anywhere in it, before a colon that
// survived: where just one known name fits what survives ("\0\0\0e: Sun"
// is Date, "DKIM-Sig\0\0\0\0ure:" DKIM-Signature), its lost letters, in the
// case of the surviving ones; four lost before the colon and a date after
// it are a Date field's.
void restoreLostNameLetters(Bytes& line);

// A quoted string open before a run of three or more lost bytes that no
// quote closes after it, where the text after the run is a field name and
// its colon ("...8241290969717285" and four lost before "X-Laziness-Level:
// 1000"): the run held the closing quote and the line break, the value's
// last byte before them staying lost. Where the text after the run starts
// with no capital letter, the run took the next name's first letter too.
// `quoteOpen`: a string is open where the line starts.
void restoreBreakAfterOpenQuote(Bytes& line, bool quoteOpen);

// A lost byte before a surviving LF becomes CR, one after a surviving CR
// becomes LF: a header line holds no bare CR or LF.
void restoreHeaderLineBreaks(Bytes& line);

// Whether text that follows lost bytes at the start of a header line can be
// the rest of a header field: the rest of a field name and its colon, or
// the rest of a parameter of a folded field ("name=", "charset=" ...).
[[nodiscard]] bool continuesHeader(ByteView text);

// A Content-Transfer-Encoding line whose value is whole, then two lost
// bytes and a CR LF: the two were its own CR LF, and the CR LF ends a
// blank line, the header's last.
void restoreBlankAfterEncoding(Bytes& line);

// A line of a part header that goes on after lost bytes with what cannot
// be a header field (for a base64 body, `base64`: base64 text only): the
// lost bytes held the blank line that ends the header, and the line break
// before it where the run stands inside the line. The line breaks go back;
// the rest of the line is the body's first. Never where the field cannot
// have ended (`before`: the state the previous line left): inside a quoted
// string or a parameter list still open, nor, for a text body, inside a
// word of a continuation line.
void restoreBlankBeforeBody(Bytes& line, bool base64, FieldState before = {});

} // namespace keldor::repair
