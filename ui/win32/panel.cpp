#include "ui/win32/panel.h"

#include <memory>

namespace keldor::ui::win32 {

namespace {

constexpr wchar_t kPanelClass[] = L"KeldorPanel";

COLORREF colorRef(Colour colour) {
    return RGB(redOf(colour), greenOf(colour), blueOf(colour));
}

struct PanelState {
    Colour background = rgbColour(255, 255, 255);
    UniqueBrush brush;
    bool gradient = false;
    Colour left = 0;
    Colour right = 0;
    GradientMode mode = GradientMode::Horizontal;
};

PanelState* stateOf(HWND panel) {
    return reinterpret_cast<PanelState*>(::GetWindowLongPtrW(panel, GWLP_USERDATA));
}

void paintBackground(HWND panel, HDC dc) {
    const PanelState* state = stateOf(panel);
    RECT inner{};
    ::GetClientRect(panel, &inner);
    if (state == nullptr) {
        return;
    }
    if (state->gradient) {
        fillGradient(dc, inner, state->left, state->right, state->mode);
    } else {
        ::FillRect(dc, &inner, state->brush.get());
    }
}

LRESULT CALLBACK panelProc(HWND panel, UINT message, WPARAM wParam, LPARAM lParam) {
    switch (message) {
    case WM_NCCREATE: {
        auto state = std::make_unique<PanelState>();
        const auto* create = reinterpret_cast<const CREATESTRUCTW*>(lParam);
        state->background = static_cast<Colour>(reinterpret_cast<UINT_PTR>(create->lpCreateParams));
        state->brush.reset(::CreateSolidBrush(colorRef(state->background)));
        // The window owns its state from here; WM_NCDESTROY frees it.
        ::SetWindowLongPtrW(panel, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(state.release()));
        break;
    }
    case WM_NCDESTROY:
        std::unique_ptr<PanelState>(stateOf(panel)).reset();
        ::SetWindowLongPtrW(panel, GWLP_USERDATA, 0);
        break;
    case WM_ERASEBKGND:
        paintBackground(panel, reinterpret_cast<HDC>(wParam));
        return 1;
    case WM_PRINTCLIENT:
        paintBackground(panel, reinterpret_cast<HDC>(wParam));
        return 0;
    case WM_PAINT: {
        PAINTSTRUCT paint;
        ::BeginPaint(panel, &paint);
        ::EndPaint(panel, &paint);
        return 0;
    }
    case WM_CTLCOLORSTATIC:
    case WM_CTLCOLORBTN: {
        const PanelState* state = stateOf(panel);
        auto* dc = reinterpret_cast<HDC>(wParam);
        if (state != nullptr && state->gradient) {
            // Labels on the header draw straight onto the gradient.
            ::SetBkMode(dc, TRANSPARENT);
            ::SetTextColor(dc, RGB(255, 255, 255));
            return reinterpret_cast<LRESULT>(::GetStockObject(NULL_BRUSH));
        }
        if (state != nullptr) {
            ::SetBkColor(dc, colorRef(state->background));
            return reinterpret_cast<LRESULT>(state->brush.get());
        }
        break;
    }
    case WM_COMMAND:
    case WM_NOTIFY:
        return ::SendMessageW(::GetParent(panel), message, wParam, lParam);
    default:
        break;
    }
    return ::DefWindowProcW(panel, message, wParam, lParam);
}

void registerPanelClass() {
    static const bool registered = [] {
        WNDCLASSEXW panelClass{};
        panelClass.cbSize = sizeof panelClass;
        panelClass.lpfnWndProc = panelProc;
        panelClass.hInstance = ::GetModuleHandleW(nullptr);
        panelClass.hCursor = ::LoadCursorW(nullptr, IDC_ARROW);
        panelClass.lpszClassName = kPanelClass;
        return ::RegisterClassExW(&panelClass) != 0;
    }();
    (void)registered;
}

} // namespace

HWND createPanel(HWND parent, int id, Colour background, int x, int y, int width, int height,
                 const DpiScale& scale) {
    registerPanelClass();
    return ::CreateWindowExW(
        WS_EX_CONTROLPARENT, kPanelClass, L"", WS_CHILD | WS_VISIBLE | WS_CLIPSIBLINGS, scale(x),
        scale(y), scale(width), scale(height), parent,
        reinterpret_cast<HMENU>(static_cast<INT_PTR>(id)), ::GetModuleHandleW(nullptr),
        reinterpret_cast<void*>(static_cast<UINT_PTR>(background)));
}

void paintGradient(HWND panel, Colour left, Colour right, GradientMode mode) {
    PanelState* state = stateOf(panel);
    if (state == nullptr) {
        return;
    }
    state->gradient = true;
    state->left = left;
    state->right = right;
    state->mode = mode;
    ::InvalidateRect(panel, nullptr, TRUE);
}

void enablePanel(HWND panel, bool enabled) {
    ::EnableWindow(panel, enabled ? TRUE : FALSE);
    for (HWND child = ::GetWindow(panel, GW_CHILD); child != nullptr;
         child = ::GetWindow(child, GW_HWNDNEXT)) {
        ::EnableWindow(child, enabled ? TRUE : FALSE);
    }
}

void fillGradient(HDC dc, const RECT& inner, Colour left, Colour right, GradientMode mode) {
    const auto vertices =
        gradientVertices(inner.right - inner.left, inner.bottom - inner.top, left, right);
    TRIVERTEX points[2];
    for (std::size_t i = 0; i < 2; ++i) {
        points[i].x = inner.left + vertices[i].x;
        points[i].y = inner.top + vertices[i].y;
        points[i].Red = vertices[i].red;
        points[i].Green = vertices[i].green;
        points[i].Blue = vertices[i].blue;
        points[i].Alpha = vertices[i].alpha;
    }
    GRADIENT_RECT rectangle{0, 1};
    // The result is not examined: a failed fill leaves the old picture.
    ::GradientFill(dc, points, 2, &rectangle, 1,
                   mode == GradientMode::Horizontal ? GRADIENT_FILL_RECT_H : GRADIENT_FILL_RECT_V);
}

} // namespace keldor::ui::win32
