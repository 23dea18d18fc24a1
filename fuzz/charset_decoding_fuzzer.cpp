// Header text decoding, the two transfer decodings and the Japanese
// conversions on arbitrary input: none yields more code units than it was
// given bytes or characters, each fails only where it says it may, and the
// conversions that go both ways come back to where they started.

#include "charset/encoded_word_decoding.h"
#include "charset/japanese_text.h"
#include "charset/sjis_lead_byte.h"
#include "charset/sjis_to_jis.h"
#include "charset/transfer_decoding.h"
#include "fuzz/fuzz_support.h"
#include "platform/cp932.h"

using namespace keldor;

namespace {

// 3/4 of the length rounded half to even, less the padding.
std::size_t base64Length(TextView encoded) {
    const std::size_t n = encoded.size();
    std::size_t length = 3 * n / 4;
    const std::size_t rest = 3 * n % 4;
    if (rest == 3 || (rest == 2 && length % 2 == 1)) {
        ++length;
    }
    const std::size_t padding = encoded.ends_with(u"==") ? 2 : encoded.ends_with(u"=") ? 1 : 0;
    return length > padding ? length - padding : 0;
}

void checkHeaderText(TextView value) {
    const std::optional<Text> decoded = charset::decodeHeaderText(value);
    if (!decoded) {
        return;
    }
    FUZZ_CHECK(decoded->size() <= value.size());
    if (value.find(u"=?") == TextView::npos && value.find(u'\x1B') == TextView::npos) {
        FUZZ_CHECK(*decoded == value);
    }
}

void checkTransferDecoding(TextView encoded) {
    FUZZ_CHECK(charset::decodeBase64(encoded).size() == base64Length(encoded));
    const Bytes quoted = charset::decodeQuotedPrintable(encoded);
    FUZZ_CHECK(quoted.size() <= encoded.size());
    if (encoded.find(u'=') == TextView::npos) {
        FUZZ_CHECK(quoted.size() == encoded.size());
        for (std::size_t i = 0; i < quoted.size(); ++i) {
            FUZZ_CHECK(byteAt(quoted, i) == (encoded[i] & 0xFFu));
        }
    }
}

void checkConversions(ByteView bytes) {
    if (const std::optional<Text> jis = charset::jisToText(bytes)) {
        FUZZ_CHECK(jis->size() <= bytes.size());
    } else {
        FUZZ_CHECK(!bytes.empty() && charset::isSjisLeadByte(byteAt(bytes, bytes.size() - 1)));
    }
    FUZZ_CHECK(charset::sjisToText(bytes).size() <= bytes.size());
    FUZZ_CHECK(charset::eucToText(bytes).size() <= bytes.size());
    if (const std::optional<Text> utf8 = charset::utf8ToText(bytes)) {
        FUZZ_CHECK(utf8->size() <= bytes.size());
    } else {
        FUZZ_CHECK(!bytes.empty());
    }

    // Code page 932 both ways: what the bytes decode to encodes to bytes that
    // decode to the same text.
    const Text text = platform::cp932ToText(bytes);
    FUZZ_CHECK(text.size() <= bytes.size());
    if (const std::optional<Bytes> encoded = platform::textToCp932(text)) {
        FUZZ_CHECK(platform::cp932ToText(*encoded) == text);
    }

    // Shift_JIS codes to JIS pairs, pair by pair, and JIS X 0208 pairs back.
    const Bytes jisPairs = charset::sjisToJis(bytes);
    FUZZ_CHECK(jisPairs.size() == bytes.size() / 2 * 2);
    for (std::size_t i = 0; i + 1 < bytes.size(); i += 2) {
        const int j1 = static_cast<int>(byteAt(bytes, i));
        const int j2 = static_cast<int>(byteAt(bytes, i + 1));
        const std::optional<Bytes> sjis = charset::jisPairToSjis(j1, j2);
        if (j1 >= 0x21 && j1 <= 0x7E && j2 >= 0x21 && j2 <= 0x7E) {
            FUZZ_CHECK(sjis && sjis->size() == 2);
            FUZZ_CHECK(charset::sjisToJis(*sjis) == bytes.substr(i, 2));
        }
    }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size < 1) {
        return 0;
    }
    const ByteView bytes = fuzz::inputBytes(data + 1, size - 1);
    // Header values arrive as code page 932 text; the decoders also take any
    // UTF-16 text, so half of the inputs are read as that.
    const Text text = (data[0] & 1) != 0 ? fuzz::inputText(bytes) : platform::cp932ToText(bytes);

    checkHeaderText(text);
    checkTransferDecoding(text);
    if (const std::optional<Text> jis = charset::jisCharsToText(text)) {
        FUZZ_CHECK(jis->size() <= text.size());
    } else {
        FUZZ_CHECK(!text.empty() && charset::isSjisLeadByte(text.back() & 0xFFu));
    }
    checkConversions(bytes);
    return 0;
}
