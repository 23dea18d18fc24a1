#include "tests/support/charset_conversion.h"

#ifdef _WIN32
#ifndef NOMINMAX
#define NOMINMAX
#endif
#include <windows.h>

#include <array>
#include <utility>
#else
#include <iconv.h>
#endif

namespace keldor::testing {

#ifndef _WIN32

std::optional<std::string> convertCharset(std::string_view in, const char* from, const char* to) {
    iconv_t cd = iconv_open(to, from);
    if (cd == reinterpret_cast<iconv_t>(-1)) {
        return std::nullopt;
    }
    std::string input(in);
    std::string out(in.size() * 4 + 16, '\0');
    char* inPtr = input.data();
    std::size_t inLeft = input.size();
    char* outPtr = out.data();
    std::size_t outLeft = out.size();
    const bool ok = iconv(cd, &inPtr, &inLeft, &outPtr, &outLeft) != static_cast<std::size_t>(-1) &&
                    iconv(cd, nullptr, nullptr, &outPtr, &outLeft) != static_cast<std::size_t>(-1);
    iconv_close(cd);
    if (!ok) {
        return std::nullopt;
    }
    out.resize(out.size() - outLeft);
    return out;
}

#else

namespace {

using Wide = std::wstring;

// Where code page 932 and the JIS tables (as iconv has them) give one JIS
// code different characters: {code page 932, JIS}.
constexpr std::array<std::pair<wchar_t, wchar_t>, 6> kJisDifferences = {{
    {0xFF5E, 0x301C}, // 1-33 wave dash
    {0x2225, 0x2016}, // 1-34 double vertical line
    {0xFF0D, 0x2212}, // 1-61 minus sign
    {0xFFE0, 0x00A2}, // 1-81 cent sign
    {0xFFE1, 0x00A3}, // 1-82 pound sign
    {0xFFE2, 0x00AC}, // 2-44 not sign
}};

wchar_t toJisCharacter(wchar_t c) {
    for (const auto& [windows, jis] : kJisDifferences) {
        if (c == windows) {
            return jis;
        }
    }
    return c;
}

wchar_t fromJisCharacter(wchar_t c) {
    for (const auto& [windows, jis] : kJisDifferences) {
        if (c == jis) {
            return windows;
        }
    }
    return c;
}

std::optional<Wide> decodeCodePage(UINT codePage, std::string_view in) {
    if (in.empty()) {
        return Wide();
    }
    const int n = MultiByteToWideChar(codePage, MB_ERR_INVALID_CHARS, in.data(),
                                      static_cast<int>(in.size()), nullptr, 0);
    if (n <= 0) {
        return std::nullopt;
    }
    Wide out(static_cast<std::size_t>(n), L'\0');
    MultiByteToWideChar(codePage, MB_ERR_INVALID_CHARS, in.data(), static_cast<int>(in.size()),
                        out.data(), n);
    return out;
}

std::optional<std::string> encodeCodePage(UINT codePage, const Wide& in) {
    if (in.empty()) {
        return std::string();
    }
    BOOL usedDefault = FALSE;
    BOOL* defaultFlag = codePage == CP_UTF8 ? nullptr : &usedDefault;
    const DWORD flags = codePage == CP_UTF8 ? WC_ERR_INVALID_CHARS : WC_NO_BEST_FIT_CHARS;
    const int n = WideCharToMultiByte(codePage, flags, in.data(), static_cast<int>(in.size()),
                                      nullptr, 0, nullptr, defaultFlag);
    if (n <= 0 || usedDefault) {
        return std::nullopt;
    }
    std::string out(static_cast<std::size_t>(n), '\0');
    WideCharToMultiByte(codePage, flags, in.data(), static_cast<int>(in.size()), out.data(), n,
                        nullptr, defaultFlag);
    return usedDefault ? std::nullopt : std::optional<std::string>(out);
}

// JIS X 0208 row and cell (1..94 each, as 0x21..0x7E) to Shift_JIS and back.
std::pair<unsigned, unsigned> jisToSjis(unsigned j1, unsigned j2) {
    const unsigned row = j1 - 0x20;
    const unsigned cell = j2 - 0x20;
    unsigned s1 = ((row - 1) >> 1) + 0x81;
    if (s1 > 0x9F) {
        s1 += 0x40;
    }
    unsigned s2 = 0;
    if (row % 2 == 1) {
        s2 = cell + 0x3F;
        if (s2 >= 0x7F) {
            ++s2;
        }
    } else {
        s2 = cell + 0x9E;
    }
    return {s1, s2};
}

std::optional<std::pair<unsigned, unsigned>> sjisToJis(unsigned s1, unsigned s2) {
    if (s1 >= 0xE0) {
        s1 -= 0x40;
    }
    unsigned row = (s1 - 0x81) * 2 + 1;
    unsigned cell = 0;
    if (s2 >= 0x9F) {
        ++row;
        cell = s2 - 0x9E;
    } else {
        cell = s2 >= 0x80 ? s2 - 0x40 : s2 - 0x3F;
    }
    if (row < 1 || row > 94 || cell < 1 || cell > 94) {
        return std::nullopt; // the extensions of code page 932 are not JIS
    }
    return std::pair<unsigned, unsigned>{row + 0x20, cell + 0x20};
}

// One JIS X 0208 character to text; nullopt when unassigned.
std::optional<wchar_t> jisCharacter(unsigned j1, unsigned j2) {
    if (j1 < 0x21 || j1 > 0x7E || j2 < 0x21 || j2 > 0x7E) {
        return std::nullopt;
    }
    const auto [s1, s2] = jisToSjis(j1, j2);
    const char pair[2] = {static_cast<char>(s1), static_cast<char>(s2)};
    const auto text = decodeCodePage(932, std::string_view(pair, 2));
    if (!text || text->size() != 1) {
        return std::nullopt;
    }
    return toJisCharacter((*text)[0]);
}

// One character to its JIS X 0208 code, or to a single code page 932 byte
// (second = 0); nullopt when it has neither.
std::optional<std::pair<unsigned, unsigned>> jisCode(wchar_t c, bool& singleByte) {
    const auto bytes = encodeCodePage(932, Wide(1, fromJisCharacter(c)));
    if (!bytes) {
        return std::nullopt;
    }
    if (bytes->size() == 1) {
        singleByte = true;
        return std::pair<unsigned, unsigned>{static_cast<unsigned char>((*bytes)[0]), 0};
    }
    singleByte = false;
    return sjisToJis(static_cast<unsigned char>((*bytes)[0]),
                     static_cast<unsigned char>((*bytes)[1]));
}

std::optional<Wide> decodeEuc(std::string_view in) {
    Wide out;
    for (std::size_t i = 0; i < in.size(); ++i) {
        const unsigned b = static_cast<unsigned char>(in[i]);
        if (b < 0x80) {
            out += static_cast<wchar_t>(b);
        } else if (b == 0x8E && i + 1 < in.size()) {
            const unsigned kana = static_cast<unsigned char>(in[++i]);
            if (kana < 0xA1 || kana > 0xDF) {
                return std::nullopt;
            }
            out += static_cast<wchar_t>(0xFF61 + (kana - 0xA1));
        } else if (b >= 0xA1 && b <= 0xFE && i + 1 < in.size()) {
            const auto c = jisCharacter(b - 0x80, static_cast<unsigned char>(in[++i]) - 0x80u);
            if (!c) {
                return std::nullopt;
            }
            out += *c;
        } else {
            return std::nullopt; // JIS X 0212 (0x8F) and stray bytes
        }
    }
    return out;
}

std::optional<std::string> encodeEuc(const Wide& in) {
    std::string out;
    for (const wchar_t c : in) {
        if (c < 0x80) {
            out += static_cast<char>(c);
            continue;
        }
        bool singleByte = false;
        const auto code = jisCode(c, singleByte);
        if (!code) {
            return std::nullopt;
        }
        if (singleByte) {
            if (code->first < 0xA1 || code->first > 0xDF) {
                return std::nullopt;
            }
            out += static_cast<char>(0x8E);
            out += static_cast<char>(code->first);
        } else {
            out += static_cast<char>(code->first + 0x80);
            out += static_cast<char>(code->second + 0x80);
        }
    }
    return out;
}

std::optional<Wide> decodeIso2022Jp(std::string_view in) {
    Wide out;
    bool twoByte = false;
    for (std::size_t i = 0; i < in.size(); ++i) {
        const unsigned b = static_cast<unsigned char>(in[i]);
        if (b == 0x1B) {
            const std::string_view escape = in.substr(i + 1, 2);
            if (escape == "(B" || escape == "(J") {
                twoByte = false;
            } else if (escape == "$B" || escape == "$@") {
                twoByte = true;
            } else {
                return std::nullopt;
            }
            i += 2;
        } else if (b >= 0x80) {
            return std::nullopt;
        } else if (!twoByte || b < 0x21 || b == 0x7F) {
            out += static_cast<wchar_t>(b); // controls pass in either mode, as in glibc
        } else if (i + 1 < in.size()) {
            const auto c = jisCharacter(b, static_cast<unsigned char>(in[++i]));
            if (!c) {
                return std::nullopt;
            }
            out += *c;
        } else {
            return std::nullopt;
        }
    }
    return out;
}

std::optional<std::string> encodeIso2022Jp(const Wide& in) {
    std::string out;
    bool twoByte = false;
    for (const wchar_t c : in) {
        if (c < 0x80) {
            if (twoByte) {
                out += "\x1B(B";
                twoByte = false;
            }
            out += static_cast<char>(c);
            continue;
        }
        bool singleByte = false;
        const auto code = jisCode(c, singleByte);
        if (!code || singleByte) {
            return std::nullopt; // half-width katakana has no place here
        }
        if (!twoByte) {
            out += "\x1B$B";
            twoByte = true;
        }
        out += static_cast<char>(code->first);
        out += static_cast<char>(code->second);
    }
    if (twoByte) {
        out += "\x1B(B";
    }
    return out;
}

std::optional<Wide> decodeUtf32(std::string_view in) {
    if (in.size() % 4 != 0) {
        return std::nullopt;
    }
    Wide out;
    for (std::size_t i = 0; i < in.size(); i += 4) {
        std::uint32_t c = 0;
        for (int k = 3; k >= 0; --k) {
            c = (c << 8) | static_cast<unsigned char>(in[i + static_cast<std::size_t>(k)]);
        }
        if (c > 0x10FFFF || (c >= 0xD800 && c <= 0xDFFF)) {
            return std::nullopt;
        }
        if (c >= 0x10000) {
            c -= 0x10000;
            out += static_cast<wchar_t>(0xD800 + (c >> 10));
            out += static_cast<wchar_t>(0xDC00 + (c & 0x3FF));
        } else {
            out += static_cast<wchar_t>(c);
        }
    }
    return out;
}

std::optional<std::string> encodeUtf32(const Wide& in) {
    std::string out;
    for (std::size_t i = 0; i < in.size(); ++i) {
        std::uint32_t c = in[i];
        if (c >= 0xD800 && c <= 0xDBFF && i + 1 < in.size() && in[i + 1] >= 0xDC00 &&
            in[i + 1] <= 0xDFFF) {
            c = 0x10000 + ((c - 0xD800) << 10) + (in[++i] - 0xDC00u);
        } else if (c >= 0xD800 && c <= 0xDFFF) {
            return std::nullopt;
        }
        for (int k = 0; k < 4; ++k) {
            out += static_cast<char>((c >> (8 * k)) & 0xFF);
        }
    }
    return out;
}

std::string upper(const char* name) {
    std::string out(name);
    for (char& c : out) {
        if (c >= 'a' && c <= 'z') {
            c = static_cast<char>(c - 'a' + 'A');
        }
    }
    return out;
}

std::optional<Wide> decode(std::string_view in, const std::string& charset) {
    if (charset == "UTF-8") {
        return decodeCodePage(CP_UTF8, in);
    }
    if (charset == "UTF-32LE") {
        return decodeUtf32(in);
    }
    if (charset == "SHIFT_JIS" || charset == "CP932") {
        return decodeCodePage(932, in);
    }
    if (charset == "EUC-JP") {
        return decodeEuc(in);
    }
    if (charset == "ISO-2022-JP") {
        return decodeIso2022Jp(in);
    }
    return std::nullopt;
}

std::optional<std::string> encode(const Wide& in, const std::string& charset) {
    if (charset == "UTF-8") {
        return encodeCodePage(CP_UTF8, in);
    }
    if (charset == "UTF-32LE") {
        return encodeUtf32(in);
    }
    if (charset == "SHIFT_JIS" || charset == "CP932") {
        return encodeCodePage(932, in);
    }
    if (charset == "EUC-JP") {
        return encodeEuc(in);
    }
    if (charset == "ISO-2022-JP") {
        return encodeIso2022Jp(in);
    }
    return std::nullopt;
}

} // namespace

std::optional<std::string> convertCharset(std::string_view in, const char* from, const char* to) {
    const auto text = decode(in, upper(from));
    if (!text) {
        return std::nullopt;
    }
    return encode(*text, upper(to));
}

#endif

} // namespace keldor::testing
