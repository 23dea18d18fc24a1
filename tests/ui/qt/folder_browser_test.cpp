#include "platform/text.h"
#include "tests/support/test_support.h"
#include "tests/ui/qt/ui_test_support.h"
#include "ui/qt/folder_browser.h"
#include "ui/qt/frm_main.h"
#include "ui/qt/qt_text.h"

#include <QApplication>
#include <QFileDialog>
#include <QLineEdit>
#include <QPushButton>
#include <QTimer>

#include <gtest/gtest.h>

#include <functional>

namespace keldor::testing {
namespace {

void actOnDialog(std::function<void(QFileDialog&)> act) {
    if (auto* dialog = qobject_cast<QFileDialog*>(QApplication::activeModalWidget())) {
        act(*dialog);
        return;
    }
    QTimer::singleShot(10, [act = std::move(act)]() mutable { actOnDialog(std::move(act)); });
}

// Acts on the folder dialog as soon as it is open.
void whenDialogOpens(std::function<void(QFileDialog&)> act) {
    QTimer::singleShot(0, [act = std::move(act)]() mutable { actOnDialog(std::move(act)); });
}

TEST(FolderBrowser, CancelGivesEmptyTextAndDialogCarriesTitle) {
    QString title;
    whenDialogOpens([&](QFileDialog& dialog) {
        title = dialog.windowTitle();
        dialog.reject();
    });
    EXPECT_TRUE(ui::browseForFolder(nullptr).empty());
    EXPECT_EQ(title, QStringLiteral("フォルダを選択してください"));
}

TEST(FolderBrowser, ChosenFolderGoesIntoOutputBoxAndCancelLeavesIt) {
    TempDir chosen;
    TempDir initial;
    AnsweringBoxes boxes;
    ui::MainWindowSetup setup;
    setup.defaultOutputFolder = platform::pathText(initial.path());
    ui::frmMain window(setup, boxes);
    auto* eml = child<QLineEdit>(window, "txtEMLFolder");
    auto* find = child<QPushButton>(window, "cmdFindEML");

    whenDialogOpens([](QFileDialog& dialog) { dialog.reject(); });
    find->click();
    EXPECT_EQ(ui::toText(eml->text()), platform::pathText(initial.path()));

    whenDialogOpens([&](QFileDialog& dialog) {
        dialog.setDirectory(ui::toQString(platform::pathText(chosen.path())));
        dialog.selectFile(ui::toQString(platform::pathText(chosen.path())));
        static_cast<QDialog&>(dialog).accept();
    });
    find->click();
    EXPECT_EQ(ui::toText(eml->text()), platform::pathText(chosen.path()));
}

} // namespace
} // namespace keldor::testing
