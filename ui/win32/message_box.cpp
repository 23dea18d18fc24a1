#include "ui/win32/message_box.h"

#include "ui/captions.h"

namespace keldor::ui::win32 {

namespace {

UINT iconFlag(engine::MessageIcon icon) {
    switch (icon) {
    case engine::MessageIcon::Information:
        return MB_ICONINFORMATION;
    case engine::MessageIcon::Warning:
        return MB_ICONWARNING;
    case engine::MessageIcon::Error:
        return MB_ICONERROR;
    case engine::MessageIcon::Question:
        return MB_ICONQUESTION;
    case engine::MessageIcon::None:
        break;
    }
    return 0;
}

} // namespace

engine::MessageAnswer showMessageBox(HWND owner, const Text& text, engine::MessageIcon icon,
                                     engine::MessageButtons buttons) {
    const bool yesNo = buttons == engine::MessageButtons::YesNo;
    const int pressed = ::MessageBoxW(owner, wide(text).c_str(), wide(kApplicationTitle).c_str(),
                                      iconFlag(icon) | (yesNo ? MB_YESNO : MB_OK) | MB_APPLMODAL);
    if (!yesNo) {
        return engine::MessageAnswer::Ok;
    }
    return pressed == IDYES ? engine::MessageAnswer::Yes : engine::MessageAnswer::No;
}

} // namespace keldor::ui::win32
