#pragma once
// The command-line program's stand-in for the main window: progress on
// stderr (only on a terminal), redrawn when the run lets the window handle
// its events; messages on stderr, no questions asked.

#include "engine/run_view.h"

#include <cstdio>
#include <optional>

namespace keldor::cli {

class CliView : public engine::RunView {
public:
    // `workCaption`: the phase shown while messages are written ("復元中").
    CliView(Text outputLocation, bool showProgress, Text workCaption = u"復元中");

    [[nodiscard]] Text outputLocation() const override { return location_; }
    void setText(engine::StatusControl control, const Text& text) override;
    void setVisible(engine::StatusControl, bool) override {}
    void showPhase(engine::RunPhase phase, std::int64_t done, std::int64_t total) override;
    void setProgress(int) override {}
    void setBusy(bool) override {}
    void processEvents() override;
    engine::MessageAnswer showMessage(const Text& text, engine::MessageIcon icon,
                                      engine::MessageButtons buttons) override;
    void openFolder(const std::filesystem::path&) override {}

    // Ends the progress line, if one is showing.
    void finishProgress();

private:
    void redraw();

    Text location_;
    bool showProgress_;
    Text workCaption_;
    std::optional<engine::RunPhase> shownPhase_;
    Text caption_; // the caption of the phase shown
    Text message_; // lblMessage
    Text percent_;
    Text status_;
    bool changed_ = false; // a text changed since the line was drawn
    bool drawn_ = false;
    std::size_t lastWidth_ = 0;
};

// For a terminal: CR LF inside a message becomes a plain line break.
std::string terminalText(const Text& text);

} // namespace keldor::cli
