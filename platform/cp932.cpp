#include "platform/cp932.h"

#include <array>
#include <mutex>

#ifdef _WIN32
#include <windows.h>
#else
#include <iconv.h>
#endif

namespace keldor::platform {

namespace {

constexpr char16_t kUnassigned = 0xFFFF;

bool isTrailByte(unsigned b) {
    return (b >= 0x40 && b <= 0x7E) || (b >= 0x80 && b <= 0xFC);
}

// One code (one or two bytes) to its character, through the system converter.
char16_t convertOne(const unsigned char* bytes, std::size_t length) {
#ifdef _WIN32
    wchar_t out[2] = {};
    const int n =
        MultiByteToWideChar(932, MB_ERR_INVALID_CHARS, reinterpret_cast<const char*>(bytes),
                            static_cast<int>(length), out, 2);
    return n == 1 ? static_cast<char16_t>(out[0]) : kUnassigned;
#else
    static iconv_t cd = iconv_open("UTF-16LE", "CP932");
    if (cd == reinterpret_cast<iconv_t>(-1)) {
        return kUnassigned;
    }
    char in[2] = {static_cast<char>(bytes[0]), length > 1 ? static_cast<char>(bytes[1]) : '\0'};
    char out[8] = {};
    char* inPtr = in;
    char* outPtr = out;
    std::size_t inLeft = length;
    std::size_t outLeft = sizeof out;
    iconv(cd, nullptr, nullptr, nullptr, nullptr);
    if (iconv(cd, &inPtr, &inLeft, &outPtr, &outLeft) == static_cast<std::size_t>(-1) ||
        inLeft != 0 || sizeof out - outLeft != 2) {
        return kUnassigned;
    }
    return static_cast<char16_t>(static_cast<unsigned char>(out[0]) |
                                 (static_cast<unsigned char>(out[1]) << 8));
#endif
}

// The whole code page as two tables, built once: single bytes, and pairs by
// (lead << 8 | trail).
struct Cp932Tables {
    std::array<char16_t, 256> single{};
    std::array<char16_t, 65536> pair{};
};

const Cp932Tables& tables() {
    static const Cp932Tables built = [] {
        Cp932Tables t;
        t.single.fill(kUnassigned);
        t.pair.fill(kUnassigned);
        for (unsigned b = 0; b < 256; ++b) {
            if (isCp932LeadByte(b)) {
                continue;
            }
            const unsigned char byte = static_cast<unsigned char>(b);
            t.single[b] = convertOne(&byte, 1);
        }
        // Windows' own single-byte extras.
        t.single[0x80] = 0x0080;
        t.single[0xA0] = 0xF8F0;
        t.single[0xFD] = 0xF8F1;
        t.single[0xFE] = 0xF8F2;
        t.single[0xFF] = 0xF8F3;
        for (unsigned lead = 0x81; lead <= 0xFC; ++lead) {
            if (!isCp932LeadByte(lead)) {
                continue;
            }
            for (unsigned trail = 0x40; trail <= 0xFC; ++trail) {
                if (!isTrailByte(trail)) {
                    continue;
                }
                const unsigned char code[2] = {static_cast<unsigned char>(lead),
                                               static_cast<unsigned char>(trail)};
                t.pair[(lead << 8) | trail] = convertOne(code, 2);
            }
        }
        return t;
    }();
    return built;
}

std::optional<Bytes> encodeOne(char16_t c) {
    if (c == 0x0080) {
        return Bytes(1, toByte(0x80));
    }
    if (c == 0xF8F0) {
        return Bytes(1, toByte(0xA0));
    }
    if (c >= 0xF8F1 && c <= 0xF8F3) {
        return Bytes(1, toByte(0xFD + (c - 0xF8F1)));
    }
    if (c >= 0xD800 && c <= 0xDFFF) {
        return std::nullopt;
    }
#ifdef _WIN32
    const wchar_t in = static_cast<wchar_t>(c);
    char out[4] = {};
    BOOL usedDefault = FALSE;
    const int n = WideCharToMultiByte(932, WC_NO_BEST_FIT_CHARS, &in, 1, out, sizeof out, nullptr,
                                      &usedDefault);
    if (n <= 0 || usedDefault) {
        return std::nullopt;
    }
    return Bytes(out, static_cast<std::size_t>(n));
#else
    static std::mutex lock;
    const std::lock_guard<std::mutex> guard(lock);
    static iconv_t cd = iconv_open("CP932", "UTF-16LE");
    if (cd == reinterpret_cast<iconv_t>(-1)) {
        return std::nullopt;
    }
    char in[2] = {static_cast<char>(c & 0xFF), static_cast<char>(c >> 8)};
    char out[8] = {};
    char* inPtr = in;
    char* outPtr = out;
    std::size_t inLeft = sizeof in;
    std::size_t outLeft = sizeof out;
    iconv(cd, nullptr, nullptr, nullptr, nullptr);
    if (iconv(cd, &inPtr, &inLeft, &outPtr, &outLeft) == static_cast<std::size_t>(-1) ||
        inLeft != 0) {
        return std::nullopt;
    }
    // iconv also maps look-alikes (U+00A5 to 0x5C, U+301C to 0x8160, U+2212
    // to 0x817C …); Windows does not. Only a code that reads back as the
    // same character is the character's own.
    Bytes code(out, sizeof out - outLeft);
    const Text back = cp932ToText(code);
    if (back.size() != 1 || back.front() != c) {
        return std::nullopt;
    }
    return code;
#endif
}

} // namespace

bool isCp932LeadByte(unsigned byte) {
    return (byte >= 0x81 && byte <= 0x9F) || (byte >= 0xE0 && byte <= 0xFC);
}

Text cp932ToText(ByteView bytes) {
    const Cp932Tables& t = tables();
    // Never more characters than bytes: written in place, cut to size at the end.
    Text out(bytes.size(), u'\0');
    std::size_t n = 0;
    std::size_t i = 0;
    while (i < bytes.size()) {
        const unsigned b = byteAt(bytes, i);
        char16_t c = 0;
        if (!isCp932LeadByte(b)) {
            c = t.single[b];
            ++i;
        } else if (i + 1 < bytes.size() && isTrailByte(byteAt(bytes, i + 1))) {
            c = t.pair[(b << 8) | byteAt(bytes, i + 1)];
            i += 2;
        } else {
            c = kUnassigned;
            ++i;
        }
        out[n++] = c == kUnassigned ? kCp932Invalid : c;
    }
    out.resize(n);
    return out;
}

std::optional<Bytes> textToCp932(TextView text) {
    Bytes out;
    out.reserve(text.size() * 2);
    for (const char16_t c : text) {
        std::optional<Bytes> code = encodeOne(c);
        if (!code) {
            return std::nullopt;
        }
        out += *code;
    }
    return out;
}

} // namespace keldor::platform
