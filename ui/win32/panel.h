#pragma once
// A container of controls with its own background, as a picture box holds
// the controls of one area of a form: a solid colour (the input and status
// panels) or the header gradient. Disabling a panel disables what it holds.
// Notifications of its controls go on to the panel's parent, so the window
// handles them as if the controls were its own.

#include "ui/gradient.h"
#include "ui/win32/win32_ui.h"

namespace keldor::ui::win32 {

// A panel at `x`, `y` of `parent` with the given size (pixels at 96 DPI).
HWND createPanel(HWND parent, int id, Colour background, int x, int y, int width, int height,
                 const DpiScale& scale);

// Makes the whole background of `panel` a gradient from `left` to `right`
// through GradientFill, and its labels white on it; the old picture is
// discarded.
void paintGradient(HWND panel, Colour left, Colour right, GradientMode mode);

// Enables or disables the panel and every control in it (so that they also
// look disabled).
void enablePanel(HWND panel, bool enabled);

// Fills `inner` of `dc` with the gradient through GradientFill.
void fillGradient(HDC dc, const RECT& inner, Colour left, Colour right, GradientMode mode);

} // namespace keldor::ui::win32
