#pragma once
// Letter case folding for names that Windows compares without regard to
// case: registry key and value names, drive letters, mailbox file names.

#include "platform/bytes.h"

namespace keldor::platform {

// ASCII letters A-Z to a-z; every other code unit unchanged. Names of the
// registry and of mailbox files that matter here are ASCII or Japanese,
// which has no case.
inline Text foldCase(TextView text) {
    Text folded(text);
    for (char16_t &c : folded) {
        if (c >= u'A' && c <= u'Z') {
            c = static_cast<char16_t>(c - u'A' + u'a');
        }
    }
    return folded;
}

} // namespace keldor::platform
