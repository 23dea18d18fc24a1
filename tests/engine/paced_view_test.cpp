// The pacing between a run and its window: which points let the window's
// event loop run, on a clock the test sets.

#include "engine/paced_view.h"

#include "tests/support/test_support.h"

#include <gtest/gtest.h>

namespace keldor::engine {
namespace {

using namespace std::chrono_literals;

TEST(PacedView, LetsTheWindowInWhenTheIntervalHasPassedAndAtTheEndOfAPhase) {
    struct Step {
        std::chrono::milliseconds at;
        bool endOfPhase;
        int entriesAfter;
    };
    const Step steps[] = {
        {0ms, false, 1},  // the first point always
        {5ms, false, 1},  //
        {14ms, false, 1}, //
        {15ms, false, 2}, // 15 ms after the last visit
        {20ms, false, 2}, //
        {21ms, true, 3},  // a phase ends on a point passed over
        {22ms, true, 3},  // nothing passed over since
        {30ms, false, 3}, // 9 ms after the visit at the phase's end
        {36ms, false, 4}, //
        {37ms, true, 4},  // its last point got in
    };
    testing::RecordingView window;
    std::chrono::nanoseconds now{0};
    PacedView paced(window, {15ms, [&now] { return now; }, 1});
    for (const Step& step : steps) {
        now = step.at;
        if (step.endOfPhase) {
            paced.endPhase();
        } else {
            paced.processEvents();
        }
        EXPECT_EQ(window.eventCount, step.entriesAfter) << "at " << step.at.count() << " ms";
    }
    EXPECT_EQ(paced.entries(), window.eventCount);
}

TEST(PacedView, HoldsStatusTextsAndProgressUntilTheWindowCanShowThem) {
    testing::RecordingView window;
    std::chrono::nanoseconds now{0};
    PacedView paced(window, {15ms, [&now] { return now; }, 1});
    paced.processEvents();
    paced.setText(StatusControl::Status, u"1通のメールを復元");
    paced.setProgress(10);
    paced.setText(StatusControl::Status, u"2通のメールを復元");
    paced.processEvents(); // passed over
    EXPECT_TRUE(window.statusTexts.empty());
    EXPECT_TRUE(window.progress.empty());
    now = 20ms;
    paced.setText(StatusControl::Percent, u"20%");
    paced.setProgress(20);
    paced.processEvents();
    EXPECT_EQ(window.statusTexts, std::vector<Text>{u"2通のメールを復元"}) << "the last, once";
    EXPECT_EQ(window.progress, std::vector<int>{20});
    EXPECT_EQ(window.lastPercent, u"20%");

    // Anything else the window gets comes after what is held.
    paced.setText(StatusControl::Status, u"3通のメールを復元");
    paced.setVisible(StatusControl::Rename, true);
    EXPECT_EQ(window.statusTexts.back(), u"3通のメールを復元");
    {
        PacedView last(window, {15ms, [&now] { return now; }, 1});
        last.setText(StatusControl::Status, u"4通のメールを復元");
    }
    EXPECT_EQ(window.statusTexts.back(), u"4通のメールを復元") << "delivered when the run ends";
}

TEST(PacedView, LooksAtTheClockEveryFewPoints) {
    testing::RecordingView window;
    int looks = 0;
    PacedView paced(window,
                    {15ms, [&looks] { return std::chrono::nanoseconds(++looks * 20ms); }, 4});
    paced.processEvents(); // enters; looks once, after
    for (int i = 0; i < 7; ++i) {
        paced.processEvents();
    }
    EXPECT_EQ(looks, 3) << "after the first visit, at the 4th point, after the second visit";
    EXPECT_EQ(window.eventCount, 2);
    paced.endPhase();
    EXPECT_EQ(window.eventCount, 3) << "three points passed over";
}

TEST(PacedView, TimeTheWindowTookIsNotCountedAndZeroLetsEveryPointIn) {
    testing::RecordingView window;
    std::chrono::nanoseconds now{0};
    // The first visit asks the user something for a second.
    window.onEvents = [&now](int) { now += 1s; };
    PacedView paced(window, {15ms, [&now] { return now; }, 1});
    paced.processEvents();
    now += 10ms;
    window.onEvents = nullptr;
    paced.processEvents();
    EXPECT_EQ(window.eventCount, 1) << "10 ms after the question was answered";

    testing::RecordingView every;
    PacedView unpaced(every, {0ms, [] { return std::chrono::nanoseconds{0}; }, 1});
    for (int i = 0; i < 5; ++i) {
        unpaced.processEvents();
    }
    unpaced.endPhase();
    EXPECT_EQ(every.eventCount, 5);
}

} // namespace
} // namespace keldor::engine
