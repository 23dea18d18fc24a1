#include "ui/win32/panel.h"

#include <gtest/gtest.h>

#include <cstdlib>

namespace keldor::testing {
namespace {

using namespace ui;

TEST(Win32Gradient, GradientFillRunsFromTheLeftColourToTheRightOne) {
    HDC screen = ::GetDC(nullptr);
    HDC dc = ::CreateCompatibleDC(screen);
    win32::UniqueBitmap bitmap(::CreateCompatibleBitmap(screen, 400, 40));
    ::ReleaseDC(nullptr, screen);
    HGDIOBJ old = ::SelectObject(dc, bitmap.get());
    win32::fillGradient(dc, RECT{0, 0, 400, 40}, kHeaderLeftColour, kHeaderRightColour,
                        GradientMode::Horizontal);
    const auto looksLike = [dc](int x, int y, int r, int g, int b) {
        const COLORREF pixel = ::GetPixel(dc, x, y);
        return std::abs(GetRValue(pixel) - r) <= 3 && std::abs(GetGValue(pixel) - g) <= 3 &&
               std::abs(GetBValue(pixel) - b) <= 3;
    };
    EXPECT_TRUE(looksLike(0, 20, 66, 109, 165));
    EXPECT_TRUE(looksLike(399, 20, 107, 185, 107));
    EXPECT_TRUE(looksLike(0, 0, 66, 109, 165)) << "not horizontal";
    EXPECT_TRUE(looksLike(0, 39, 66, 109, 165)) << "not horizontal";
    EXPECT_TRUE(looksLike(200, 20, 86, 147, 136)) << "not linear";
    ::SelectObject(dc, old);
    ::DeleteDC(dc);
}

} // namespace
} // namespace keldor::testing
