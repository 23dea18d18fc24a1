// The mailbox file picker driven like a user would, on a headless display.

#include "ui/qt/frm_dbx.h"

#include "platform/text.h"
#include "tests/support/test_support.h"

#include <gtest/gtest.h>

#include <QApplication>
#include <QComboBox>
#include <QFileDialog>
#include <QLabel>
#include <QPushButton>
#include <QTest>
#include <QTimer>
#include <QTreeWidget>

#include <functional>

namespace keldor::ui {
namespace {

namespace fs = std::filesystem;
using testing::utf8;

std::string str(const QString& s) {
    return s.toStdString();
}

void makeFile(const fs::path& folder, const std::string& name, std::size_t size = 0) {
    testing::writeFile(folder / name, Bytes(size, 'x'));
}

class Picker : public ::testing::Test {
protected:
    Picker() {
        fs::create_directories(taro());
        fs::create_directories(hanako());
        makeFile(taro(), "受信トレイ.dbx", 1536);
        makeFile(taro(), "Folders.dbx");
        makeFile(taro(), "ニュース.dbx", 1500000);
        makeFile(taro(), "下書き.dbx", 511);
        makeFile(taro(), "送信済みアイテム.dbx");
        makeFile(taro(), "Pop3uidl.dbx");
        makeFile(taro(), "Search Folder 1.dbx");
        makeFile(hanako(), "削除済みアイテム.dbx", 2048);

        identities.entries = {
            {u"花子", platform::pathText(hanako()), u"C:\\OE\\Hanako"},
            {u"太郎", platform::pathText(taro()), u"C:\\OE\\Taro"},
            {u"No store", u"", u""},
        };
        identities.defaultIndex = 1;
    }
    fs::path taro() const { return dir.path() / "Taro"; }
    fs::path hanako() const { return dir.path() / "Hanako"; }

    static std::vector<std::string> rows(const frmDBX& dialog, int column = 0) {
        const auto* list = dialog.findChild<QTreeWidget*>("lvwDBXFile");
        std::vector<std::string> out;
        for (int i = 0; list != nullptr && i < list->topLevelItemCount(); ++i) {
            out.push_back(str(list->topLevelItem(i)->text(column)));
        }
        return out;
    }
    static void selectRow(frmDBX& dialog, int row) {
        auto* list = dialog.findChild<QTreeWidget*>("lvwDBXFile");
        list->topLevelItem(row)->setSelected(true);
    }
    static void chooseIdentity(frmDBX& dialog, int index) {
        dialog.findChild<QComboBox*>("cmbUser")->setCurrentIndex(index);
    }
    static void press(frmDBX& dialog, const char* button) {
        dialog.findChild<QPushButton*>(button)->click();
    }

