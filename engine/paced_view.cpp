#include "engine/paced_view.h"

#include <utility>

namespace keldor::engine {

PacedView::PacedView(RunView& view, EventPacing pacing) : view_(view), pacing_(std::move(pacing)) {}

std::chrono::nanoseconds PacedView::now() const {
    if (pacing_.clock) {
        return pacing_.clock();
    }
    return std::chrono::duration_cast<std::chrono::nanoseconds>(
        std::chrono::steady_clock::now().time_since_epoch());
}

void PacedView::processEvents() {
    if (pacing_.interval <= std::chrono::nanoseconds::zero()) {
        enter();
        return;
    }
    passedOver_ = true;
    if (!entered_) {
        enter();
        return;
    }
    if (++unlooked_ < pacing_.pointsPerLook) {
        return;
    }
    unlooked_ = 0;
    if (now() - lastEntry_ >= pacing_.interval) {
        enter();
    }
}

void PacedView::endPhase() {
    if (passedOver_) {
        enter();
    }
}

void PacedView::enter() {
    entered_ = true;
    passedOver_ = false;
    unlooked_ = 0;
    ++entries_;
    view_.processEvents();
    // Counted from when the window was done: a question it asked the user
    // meanwhile does not make the next point come at once.
    if (pacing_.interval > std::chrono::nanoseconds::zero()) {
        lastEntry_ = now();
    }
}

} // namespace keldor::engine
