#pragma once
// The header-field names (and a few whole header lines) that lost bytes at
// the start of a header line are most often taken from, and the two repairs
// that put them back.

#include "platform/bytes.h"

#include <array>
#include <string_view>

namespace keldor::repair {

// Compared without regard to letter case; a name put back follows the case
// of its surviving letters. Longer names come before shorter ones that begin
// the same way, so the longest fitting name wins.
inline constexpr std::array<std::string_view, 34> HeaderNames = {
    "This is a multi-part message in MIME format.",
    "Content-Transfer-Encoding: quoted-printable",
    "Content-Type: multipart/alternative;",
    "Content-Transfer-Encoding: base64",
    "Content-Disposition: attachment;",
    "Content-Type: multipart/mixed;",
    "Content-Transfer-Encoding: ",
    "Content-Type: application/",
    "X-Authentication-Warning: ",
    "Content-Type: text/plain;",
    "Content-Type: text/html;",
    "Content-Type: multipart/",
    "X-OriginalArrivalTime: ",
    "X-MIME-Autoconverted: ",
    "Content-Disposition: ",
    "X-MSMail-Priority: ",
    "Thread-Index: ",
    "Delivered-To: ",
    "MIME-Version: ",
    "Content-Type: ",
    "Thread-Topic: ",
    "Return-Path: ",
    "In-Reply-To: ",
    "References: ",
    "x-sendmail: ",
    "Message-Id: ",
    "X-Priority: ",
    "Importance: ",
    "X-MimeOLE: ",
    "X-Mailer: ",
    "Received: ",
    "Subject: ",
    "X-WBMD: ",
    "Status: ",
};

// Names a lost line break is put back before as well, though a line's lost
// first bytes are not filled from them: too short, or too many alike, to
// tell from a few surviving letters.
inline constexpr std::array<std::string_view, 10> BreakOnlyNames = {
    "Content-Description: ",
    "Content-Language: ",
    "Content-Location: ",
    "Content-Class: ",
    "Content-ID: ",
    "Organization: ",
    "Reply-To: ",
    "Sender: ",
    "From: ",
    "Date: ",
};

// Fills lost (0x00) bytes at the start of a header line from the names that
// fit it, letter case aside, a lost byte fitting any character; each lost
// letter in the case the line's surviving letters show. Stops at the first
// name the line already holds intact. A line starting with a blank or tab continues the
// previous field and is left alone. Only lost bytes change; the size never does.
void completeHeaderName(Bytes& line);

// Where the lost bytes inside a line covered the CR LF ending one header
// field and the first characters of the next field's name, puts back the
// line break and the name. A name at the very start of the line is left to
// completeHeaderName, and so is a name inside a quoted string (`quoteOpen`:
// one is open where the line starts). Only lost bytes change; the size
// never does.
void restoreHeaderBreak(Bytes& line, bool quoteOpen = false);

} // namespace keldor::repair
