#include "charset/transfer_decoding.h"

#include "platform/text.h"

#include <algorithm>
#include <cstdint>

namespace keldor::charset {

Bytes decodeBase64(TextView encoded) {
    const std::size_t length = encoded.size();
    // 3 * length / 4, rounded half to even.
    const std::size_t whole = 3 * length / 4;
    const std::size_t quarters = 3 * length % 4;
    std::size_t wanted = whole;
    if (quarters == 3 || (quarters == 2 && whole % 2 != 0)) {
        ++wanted;
    }
    if (encoded.ends_with(u"==")) {
        wanted = wanted >= 2 ? wanted - 2 : 0;
    } else if (encoded.ends_with(u"=")) {
        wanted = wanted >= 1 ? wanted - 1 : 0;
    }

    Bytes out;
    out.reserve(wanted + 3);
    std::uint32_t accumulator = 0;
    for (std::size_t i = 0; i < length && out.size() < wanted; ++i) {
        accumulator +=
            static_cast<std::uint32_t>(std::max(platform::base64DigitValue(encoded[i]), 0));
        if (i % 4 == 3) {
            out += toByte((accumulator >> 16) & 0xFF);
            out += toByte((accumulator >> 8) & 0xFF);
            out += toByte(accumulator & 0xFF);
            accumulator = 0;
        } else {
            accumulator *= 64;
        }
    }
    out.resize(wanted, '\0');
    return out;
}

Bytes decodeQuotedPrintable(TextView encoded) {
    Bytes out;
    out.reserve(encoded.size());
    const std::size_t n = encoded.size();
    std::size_t i = 0;
    while (i < n) {
        const char16_t c = encoded[i];
        if (c == u'=' && i + 2 < n) {
            const char16_t first = encoded[i + 1];
            const char16_t second = encoded[i + 2];
            if (first != u'\r' || second != u'\n') {
                // Up to two hexadecimal digits; the first other character ends the number.
                unsigned value = 0;
                const int high = platform::hexDigitValue(first);
                if (high >= 0) {
                    value = static_cast<unsigned>(high);
                    const int low = platform::hexDigitValue(second);
                    if (low >= 0) {
                        value = value * 16 + static_cast<unsigned>(low);
                    }
                }
                out += toByte(value);
            }
            i += 3;
            continue;
        }
        out += toByte(c & 0xFFu);
        ++i;
    }
    return out;
}

} // namespace keldor::charset
