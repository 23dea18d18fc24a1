#include "cli/cli_view.h"

#include "platform/console.h"
#include "platform/text.h"

#include <string>

namespace keldor::cli {

using engine::StatusControl;

std::string terminalText(const Text& text) {
    std::string out = platform::toUtf8(text);
    for (std::size_t at = out.find("\r\n"); at != std::string::npos; at = out.find("\r\n", at)) {
        out.erase(at, 1);
    }
    return out;
}

CliView::CliView(Text outputLocation, bool showProgress, Text workCaption)
    : location_(std::move(outputLocation)), showProgress_(showProgress),
      workCaption_(std::move(workCaption)) {}

void CliView::setText(StatusControl control, const Text& text) {
    switch (control) {
    case StatusControl::Message:
        message_ = text;
        break;
    case StatusControl::Percent:
        percent_ = text;
        break;
    case StatusControl::Status:
        status_ = text;
        break;
    default:
        return;
    }
    changed_ = true;
}

void CliView::showPhase(engine::RunPhase phase, std::int64_t, std::int64_t) {
    if (phase == shownPhase_) {
        return;
    }
    shownPhase_ = phase;
    // The captions of the window's status area: the help line while the
    // messages are listed, then the phase with its percentage and count.
    switch (phase) {
    case engine::RunPhase::Listing:
        caption_.clear();
        break;
    case engine::RunPhase::Writing:
        caption_ = workCaption_;
        message_.clear();
        break;
    case engine::RunPhase::Renaming:
        caption_ = u"ﾘﾈｰﾑ中";
        break;
    case engine::RunPhase::Reporting:
        break;
    }
}

void CliView::processEvents() {
    // Ctrl-C is caught by a signal handler; what is pending here is only the
    // progress line, drawn as often as the run lets the window handle events.
    if (changed_) {
        redraw();
    }
}

void CliView::redraw() {
    changed_ = false;
    if (!showProgress_) {
        return;
    }
    Text line = message_;
    if (line.empty() && !caption_.empty()) {
        line = caption_ + u" " + percent_ + u" " + status_;
    }
    if (line.empty()) {
        return;
    }
    const std::string text = terminalText(line);
    std::string padded = "\r" + text;
    if (text.size() < lastWidth_) {
        padded.append(lastWidth_ - text.size(), ' ');
    }
    lastWidth_ = text.size();
    platform::writeText(platform::Stream::Err, padded);
    drawn_ = true;
}

void CliView::finishProgress() {
    if (changed_) {
        redraw();
    }
    if (drawn_) {
        platform::writeText(platform::Stream::Err, "\n");
        drawn_ = false;
    }
}

engine::MessageAnswer CliView::showMessage(const Text& text, engine::MessageIcon icon,
                                           engine::MessageButtons buttons) {
    // Failures go to stderr at once; the final report is printed by the
    // program from the run's result, on stdout.
    if (icon == engine::MessageIcon::Warning || icon == engine::MessageIcon::Error) {
        finishProgress();
        platform::writeText(platform::Stream::Err, terminalText(text) + "\n");
    }
    return buttons == engine::MessageButtons::YesNo ? engine::MessageAnswer::No
                                                    : engine::MessageAnswer::Ok;
}

} // namespace keldor::cli
