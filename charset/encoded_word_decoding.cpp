#include "charset/encoded_word_decoding.h"

#include "charset/japanese_text.h"
#include "charset/transfer_decoding.h"
#include "platform/case_fold.h"
#include "platform/text.h"

#include <algorithm>
#include <array>

namespace keldor::charset {

namespace {

using TransferDecoder = Bytes (*)(TextView);
using Converter = std::optional<Text> (*)(ByteView);

std::optional<Text> sjisConverter(ByteView bytes) {
    return sjisToText(bytes);
}
std::optional<Text> eucConverter(ByteView bytes) {
    return eucToText(bytes);
}

struct EncodedWordKind {
    std::u16string_view prefix;
    TransferDecoder decode;
    Converter convert;
};

// In this order: every word of one row is decoded before any of the next.
const std::array<EncodedWordKind, 8> kKinds = {{
    {u"=?iso-2022-jp?b?", decodeBase64, jisToText},
    {u"=?shift_jis?b?", decodeBase64, sjisConverter},
    {u"=?euc-jp?b?", decodeBase64, eucConverter},
    {u"=?utf-8?b?", decodeBase64, utf8ToText},
    {u"=?iso-2022-jp?q?", decodeQuotedPrintable, jisToText},
    {u"=?shift_jis?q?", decodeQuotedPrintable, sjisConverter},
    {u"=?euc-jp?q?", decodeQuotedPrintable, eucConverter},
    {u"=?utf-8?q?", decodeQuotedPrintable, utf8ToText},
}};

constexpr std::u16string_view kTerminator = u"?=";
constexpr char16_t kEscape = u'\x1B';

} // namespace

std::optional<Text> decodeHeaderText(TextView value) {
    Text s(value);
    Text lower = platform::foldCase(s);
    for (const EncodedWordKind& kind : kKinds) {
        std::size_t searchFrom = 0;
        for (;;) {
            const std::size_t a = lower.find(kind.prefix, searchFrom);
            if (a == Text::npos) {
                break;
            }
            const std::size_t e = a + kind.prefix.size();
            const std::size_t b = s.find(kTerminator, e);
            const std::size_t end = b == Text::npos ? s.size() : b + kTerminator.size();
            const std::size_t encodedLength = (b == Text::npos ? s.size() : b) - e;
            const std::optional<Text> converted =
                kind.convert(kind.decode(TextView(s).substr(e, encodedLength)));
            if (!converted) {
                return std::nullopt;
            }
            s.replace(a, end - a, *converted);
            lower.replace(a, end - a, platform::foldCase(*converted));
            // The text before `a` held no prefix; one may now start in its
            // last characters and run on into the converted text.
            searchFrom = a >= kind.prefix.size() ? a - (kind.prefix.size() - 1) : 0;
        }
    }
    if (s.find(kEscape) != Text::npos) {
        return jisCharsToText(s);
    }
    return s;
}

} // namespace keldor::charset
