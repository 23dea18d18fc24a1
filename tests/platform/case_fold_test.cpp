#include "platform/case_fold.h"

#include <gtest/gtest.h>

namespace keldor::platform {
namespace {

// The folds run on narrow, wrapping arithmetic; every value is checked
// against the plain rule, so a range that slips by one shows.
TEST(CaseFold, FoldsAsciiCapitalsAndNothingElse) {
    for (unsigned b = 0; b < 0x100; ++b) {
        const unsigned expected = b >= 'A' && b <= 'Z' ? b + 0x20 : b;
        ASSERT_EQ(foldedByte(static_cast<std::uint8_t>(b)), expected) << b;
    }
    for (unsigned c = 0; c < 0x10000; ++c) {
        const unsigned expected = c >= 'A' && c <= 'Z' ? c + 0x20 : c;
        ASSERT_EQ(static_cast<unsigned>(foldedUnit(static_cast<char16_t>(c))), expected) << c;
    }
    EXPECT_EQ(foldCase(u"Subject: ＡＢＣ 件名 XYZ@[`{"), u"subject: ＡＢＣ 件名 xyz@[`{");
}

} // namespace
} // namespace keldor::platform
