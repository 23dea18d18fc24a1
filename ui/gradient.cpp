#include "ui/gradient.h"

#include <algorithm>

namespace keldor::ui {

namespace {

std::uint16_t widened(unsigned channel) {
    return static_cast<std::uint16_t>(channel * 256u);
}

GradientVertex vertex(int x, int y, Colour colour) {
    return GradientVertex{
        x, y, widened(redOf(colour)), widened(greenOf(colour)), widened(blueOf(colour)), 0};
}

} // namespace

std::array<GradientVertex, 2> gradientVertices(int width, int height, Colour left, Colour right) {
    return {vertex(0, 0, left), vertex(std::max(width, 0), std::max(height, 0), right)};
}

} // namespace keldor::ui
