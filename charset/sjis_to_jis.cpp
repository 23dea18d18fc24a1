#include "charset/sjis_to_jis.h"

namespace keldor::charset {

Bytes sjisToJis(ByteView sjis) {
    Bytes jis;
    jis.reserve(sjis.size());
    for (std::size_t i = 0; i + 1 < sjis.size(); i += 2) {
        const unsigned s1 = byteAt(sjis, i);
        const unsigned s2 = byteAt(sjis, i + 1);
        unsigned j1 = s1 <= 0x9F ? 2 * (s1 - 0x81) + 0x21 : 2 * (s1 - 0xE0) + 0x5F;
        if (s2 >= 0x9F) {
            j1 += 1;
        }
        unsigned j2 = 0;
        if (s2 < 0x7F) {
            j2 = s2 - 0x1F;
        } else if (s2 < 0x9F) {
            j2 = s2 - 0x20;
        } else {
            j2 = s2 - 0x7E;
        }
        jis += toByte(j1);
        jis += toByte(j2);
    }
    return jis;
}

} // namespace keldor::charset
