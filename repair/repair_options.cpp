#include "repair/repair_options.h"

#include "charset/sjis_to_jis.h"
#include "platform/cp932.h"

namespace keldor::repair {

Text rejectionMessage(ReplacementRejection rejection) {
    return rejection == ReplacementRejection::HalfWidth
               ? u"半角文字（カナ、カナ記号を除く）にしてください。"
               : u"全角文字を入力してください。";
}

std::variant<RepairOptions, ReplacementRejection> makeRepairOptions(TextView halfWidth,
                                                                    TextView fullWidth) {
    // "One character" counts UTF-16 code units, so a character outside the
    // BMP (two units) is refused like any two characters.
    const std::optional<Bytes> half =
        halfWidth.size() == 1 ? platform::textToCp932(halfWidth) : std::nullopt;
    if (!half || half->size() != 1 || byteAt(*half, 0) > 0x7F) {
        return ReplacementRejection::HalfWidth;
    }
    const std::optional<Bytes> full =
        fullWidth.size() == 1 ? platform::textToCp932(fullWidth) : std::nullopt;
    if (!full || full->size() != 2) {
        return ReplacementRejection::FullWidth;
    }

    static constexpr char16_t kHexDigits[] = u"0123456789ABCDEF";
    RepairOptions options;
    options.halfWidthText = Text(halfWidth);
    options.halfWidthByte = static_cast<unsigned char>(byteAt(*half, 0));
    options.halfWidthHex = {kHexDigits[options.halfWidthByte >> 4],
                            kHexDigits[options.halfWidthByte & 0x0F]};
    options.fullWidthText = Text(fullWidth);
    options.fullWidthSjis = {static_cast<unsigned char>(byteAt(*full, 0)),
                             static_cast<unsigned char>(byteAt(*full, 1))};
    const Bytes jis = charset::sjisToJis(*full);
    options.fullWidthJis = {static_cast<unsigned char>(byteAt(jis, 0)),
                            static_cast<unsigned char>(byteAt(jis, 1))};
    return options;
}

} // namespace keldor::repair
