#pragma once
// Letter case folding for names compared without regard to case: registry
// key and value names, drive letters, mailbox file names, and the field and
// parameter names of mail headers.

#include "platform/bytes.h"

namespace keldor::platform {

// ASCII letters A-Z to a-z; every other code unit unchanged. Names of the
// registry and of mailbox files that matter here are ASCII or Japanese,
// which has no case.
inline Text foldCase(TextView text) {
    Text folded(text);
    for (char16_t& c : folded) {
        if (c >= u'A' && c <= u'Z') {
            c = static_cast<char16_t>(c - u'A' + u'a');
        }
    }
    return folded;
}

// The same folding for one byte of mail: A-Z to a-z, every other byte as it is.
inline unsigned foldByte(unsigned c) {
    return c >= 'A' && c <= 'Z' ? c + ('a' - 'A') : c;
}

inline bool isUpperByte(unsigned c) {
    return c >= 'A' && c <= 'Z';
}

inline bool isLowerByte(unsigned c) {
    return c >= 'a' && c <= 'z';
}

// Whether two byte strings are equal once folded.
inline bool equalsFolded(ByteView a, ByteView b) {
    if (a.size() != b.size()) {
        return false;
    }
    for (std::size_t i = 0; i < a.size(); ++i) {
        if (foldByte(byteAt(a, i)) != foldByte(byteAt(b, i))) {
            return false;
        }
    }
    return true;
}

// Whether `text` begins with `prefix`, letter case aside.
inline bool startsWithFolded(ByteView text, ByteView prefix) {
    return text.size() >= prefix.size() && equalsFolded(text.substr(0, prefix.size()), prefix);
}

} // namespace keldor::platform
