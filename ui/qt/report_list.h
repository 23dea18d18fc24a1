#pragma once
// The report-style list of mailbox files in the picker: its six folder
// icons (imlFolder) and its rows.

#include "ui/picker.h"

#include <QIcon>
#include <QTreeWidget>

#include <vector>

namespace keldor::ui {

// The six small folder icons of ui/folder_icons.h, in the kinds' order.
std::vector<QIcon> folderIcons();

// A report-style list with the two columns: file name, and size aligned right.
void setUpMailboxList(QTreeWidget& list);

// One row per picker row, in the order given: name, icon, size.
void addMailboxRows(QTreeWidget& list, const std::vector<PickerRow>& rows,
                    const std::vector<QIcon>& icons);

} // namespace keldor::ui
