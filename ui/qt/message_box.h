#pragma once
// Modal message boxes titled "Keldor". The windows ask through this
// interface so that tests can answer in place of the user.

#include "engine/run_view.h"
#include "platform/bytes.h"
#include "ui/captions.h"

class QWidget;

namespace keldor::ui {

class MessageBoxes {
public:
    virtual ~MessageBoxes() = default;
    // Shows `text` modally over `owner` and returns the button pressed
    // (Ok for an Ok box, also when it is closed another way; No for a Yes/No
    // box closed without an answer).
    virtual engine::MessageAnswer show(QWidget* owner, const Text& text, engine::MessageIcon icon,
                                       engine::MessageButtons buttons) = 0;
};

// Real QMessageBox dialogs. CR LF in a text becomes a plain line break.
class QtMessageBoxes : public MessageBoxes {
public:
    engine::MessageAnswer show(QWidget* owner, const Text& text, engine::MessageIcon icon,
                               engine::MessageButtons buttons) override;
};

} // namespace keldor::ui
