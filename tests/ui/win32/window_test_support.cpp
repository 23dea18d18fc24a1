#include "tests/ui/win32/window_test_support.h"

#include <algorithm>

namespace keldor::testing {

using ui::win32::fromWide;
using ui::win32::windowText;

namespace {

ModalScript* current = nullptr; // the script whose timer runs; one at a time

bool isDialog(HWND window) {
    wchar_t name[16] = {};
    ::GetClassNameW(window, name, 16);
    return std::wstring_view(name) == L"#32770";
}

// The modal window of this thread in front: a visible, enabled dialog whose
// owner is disabled (the owner of a modal window is).
HWND frontModal() {
    struct Found {
        HWND window = nullptr;
    } found;
    ::EnumThreadWindows(
        ::GetCurrentThreadId(),
        [](HWND window, LPARAM data) -> BOOL {
            HWND owner = ::GetWindow(window, GW_OWNER);
            if (isDialog(window) && ::IsWindowVisible(window) && ::IsWindowEnabled(window) &&
                owner != nullptr && !::IsWindowEnabled(owner)) {
                reinterpret_cast<Found*>(data)->window = window;
                return FALSE;
            }
            return TRUE;
        },
        reinterpret_cast<LPARAM>(&found));
    return found.window;
}

bool isMessageBox(HWND dialog) {
    // A message box has its buttons and one or two statics, nothing else.
    bool onlyBoxControls = true;
    ::EnumChildWindows(
        dialog,
        [](HWND child, LPARAM data) -> BOOL {
            wchar_t name[32] = {};
            ::GetClassNameW(child, name, 32);
            const std::wstring_view kind(name);
            if (kind != L"Static" && kind != L"Button" && kind != L"STATIC" && kind != L"BUTTON") {
                *reinterpret_cast<bool*>(data) = false;
            }
            return TRUE;
        },
        reinterpret_cast<LPARAM>(&onlyBoxControls));
    const bool hasButton = ::GetDlgItem(dialog, IDOK) != nullptr ||
                           ::GetDlgItem(dialog, IDYES) != nullptr ||
                           ::GetDlgItem(dialog, IDNO) != nullptr;
    return onlyBoxControls && hasButton;
}

} // namespace

ModalScript::ModalScript() {
    current = this;
    timer_ = ::SetTimer(nullptr, 0, 20, &ModalScript::tick);
}

ModalScript::~ModalScript() {
    ::KillTimer(nullptr, timer_);
    current = nullptr;
}

void ModalScript::then(Step step) {
    steps_.push_back(std::move(step));
}

bool ModalScript::anyBoxContains(TextView part) const {
    return std::any_of(boxes.begin(), boxes.end(),
                       [part](const Box& box) { return box.text.find(part) != Text::npos; });
}

void CALLBACK ModalScript::tick(HWND, UINT, UINT_PTR, DWORD) {
    if (current != nullptr) {
        current->look();
    }
}

void ModalScript::look() {
    HWND modal = frontModal();
    if (modal == last_) {
        return;
    }
    last_ = modal; // before the step: it may open the next one inside
    if (modal == nullptr) {
        return;
    }
    ++modalsSeen;
    if (!steps_.empty()) {
        Step step = std::move(steps_.front());
        steps_.erase(steps_.begin());
        step(modal);
        return;
    }
    if (isMessageBox(modal)) {
        boxes.push_back(readMessageBox(modal));
        pressDialogButton(modal, answer(boxes.back().text));
    }
}

ModalScript::Box readMessageBox(HWND box) {
    ModalScript::Box read;
    read.yesNo = ::GetDlgItem(box, IDYES) != nullptr;
    for (HWND child = ::GetWindow(box, GW_CHILD); child != nullptr;
         child = ::GetWindow(child, GW_HWNDNEXT)) {
        wchar_t name[32] = {};
        ::GetClassNameW(child, name, 32);
        if (std::wstring_view(name) != L"Static" && std::wstring_view(name) != L"STATIC") {
            continue;
        }
        const auto style = static_cast<DWORD>(::GetWindowLongPtrW(child, GWL_STYLE));
        if ((style & SS_TYPEMASK) == SS_ICON) {
            read.hasIcon = read.hasIcon || (::IsWindowVisible(child) &&
                                            ::SendMessageW(child, STM_GETICON, 0, 0) != 0);
        } else if (read.text.empty()) {
            read.text = windowText(child);
        }
    }
    return read;
}

void pressDialogButton(HWND dialog, int id) {
    // Posted, so that the dialog ends from its own loop once the step returns.
    ::PostMessageW(dialog, WM_COMMAND, MAKEWPARAM(id, BN_CLICKED),
                   reinterpret_cast<LPARAM>(::GetDlgItem(dialog, id)));
}

void pumpMessages() {
    MSG message;
    while (::PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE)) {
        ::TranslateMessage(&message);
        ::DispatchMessageW(&message);
    }
}

} // namespace keldor::testing
