#include "ui/qt/folder_browser.h"

#include "ui/captions.h"
#include "ui/qt/qt_text.h"

#include <QDir>
#include <QFileDialog>

namespace keldor::ui {

Text browseForFolder(QWidget* owner) {
    const QString folder = QFileDialog::getExistingDirectory(
        owner, toQString(kBrowseForFolderTitle), QString(), QFileDialog::ShowDirsOnly);
    return folder.isEmpty() ? Text() : toText(QDir::toNativeSeparators(folder));
}

} // namespace keldor::ui
