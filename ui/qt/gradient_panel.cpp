#include "ui/qt/gradient_panel.h"

#include <QLinearGradient>
#include <QPainter>

namespace keldor::ui {

namespace {

QColor qtColour(const GradientVertex& v) {
    return QColor(v.red >> 8, v.green >> 8, v.blue >> 8);
}

} // namespace

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
