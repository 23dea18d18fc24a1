#pragma once
// The report-style list of mailbox files in the picker: its six folder
// icons (imlFolder) and its rows.

#include "startup/mailbox_files.h"

#include <QIcon>
#include <QTreeWidget>

#include <vector>

namespace keldor::ui {

// Six small folder icons, one per FolderKind, in the kinds' order (index
// kind - 1).
std::vector<QIcon> folderIcons();

// A report-style list with the two columns: file name, and size aligned right.
void setUpMailboxList(QTreeWidget& list);

// One row per file, in the order given: name, the kind's icon, the size in
// kilobytes.
void addMailboxRows(QTreeWidget& list, const std::vector<startup::MailboxFile>& files,
                    const std::vector<QIcon>& icons);

} // namespace keldor::ui