    testing::TempDir dir;
    startup::Identities identities;
};

// Runs `handle` on the file-open dialog once it is showing. The first file
// dialog of a process can take seconds to appear on a loaded machine; if the
// handler never ran, the modal dialog would wait until the test times out.
void whenFileDialogShows(QWidget& owner, std::function<void(QFileDialog&)> handle,
                         int tries = 6000) {
    QTimer::singleShot(10, &owner, [&owner, handle, tries] {
        auto* dialog = owner.findChild<QFileDialog*>("CommonDialog1");
        if (dialog != nullptr && dialog->isVisible()) {
            handle(*dialog);
        } else if (tries > 0) {
            whenFileDialogShows(owner, handle, tries - 1);
        }
    });
}

TEST_F(Picker, OpensOnTheDefaultIdentityWithItsFiles) {
    frmDBX dialog(identities);
    EXPECT_TRUE(dialog.isListReady());
    EXPECT_EQ(str(dialog.windowTitle()), "DBXファイルを検索");
    const auto* users = dialog.findChild<QComboBox*>("cmbUser");
    ASSERT_NE(users, nullptr);
    ASSERT_EQ(users->count(), 3);
    EXPECT_EQ(str(users->itemText(0)), "花子");
    EXPECT_EQ(str(users->itemText(2)), "No store");
    EXPECT_EQ(users->currentIndex(), 1);

    EXPECT_EQ(rows(dialog), (std::vector<std::string>{"受信トレイ.dbx", "送信済みアイテム.dbx",
                                                      "下書き.dbx", "ニュース.dbx"}));
    EXPECT_EQ(rows(dialog, 1), (std::vector<std::string>{"2KB", "0KB", "0KB", "1,465KB"}));
    const auto* list = dialog.findChild<QTreeWidget*>("lvwDBXFile");
    EXPECT_EQ(str(list->headerItem()->text(0)), "DBXファイル名");
    EXPECT_EQ(str(list->headerItem()->text(1)), "サイズ");
    EXPECT_TRUE(list->topLevelItem(3)->textAlignment(1) & Qt::AlignRight);
    for (int i = 0; i < list->topLevelItemCount(); ++i) {
        EXPECT_FALSE(list->topLevelItem(i)->icon(0).isNull());
    }
    // Different kinds get different icons.
    EXPECT_NE(list->topLevelItem(0)->icon(0).pixmap(16).toImage(),
              list->topLevelItem(3)->icon(0).pixmap(16).toImage());

    EXPECT_EQ(str(dialog.findChild<QLabel*>("Label3")->text()),
              "Outlook Express のメッセージファイルを指定します。");
    EXPECT_EQ(str(dialog.findChild<QLabel*>("Label1")->text()), "ユーザ(&U):");
    EXPECT_EQ(str(dialog.findChild<QLabel*>("Label2")->text()), "DBXファイル(&D):");
    EXPECT_EQ(str(dialog.findChild<QPushButton*>("cmdOpen")->text()), "ファイルを開く");
    EXPECT_TRUE(dialog.findChild<QPushButton*>("cmdOK")->isDefault());
    EXPECT_EQ(str(dialog.findChild<QPushButton*>("cmdCancel")->text()), "キャンセル");

    // A second opening lists the same files once each.
    frmDBX again(identities);
    EXPECT_EQ(rows(again), rows(dialog));
    EXPECT_EQ(again.findChild<QComboBox*>("cmbUser")->currentIndex(), 1);
}

TEST_F(Picker, ChoosingAnIdentityReplacesTheRows) {
    frmDBX dialog(identities);
    chooseIdentity(dialog, 0);
    EXPECT_EQ(rows(dialog), std::vector<std::string>{"削除済みアイテム.dbx"});
    EXPECT_EQ(rows(dialog, 1), std::vector<std::string>{"2KB"});
    chooseIdentity(dialog, 2);
    EXPECT_TRUE(rows(dialog).empty());
    chooseIdentity(dialog, 1);
    EXPECT_EQ(rows(dialog).size(), 4u);
}

TEST_F(Picker, DefaultIdentityWithoutStoreShowsAnEmptyList) {
    identities.defaultIndex = 2;
    frmDBX dialog(identities);
    EXPECT_TRUE(rows(dialog).empty());
    startup::Identities none; // what discovery gives without any identity
    frmDBX empty(none);
    EXPECT_TRUE(rows(empty).empty());
    EXPECT_EQ(empty.findChild<QComboBox*>("cmbUser")->count(), 1);
}

TEST_F(Picker, OkTakesTheSelectedRowOfTheChosenIdentity) {
    frmDBX dialog(identities);
    dialog.show();
    chooseIdentity(dialog, 0);
    selectRow(dialog, 0);
    press(dialog, "cmdOK");
    EXPECT_EQ(dialog.result(), QDialog::Accepted);
    EXPECT_FALSE(dialog.isVisible());
    EXPECT_EQ(utf8(dialog.selectedPath()), (hanako() / "削除済みアイテム.dbx").string());
}

TEST_F(Picker, OkWithoutASelectedRowStaysOpen) {
    frmDBX dialog(identities);
    dialog.show();
    press(dialog, "cmdOK");
    EXPECT_TRUE(dialog.isVisible());
    EXPECT_EQ(dialog.selectedPath(), u"");

    chooseIdentity(dialog, 2); // an empty list
    press(dialog, "cmdOK");
    EXPECT_TRUE(dialog.isVisible());
    EXPECT_EQ(dialog.selectedPath(), u"");
}

TEST_F(Picker, DoubleClickActsAsOk) {
    frmDBX dialog(identities);
    dialog.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&dialog));
    auto* list = dialog.findChild<QTreeWidget*>("lvwDBXFile");
    const QRect row = list->visualItemRect(list->topLevelItem(3));
    QTest::mouseClick(list->viewport(), Qt::LeftButton, {}, row.center());
    QTest::mouseDClick(list->viewport(), Qt::LeftButton, {}, row.center());
    EXPECT_EQ(dialog.result(), QDialog::Accepted);
    EXPECT_EQ(utf8(dialog.selectedPath()), (taro() / "ニュース.dbx").string());
}

