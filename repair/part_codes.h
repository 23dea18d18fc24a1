#pragma once
// What a part's header says about its body, as far as the repairs choose by
// it: the content type, the Japanese charset and the transfer encoding.

namespace keldor::repair {

enum class PartType {
    None,      // no Content-Type read yet
    TextPlain, // text/plain
    TextHtml,  // text/html
    Message,   // message/rfc822
    Other,     // any other type
};

// The charsets whose text gets a repair of its own; any other leaves the
// charset read before it in force.
enum class Charset {
    None, // none read yet
    Iso2022Jp,
    ShiftJis,
    EucJp,
};

enum class TransferEncoding {
    None, // no Content-Transfer-Encoding read yet
    Base64,
    QuotedPrintable,
    Other, // any other encoding
};

} // namespace keldor::repair
