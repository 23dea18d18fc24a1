#pragma once
// Shared by the window tests: message boxes answered by the test, and
// control lookup by name.

#include "platform/bytes.h"
#include "ui/qt/message_box.h"

#include <QWidget>

#include <gtest/gtest.h>

#include <functional>
#include <vector>

namespace keldor::testing {

class AnsweringBoxes : public ui::MessageBoxes {
public:
    struct Shown {
        Text text;
        engine::MessageIcon icon;
        engine::MessageButtons buttons;
    };
    std::vector<Shown> shown;
    // Answer to Yes/No boxes; Ok boxes always get Ok.
    std::function<engine::MessageAnswer(const Text&)> answer = [](const Text&) {
        return engine::MessageAnswer::No;
    };

    engine::MessageAnswer show(QWidget*, const Text& text, engine::MessageIcon icon,
                               engine::MessageButtons buttons) override {
        shown.push_back({text, icon, buttons});
        return buttons == engine::MessageButtons::YesNo ? answer(text) : engine::MessageAnswer::Ok;
    }

    [[nodiscard]] bool anyContains(TextView part) const {
        for (const Shown& s : shown) {
            if (s.text.find(part) != Text::npos) {
                return true;
            }
        }
        return false;
    }
};

// The child called `name`; fails the test when there is none.
template <typename W> W* child(const QObject& parent, const char* name) {
    W* found = parent.findChild<W*>(QString::fromLatin1(name));
    EXPECT_NE(found, nullptr) << "no control " << name;
    return found;
}

} // namespace keldor::testing
