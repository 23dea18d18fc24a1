// The windowed program's entry: one instance per user; the first start finds
// the mail stores and shows the main window, a later one brings the running
// instance to the front and ends.

#include "ui/main_window.h"
#include "ui/qt/frm_main.h"
#include "ui/qt/message_box.h"
#include "ui/qt/qt_text.h"
#include "ui/qt/single_instance.h"

#include <QApplication>

int main(int argc, char* argv[]) {
    using namespace keldor::ui;

    QApplication app(argc, argv);
    QApplication::setApplicationName(toQString(kApplicationTitle));

    SingleInstance instance(SingleInstance::defaultServerName());
    if (!instance.claim()) {
        return 0; // the running instance has been asked to come to the front
    }

    QtMessageBoxes boxes;
    frmMain window(discoverMainWindowSetup(), boxes);
    instance.onActivate = [&window] { bringToFront(&window); };
    window.show();
    return QApplication::exec();
}
