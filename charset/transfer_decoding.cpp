#include "charset/transfer_decoding.h"

namespace keldor::charset {

namespace {

unsigned base64Value(char16_t c) {
    if (c >= u'A' && c <= u'Z') {
        return c - u'A';
    }
    if (c >= u'a' && c <= u'z') {
        return c - u'a' + 26;
    }
    if (c >= u'0' && c <= u'9') {
        return c - u'0' + 52;
    }
    if (c == u'+') {
        return 62;
    }
    if (c == u'/') {
        return 63;
    }
    return 0;
}

// Value of a hexadecimal digit, or -1.
int hexValue(char16_t c) {
    if (c >= u'0' && c <= u'9') {
        return c - u'0';
    }
    if (c >= u'A' && c <= u'F') {
        return c - u'A' + 10;
    }
    if (c >= u'a' && c <= u'f') {
        return c - u'a' + 10;
    }
    return -1;
}

} // namespace

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
        accumulator += base64Value(encoded[i]);
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
                const int high = hexValue(first);
                if (high >= 0) {
                    value = static_cast<unsigned>(high);
                    const int low = hexValue(second);
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
