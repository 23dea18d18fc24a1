#include "ui/win32/folder_image_list.h"

#include "ui/folder_icons.h"

#include <cmath>
#include <iterator>

namespace keldor::ui::win32 {

namespace {

constexpr COLORREF kMaskColour = RGB(255, 0, 255);

COLORREF colorRef(Colour colour) {
    return RGB(redOf(colour), greenOf(colour), blueOf(colour));
}

// One icon drawn into `dc` at `size` pixels.
void drawFolder(HDC dc, int size, std::size_t index) {
    const double scale = static_cast<double>(size) / kFolderIconSize;
    const auto at = [scale](const IconPoint& p) {
        return POINT{static_cast<LONG>(std::lround(p.x * scale)),
                     static_cast<LONG>(std::lround(p.y * scale))};
    };

    UniqueBrush background(::CreateSolidBrush(kMaskColour));
    const RECT all{0, 0, size, size};
    ::FillRect(dc, &all, background.get());

    GdiObject<HPEN> edge(::CreatePen(PS_SOLID, 1, colorRef(kFolderEdgeColour)));
    UniqueBrush fill(::CreateSolidBrush(colorRef(kFolderFillColour)));
    HGDIOBJ oldPen = ::SelectObject(dc, edge.get());
    HGDIOBJ oldBrush = ::SelectObject(dc, fill.get());
    POINT outline[std::size(kFolderOutline)];
    for (std::size_t i = 0; i < std::size(kFolderOutline); ++i) {
        outline[i] = at(kFolderOutline[i]);
    }
    ::Polygon(dc, outline, static_cast<int>(std::size(outline)));
    const POINT tabFrom = at(kFolderTabLine[0]);
    const POINT tabTo = at(kFolderTabLine[1]);
    ::MoveToEx(dc, tabFrom.x, tabFrom.y, nullptr);
    ::LineTo(dc, tabTo.x, tabTo.y);

    if (const std::optional<Colour> mark = folderMarkColour(index)) {
        UniqueBrush markBrush(::CreateSolidBrush(colorRef(*mark)));
        ::SelectObject(dc, ::GetStockObject(NULL_PEN));
        ::SelectObject(dc, markBrush.get());
        const POINT from = at({kFolderMarkLeft, kFolderMarkTop});
        const POINT to = at({kFolderMarkLeft + kFolderMarkSize, kFolderMarkTop + kFolderMarkSize});
        ::Ellipse(dc, from.x, from.y, to.x + 1, to.y + 1);
        ::SelectObject(dc, fill.get());
    }
    ::SelectObject(dc, oldPen);
    ::SelectObject(dc, oldBrush);
}

} // namespace

HIMAGELIST createFolderImageList() {
    const int size = ::GetSystemMetrics(SM_CXSMICON);
    HIMAGELIST list = ::ImageList_Create(size, size, ILC_COLOR24 | ILC_MASK,
                                         static_cast<int>(kFolderIconCount), 0);
    if (list == nullptr) {
        return nullptr;
    }
    HDC screen = ::GetDC(nullptr);
    HDC dc = ::CreateCompatibleDC(screen);
    for (std::size_t index = 0; index < kFolderIconCount; ++index) {
        UniqueBitmap bitmap(::CreateCompatibleBitmap(screen, size, size));
        HGDIOBJ old = ::SelectObject(dc, bitmap.get());
        drawFolder(dc, size, index);
        ::SelectObject(dc, old);
        ::ImageList_AddMasked(list, bitmap.get(), kMaskColour);
    }
    ::DeleteDC(dc);
    ::ReleaseDC(nullptr, screen);
    return list;
}

} // namespace keldor::ui::win32
