#pragma once
// The header band as a Qt widget: its whole background is the gradient of
// ui/gradient.h; children draw over it.

#include "ui/gradient.h"

#include <QWidget>

namespace keldor::ui {

class GradientPanel : public QWidget {
public:
    explicit GradientPanel(QWidget* parent = nullptr);

    void setGradient(Colour left, Colour right, GradientMode mode);
    [[nodiscard]] Colour leftColour() const { return left_; }
    [[nodiscard]] Colour rightColour() const { return right_; }
    [[nodiscard]] GradientMode mode() const { return mode_; }

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    Colour left_ = kHeaderLeftColour;
    Colour right_ = kHeaderRightColour;
    GradientMode mode_ = GradientMode::Horizontal;
};

// Repaints `target` with a gradient from `left` to `right`; the old picture is
// discarded.
void paintGradient(GradientPanel& target, Colour left, Colour right, GradientMode mode);

} // namespace keldor::ui
