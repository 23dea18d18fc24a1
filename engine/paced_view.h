#pragma once
// Stands between a run and its window. The run names many points at which
// the window may handle what is pending (every line of a repair among
// them); going through a window's event loop at each of a million lines
// costs more than the run itself. The paced view lets the window in only
// when some milliseconds have passed since it last was, so Stop and the
// close box still answer at once to the eye, and never lets a phase end
// with a point passed over.

#include "engine/run_view.h"

#include <array>
#include <chrono>
#include <functional>
#include <optional>

namespace keldor::engine {

// A monotonic clock: time since any fixed start, never going back.
using MonotonicClock = std::function<std::chrono::nanoseconds()>;

struct EventPacing {
    // The least time between two visits of the event loop; zero lets every
    // point through.
    std::chrono::nanoseconds interval = std::chrono::milliseconds(15);
    // Empty: std::chrono::steady_clock. Tests give their own.
    MonotonicClock clock;
    // The clock is looked at every this many points: between two looks a
    // run does a few lines' work, far less than the interval, and reading
    // the clock at each of a million lines would cost more than the lines.
    int pointsPerLook = 8;
};

// Also holds back the status texts and the progress value: a window shows
// them only when it paints, which it does in its event loop, so each goes
// to the window once, as it stands, just before the window next gets in or
// anything else reaches it. The window shows what it would have shown.
class PacedView final : public RunView {
public:
    PacedView(RunView& view, EventPacing pacing);
    ~PacedView() override;
    PacedView(const PacedView&) = delete;
    PacedView& operator=(const PacedView&) = delete;

    [[nodiscard]] Text outputLocation() const override { return view_.outputLocation(); }
    void setText(StatusControl control, const Text& text) override;
    void setVisible(StatusControl control, bool visible) override;
    void setProgress(int percent) override;
    void setBusy(bool busy) override;
    // Told at once: the window draws it with the held texts when it next gets in.
    void showPhase(RunPhase phase, std::int64_t done, std::int64_t total) override {
        view_.showPhase(phase, done, total);
    }
    MessageAnswer showMessage(const Text& text, MessageIcon icon, MessageButtons buttons) override;
    void openFolder(const std::filesystem::path& folder) override;

    // A point at which the window may handle its events. It does at the
    // first point, and then at a look at the clock that finds the interval
    // passed since it last finished doing so; otherwise the point is passed
    // over.
    void processEvents() override;

    // The end of a phase of the run: when the last point of the phase was
    // passed over, the window handles its events now, so that what it
    // shows and a Stop pressed late in the phase are not left waiting.
    void endPhase();

    // How often the window's event loop was entered.
    [[nodiscard]] long entries() const { return entries_; }

private:
    static constexpr std::size_t kControls = 8;

    [[nodiscard]] std::chrono::nanoseconds now() const;
    void enter();
    // Hands the held texts and progress to the window.
    void deliver();

    RunView& view_;
    EventPacing pacing_;
    bool entered_ = false;                  // the event loop has run during this run
    bool passedOver_ = false;               // a point was passed over since it last ran
    int unlooked_ = 0;                      // points since the clock was last looked at
    std::chrono::nanoseconds lastEntry_{0}; // when the event loop last returned
    long entries_ = 0;
    std::array<Text, kControls> texts_;            // the last text set for each control
    std::array<bool, kControls> undelivered_ = {}; // set since last handed to the window
    std::optional<int> undeliveredProgress_;       // set since last handed to the window
};

} // namespace keldor::engine
