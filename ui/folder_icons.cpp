#include "ui/folder_icons.h"

namespace keldor::ui {

std::optional<Colour> folderMarkColour(std::size_t index) {
    static constexpr Colour kMarks[] = {
        rgbColour(0x1f, 0x5f, 0xd0), // inbox
        rgbColour(0xe0, 0x7a, 0x10), // outbox
        rgbColour(0x2a, 0x9d, 0x3a), // sent items
        rgbColour(0xc8, 0x28, 0x28), // deleted items
        rgbColour(0x7a, 0x3c, 0xb8), // drafts
    };
    if (index < std::size(kMarks)) {
        return kMarks[index];
    }
    return std::nullopt;
}

} // namespace keldor::ui