TEST_F(Picker, CancelAndEscapeLeaveNothingChosen) {
    frmDBX cancelled(identities);
    cancelled.show();
    selectRow(cancelled, 0);
    press(cancelled, "cmdCancel");
    EXPECT_EQ(cancelled.result(), QDialog::Rejected);
    EXPECT_FALSE(cancelled.isVisible());
    EXPECT_EQ(cancelled.selectedPath(), u"");

    frmDBX escaped(identities);
    escaped.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&escaped));
    selectRow(escaped, 0);
    QTest::keyClick(&escaped, Qt::Key_Escape);
    EXPECT_FALSE(escaped.isVisible());
    EXPECT_EQ(escaped.selectedPath(), u"");
}

TEST_F(Picker, OpenStartsInTheDefaultIdentityFolder) {
    frmDBX dialog(identities);
    dialog.show();
    chooseIdentity(dialog, 0); // not the default identity
    std::string startFolder;
    QStringList filters;
    const fs::path picked = dir.path() / "elsewhere.dbx";
    makeFile(dir.path(), "elsewhere.dbx");
    whenFileDialogShows(dialog, [&](QFileDialog& files) {
        startFolder = str(files.directory().absolutePath());
        filters = files.nameFilters();
        files.selectFile(QString::fromStdString(picked.string()));
        static_cast<QDialog&>(files).accept(); // as the dialog's Open button does
    });
    press(dialog, "cmdOpen");
    EXPECT_EQ(startFolder, taro().string());
    ASSERT_EQ(filters.size(), 2);
    EXPECT_EQ(str(filters[0]), "DBXファイル (*.dbx)");
    EXPECT_EQ(dialog.result(), QDialog::Accepted);
    EXPECT_EQ(utf8(dialog.selectedPath()), picked.string());
}

TEST_F(Picker, CancelledOpenKeepsThePickerOpen) {
    frmDBX dialog(identities);
    dialog.show();
    bool shown = false;
    whenFileDialogShows(dialog, [&](QFileDialog& files) {
        shown = true;
        files.reject();
    });
    press(dialog, "cmdOpen");
    EXPECT_TRUE(shown);
    EXPECT_TRUE(dialog.isVisible());
    EXPECT_EQ(dialog.selectedPath(), u"");
}

TEST_F(Picker, ReadsTheIdentitiesFoundAtStartUp) {
    startup::IdentityList = identities;
    frmDBX dialog;
    EXPECT_EQ(dialog.findChild<QComboBox*>("cmbUser")->count(), 3);
    EXPECT_EQ(rows(dialog).size(), 4u);
    startup::IdentityList = startup::Identities{};
}

} // namespace
} // namespace keldor::ui

int main(int argc, char** argv) {
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) {
        qputenv("QT_QPA_PLATFORM", "offscreen");
    }
    ::testing::InitGoogleTest(&argc, argv);
    QApplication app(argc, argv);
    return RUN_ALL_TESTS();
}
