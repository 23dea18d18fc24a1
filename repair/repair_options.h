#pragma once
// The two replacement characters that fill lost bytes, in the forms the
// repairers write them.

#include "platform/bytes.h"

#include <array>
#include <variant>

namespace keldor::repair {

struct RepairOptions {
    Text halfWidthText = u"*";
    unsigned char halfWidthByte = 0x2A;                  // its one Shift_JIS byte, below 0x80
    std::array<char16_t, 2> halfWidthHex = {u'2', u'A'}; // upper-case hex of halfWidthByte
    Text fullWidthText = u"■";
    std::array<unsigned char, 2> fullWidthSjis = {0x81, 0xA1}; // lead byte first
    std::array<unsigned char, 2> fullWidthJis = {0x22, 0x23};  // as written inside ESC $ B
};

// Why a choice of replacement characters was refused; each carries the
// message shown to the user.
enum class ReplacementRejection { HalfWidth, FullWidth };

// "半角文字（カナ、カナ記号を除く）にしてください。" or "全角文字を入力してください。"
Text rejectionMessage(ReplacementRejection rejection);

// Checks the two characters the user typed and builds the options from them.
// The half-width one must be exactly one character whose code page 932 form
// is one byte below 0x80; the full-width one exactly one character whose form
// is two bytes. The half-width character is checked first.
std::variant<RepairOptions, ReplacementRejection> makeRepairOptions(TextView halfWidth,
                                                                    TextView fullWidth);

} // namespace keldor::repair
