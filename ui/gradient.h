#pragma once
// The coloured header band of the main window and the about box: a
// two-colour linear gradient between the band's left and right edges.

#include <array>
#include <cstdint>

namespace keldor::ui {

// A 24-bit colour: red in the low byte, green in the next, blue in the third.
using Colour = std::uint32_t;

constexpr Colour rgbColour(unsigned red, unsigned green, unsigned blue) {
    return (red & 0xFFu) | (green & 0xFFu) << 8 | (blue & 0xFFu) << 16;
}

constexpr unsigned redOf(Colour colour) {
    return colour & 0xFFu;
}
constexpr unsigned greenOf(Colour colour) {
    return (colour >> 8) & 0xFFu;
}
constexpr unsigned blueOf(Colour colour) {
    return (colour >> 16) & 0xFFu;
}

constexpr Colour kHeaderLeftColour = rgbColour(66, 109, 165);
constexpr Colour kHeaderRightColour = rgbColour(107, 185, 107);

enum class GradientMode {
    Horizontal = 0, // left colour at the left edge, right colour at the right edge
    Vertical = 1,   // left colour at the top, right colour at the bottom
};

// One end of the gradient: a position in pixels and 16-bit colour channels
// (an 8-bit channel c becomes c * 256).
struct GradientVertex {
    int x = 0;
    int y = 0;
    std::uint16_t red = 0;
    std::uint16_t green = 0;
    std::uint16_t blue = 0;
    std::uint16_t alpha = 0;

    friend bool operator==(const GradientVertex&, const GradientVertex&) = default;
};

// The two vertices of the rectangle that covers a target of the given inner
// size: vertex 0 at (0, 0) in the left colour, vertex 1 at (width, height) in
// the right colour. Negative sizes count as 0.
std::array<GradientVertex, 2> gradientVertices(int width, int height, Colour left, Colour right);

} // namespace keldor::ui
