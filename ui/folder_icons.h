#pragma once
// The six small folder icons of the picker (imlFolder), as a drawing that
// each toolkit renders: a manila folder, with a coloured mark that tells the
// well-known folders apart. Coordinates are on a 16 x 16 grid.

#include "ui/gradient.h"

#include <cstddef>
#include <optional>

namespace keldor::ui {

inline constexpr int kFolderIconSize = 16;
inline constexpr std::size_t kFolderIconCount = 6; // one per FolderKind, in its order

struct IconPoint {
    double x;
    double y;
};

// The folder's outline, a closed polygon, and the line under its tab.
inline constexpr IconPoint kFolderOutline[] = {{1.5, 4.5},  {6.0, 4.5},   {7.5, 3.0},
                                               {14.5, 3.0}, {14.5, 13.5}, {1.5, 13.5}};
inline constexpr IconPoint kFolderTabLine[] = {{1.5, 6.0}, {14.5, 6.0}};
inline constexpr Colour kFolderEdgeColour = rgbColour(0x9c, 0x7a, 0x1e);
inline constexpr Colour kFolderFillColour = rgbColour(0xf5, 0xd3, 0x6b);

// The mark: a disc in this square.
inline constexpr double kFolderMarkLeft = 8.0;
inline constexpr double kFolderMarkTop = 7.5;
inline constexpr double kFolderMarkSize = 6.0;

// The mark's colour for icon `index` (kind - 1): inbox, outbox, sent items,
// deleted items, drafts; nullopt for any other folder, which has no mark.
std::optional<Colour> folderMarkColour(std::size_t index);

} // namespace keldor::ui
