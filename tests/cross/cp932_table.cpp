// Prints what the code page 932 codec of this build makes of every single
// byte, every two-byte sequence and every UTF-16 code unit, one line each,
// so that the Linux and the Windows codecs can be compared line by line.

#include "platform/console.h"
#include "platform/cp932.h"

#include <cstdio>
#include <string>

namespace {

using namespace keldor;

std::string hexUnits(const Text& text) {
    std::string out;
    char unit[8];
    for (const char16_t c : text) {
        std::snprintf(unit, sizeof unit, " %04X", static_cast<unsigned>(c));
        out += unit;
    }
    return out;
}

} // namespace

int main() {
    std::string out;
    char line[64];
    for (unsigned b = 0; b < 256; ++b) {
        const Bytes bytes(1, toByte(b));
        std::snprintf(line, sizeof line, "decode %02X:", b);
        out += line + hexUnits(platform::cp932ToText(bytes)) + "\n";
    }
    for (unsigned lead = 0; lead < 256; ++lead) {
        for (unsigned trail = 0; trail < 256; ++trail) {
            const Bytes bytes{toByte(lead), toByte(trail)};
            std::snprintf(line, sizeof line, "decode %02X%02X:", lead, trail);
            out += line + hexUnits(platform::cp932ToText(bytes)) + "\n";
        }
        platform::writeText(platform::Stream::Out, out);
        out.clear();
    }
    for (unsigned c = 0; c < 0x10000; ++c) {
        const auto bytes = platform::textToCp932(Text(1, static_cast<char16_t>(c)));
        std::snprintf(line, sizeof line, "encode %04X:", c);
        out += line;
        if (!bytes) {
            out += " none";
        }
        for (std::size_t i = 0; bytes && i < bytes->size(); ++i) {
            std::snprintf(line, sizeof line, " %02X", byteAt(*bytes, i));
            out += line;
        }
        out += "\n";
        if (c % 4096 == 4095) {
            platform::writeText(platform::Stream::Out, out);
            out.clear();
        }
    }
    return 0;
}
