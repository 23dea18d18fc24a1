#include "engine/paced_view.h"

#include <utility>

namespace keldor::engine {

static_assert(static_cast<std::size_t>(StatusControl::StopButton) + 1 == 8,
              "one held text for each status control");

PacedView::PacedView(RunView& view, EventPacing pacing) : view_(view), pacing_(std::move(pacing)) {}

PacedView::~PacedView() {
    deliver();
}

void PacedView::setText(StatusControl control, const Text& text) {
    const auto index = static_cast<std::size_t>(control);
    if (index < kControls) {
        texts_[index] = text;
        undelivered_[index] = true;
    } else {
        view_.setText(control, text);
    }
}

void PacedView::setProgress(int percent) {
    undeliveredProgress_ = percent;
}

void PacedView::setVisible(StatusControl control, bool visible) {
    deliver();
    view_.setVisible(control, visible);
}

void PacedView::setBusy(bool busy) {
    deliver();
    view_.setBusy(busy);
}

MessageAnswer PacedView::showMessage(const Text& text, MessageIcon icon, MessageButtons buttons) {
    deliver();
    return view_.showMessage(text, icon, buttons);
}

void PacedView::openFolder(const std::filesystem::path& folder) {
    deliver();
    view_.openFolder(folder);
}

void PacedView::deliver() {
    if (undeliveredProgress_) {
        view_.setProgress(*undeliveredProgress_);
        undeliveredProgress_.reset();
    }
    for (std::size_t i = 0; i < kControls; ++i) {
        if (undelivered_[i]) {
            undelivered_[i] = false;
            view_.setText(static_cast<StatusControl>(i), texts_[i]);
        }
    }
}

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
    deliver();
    view_.processEvents();
    // Counted from when the window was done: a question it asked the user
    // meanwhile does not make the next point come at once.
    if (pacing_.interval > std::chrono::nanoseconds::zero()) {
        lastEntry_ = now();
    }
}

} // namespace keldor::engine
