// STAND-IN, to be replaced when start-up discovery (discoverMailStores,
// IdentityList, DefaultOutputFolder, the header-name table) and the mailbox
// picker frmDBX are in the tree. Until then the window starts with no
// identity, the XDG documents folder as output location, and a plain file
// dialog for .dbx files in place of the picker.

#include "ui/main_window_services.h"

#include "ui/qt_text.h"

#include <QDir>
#include <QFileDialog>
#include <QStandardPaths>

namespace keldor::ui {

MainWindowSetup discoverMainWindowSetup() {
    MainWindowSetup setup;
    setup.defaultMailboxPath = u"/削除済みアイテム.dbx";
    setup.defaultOutputFolder = toText(QDir::toNativeSeparators(
        QStandardPaths::writableLocation(QStandardPaths::DocumentsLocation)));
    setup.pickMailboxFile = [](QWidget *owner) {
        const QString file = QFileDialog::getOpenFileName(owner, QString(), QString(),
                                                          QStringLiteral("DBX (*.dbx)"));
        return toText(QDir::toNativeSeparators(file));
    };
    return setup;
}

} // namespace keldor::ui
