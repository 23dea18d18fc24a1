#pragma once
// Shared by the Win32 window tests: answers to the modal dialogs and message
// boxes a window opens, given from inside their own message loops, and
// small ways to work the real controls.

#include "engine/run_view.h"
#include "platform/bytes.h"
#include "ui/win32/win32_ui.h"

#include <functional>
#include <vector>

namespace keldor::testing {

// What the test does to each modal window that comes to the front on this
// thread, in order (a dialog counts again when it is back in front after a
// dialog it opened has closed). A thread timer looks for the window while its
// modal loop runs (message boxes, DialogBox, the file dialogs) and hands it
// to the next step; a step ends the window itself, through one of its buttons.
class ModalScript {
public:
    using Step = std::function<void(HWND modal)>;

    ModalScript();
    ModalScript(const ModalScript&) = delete;
    ModalScript& operator=(const ModalScript&) = delete;
    ~ModalScript();

    // Queues the step for the next modal window to open.
    void then(Step step);
    // Every message box gets `answer` (IDYES, IDNO, IDOK) for its text,
    // after the queued steps; its text, icon and buttons are recorded.
    std::function<int(const Text& text)> answer = [](const Text&) { return IDNO; };

    struct Box {
        Text text;
        bool hasIcon = false;
        bool yesNo = false;
    };
    std::vector<Box> boxes; // every message box seen, in order
    int modalsSeen = 0;

    // True when some box's text contains `part`.
    [[nodiscard]] bool anyBoxContains(TextView part) const;

private:
    static void CALLBACK tick(HWND, UINT, UINT_PTR, DWORD);
    void look();

    UINT_PTR timer_ = 0;
    std::vector<Step> steps_;
    HWND last_ = nullptr; // the modal window handed last, while it stays in front
};

// A message box's text, whether it shows an icon, whether it asks Yes/No.
ModalScript::Box readMessageBox(HWND box);

// Presses the button `id` of a dialog or message box as a click would.
void pressDialogButton(HWND dialog, int id);

// Dispatches this thread's pending messages.
void pumpMessages();

} // namespace keldor::testing
