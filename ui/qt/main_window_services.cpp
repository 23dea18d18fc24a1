#include "ui/qt/main_window_services.h"

#include "startup/mail_store_discovery.h"
#include "ui/qt/frm_dbx.h"

namespace keldor::ui {

MainWindowSetup discoverMainWindowSetup() {
    startup::discoverMailStores();

    const startup::Identity& identity = startup::IdentityList.defaultIdentity();
    MainWindowSetup setup;
    setup.defaultIdentityName = identity.name;
    setup.defaultMailboxPath = startup::deletedItemsPath(identity);
    setup.defaultOutputFolder = startup::DefaultOutputFolder;
    setup.pickMailboxFile = [](QWidget* owner) {
        frmDBX picker(owner);
        picker.exec();
        return picker.selectedPath();
    };
    return setup;
}

} // namespace keldor::ui
