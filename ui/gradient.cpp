#include "ui/gradient.h"

#include <QLinearGradient>
#include <QPainter>

#include <algorithm>

namespace keldor::ui {

namespace {

std::uint16_t widened(Colour colour, int shift) {
    return static_cast<std::uint16_t>(((colour >> shift) & 0xFFu) * 256u);
}

GradientVertex vertex(int x, int y, Colour colour) {
    return GradientVertex{x, y, widened(colour, 0), widened(colour, 8), widened(colour, 16), 0};
}

QColor qtColour(const GradientVertex& v) {
    return QColor(v.red >> 8, v.green >> 8, v.blue >> 8);
}

} // namespace

std::array<GradientVertex, 2> gradientVertices(int width, int height, Colour left, Colour right) {
    return {vertex(0, 0, left), vertex(std::max(width, 0), std::max(height, 0), right)};
}

GradientPanel::GradientPanel(QWidget* parent) : QWidget(parent) {
    setAttribute(Qt::WA_OpaquePaintEvent);
}

void GradientPanel::setGradient(Colour left, Colour right, GradientMode mode) {
    left_ = left;
    right_ = right;
    mode_ = mode;
    update();
}

void GradientPanel::paintEvent(QPaintEvent*) {
    const QRect inner = contentsRect();
    const auto [from, to] = gradientVertices(inner.width(), inner.height(), left_, right_);
    const QPointF start = inner.topLeft() + QPointF(from.x, from.y);
    const QPointF end = mode_ == GradientMode::Horizontal ? inner.topLeft() + QPointF(to.x, from.y)
                                                          : inner.topLeft() + QPointF(from.x, to.y);
    QLinearGradient gradient(start, end);
    gradient.setColorAt(0.0, qtColour(from));
    gradient.setColorAt(1.0, qtColour(to));
    QPainter painter(this);
    painter.fillRect(rect(), gradient);
}

void paintGradient(GradientPanel& target, Colour left, Colour right, GradientMode mode) {
    target.setGradient(left, right, mode);
}

} // namespace keldor::ui
