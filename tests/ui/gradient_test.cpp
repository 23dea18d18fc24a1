#include "ui/gradient.h"

#include <gtest/gtest.h>

namespace keldor::testing {
namespace {

using ui::GradientVertex;

TEST(Gradient, VerticesSpanTheTargetWithWidenedChannels) {
    const auto vertices =
        ui::gradientVertices(400, 40, ui::kHeaderLeftColour, ui::kHeaderRightColour);
    EXPECT_EQ(vertices[0], (GradientVertex{0, 0, 66 * 256, 109 * 256, 165 * 256, 0}));
    EXPECT_EQ(vertices[1], (GradientVertex{400, 40, 107 * 256, 185 * 256, 107 * 256, 0}));

    // Full-scale channels do not wrap: 255 * 256 fits 16 bits.
    const auto white = ui::gradientVertices(1, 1, ui::rgbColour(255, 255, 255), 0);
    EXPECT_EQ(white[0].red, 255 * 256);
    EXPECT_EQ(white[1].blue, 0);
    EXPECT_EQ(ui::gradientVertices(-5, -1, 0, 0)[1].x, 0);
}

} // namespace
} // namespace keldor::testing
