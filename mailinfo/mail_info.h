#pragma once
// The subject and the date of a written message, taken from its header.

#include "platform/bytes.h"

#include <filesystem>

namespace keldor::mailinfo {

// What readMailInfo found. Each is content from the header or a marker.
struct MailInfo {
    Text subject;  // decoded; may be empty, may hold line breaks and characters
                   // file names cannot hold; or kNoSubject, kUnreadable
    Text dateText; // "YYYY/MM/DD hh:mm:ss" from parseMailDate, or one of its markers
};

inline constexpr std::u16string_view kNoSubject = u"(件名なし)"; // no "subject: " label
inline constexpr std::u16string_view kUnknownDate = u"(不明)";   // no date label, or too few fields
inline constexpr std::u16string_view kDamagedDate = u"(破損)"; // no month name where one may stand
inline constexpr std::u16string_view kUnreadable = u"[不明]";  // reading or decoding failed

// The header's share of a message file that is read: its first 64 KiB.
inline constexpr std::size_t kHeaderReadLimit = 65536;

// Reads the first 64 KiB of the file as code page 932 and takes from the
// header block (up to the blank line, keeping the CR that ends the last
// header line) the first "subject: " (unfolded and decoded), and the date
// from the first "received: " (unfolded) or, without one, from the first
// "date: " (first line only). Labels are found anywhere, without regard to
// case, and include their blank. Never fails: a file that cannot be read
// gives kUnreadable for both; a subject that does not decode gives
// kUnreadable for both, since the date is not read after it.
[[nodiscard]] MailInfo readMailInfo(const std::filesystem::path& messageFile);

// What readMailInfo gives for a file that holds `message`: only its first
// kHeaderReadLimit bytes are looked at.
[[nodiscard]] MailInfo mailInfoOf(ByteView message);

// The header block of a message's first bytes as text: up to and including
// the CR of the first CR LF CR LF (all of it when there is none), converted
// as code page 932. The same text as converting every byte and cutting the
// text after that CR.
[[nodiscard]] Text headerBlock(ByteView head);

// "YYYY/MM/DD hh:mm:ss" from a Date or Received value, through the first
// month name (" jan " … " dec ", in calendar order, not at the first four
// characters) and the fields day, month, year, time that start two
// characters before it. The year is copied as written and the time is
// padded on the left to eight characters; no zone is applied.
// kDamagedDate without a month name, kUnknownDate with fewer than five fields.
[[nodiscard]] Text parseMailDate(TextView value);

} // namespace keldor::mailinfo
