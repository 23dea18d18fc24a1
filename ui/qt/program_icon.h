#pragma once
// The program's icon, drawn in code: an envelope with a return arrow.

#include <QIcon>
#include <QPixmap>

namespace keldor::ui {

QPixmap programPixmap(int size);
QIcon programIcon();

} // namespace keldor::ui
