// The Win32 mailbox file picker on a temporary store folder, worked from
// inside its modal loop.

#include "platform/text.h"
#include "tests/support/test_support.h"
#include "tests/ui/win32/window_test_support.h"
#include "ui/win32/frm_dbx.h"
#include "ui/win32/single_instance.h"

#include <commctrl.h>

#include <gtest/gtest.h>

namespace keldor::testing {
namespace {

namespace fs = std::filesystem;
using ui::win32::frmDBX;
using ui::win32::fromWide;
using ui::win32::windowText;

struct Row {
    Text name;
    Text size;
    int icon;
    friend bool operator==(const Row&, const Row&) = default;
};

std::vector<Row> rowsOf(HWND dialog) {
    HWND list = ::GetDlgItem(dialog, frmDBX::lvwDBXFile);
    std::vector<Row> rows;
    const auto count = static_cast<int>(::SendMessageW(list, LVM_GETITEMCOUNT, 0, 0));
    for (int i = 0; i < count; ++i) {
        Row row;
        for (int column = 0; column < 2; ++column) {
            wchar_t text[260] = {};
            LVITEMW item{};
            item.iSubItem = column;
            item.pszText = text;
            item.cchTextMax = 260;
            ::SendMessageW(list, LVM_GETITEMTEXTW, static_cast<WPARAM>(i),
                           reinterpret_cast<LPARAM>(&item));
            (column == 0 ? row.name : row.size) = fromWide(text);
        }
        LVITEMW image{};
        image.mask = LVIF_IMAGE;
        image.iItem = i;
        ::SendMessageW(list, LVM_GETITEMW, 0, reinterpret_cast<LPARAM>(&image));
        row.icon = image.iImage;
        rows.push_back(row);
    }
    return rows;
}

std::vector<Text> usersOf(HWND dialog) {
    HWND combo = ::GetDlgItem(dialog, frmDBX::cmbUser);
    std::vector<Text> users;
    const auto count = static_cast<int>(::SendMessageW(combo, CB_GETCOUNT, 0, 0));
    for (int i = 0; i < count; ++i) {
        wchar_t text[260] = {};
        ::SendMessageW(combo, CB_GETLBTEXT, static_cast<WPARAM>(i), reinterpret_cast<LPARAM>(text));
        users.push_back(fromWide(text));
    }
    return users;
}

// Chooses identity `index` in cmbUser as the user would.
void chooseUser(HWND dialog, int index) {
    HWND combo = ::GetDlgItem(dialog, frmDBX::cmbUser);
    ::SendMessageW(combo, CB_SETCURSEL, static_cast<WPARAM>(index), 0);
    ::SendMessageW(dialog, WM_COMMAND, MAKEWPARAM(frmDBX::cmbUser, CBN_SELCHANGE),
                   reinterpret_cast<LPARAM>(combo));
}

void selectRow(HWND dialog, int row) {
    LVITEMW state{};
    state.stateMask = LVIS_SELECTED | LVIS_FOCUSED;
    state.state = LVIS_SELECTED | LVIS_FOCUSED;
    ::SendMessageW(::GetDlgItem(dialog, frmDBX::lvwDBXFile), LVM_SETITEMSTATE,
                   static_cast<WPARAM>(row), reinterpret_cast<LPARAM>(&state));
}

class Win32Picker : public ::testing::Test {
protected:
    Win32Picker() {
        fs::create_directories(taro());
        fs::create_directories(hanako());
        // The example store folder: two bookkeeping files left out whatever their case.
        writeFile(taro() / u"受信トレイ.dbx", Bytes(1536, 'x'));
        writeFile(taro() / "Folders.dbx", "");
        writeFile(taro() / u"ニュース.dbx", Bytes(1500000, 'x'));
        writeFile(taro() / u"下書き.dbx", Bytes(511, 'x'));
        writeFile(taro() / u"送信済みアイテム.dbx", "");
        writeFile(taro() / "Pop3uidl.dbx", "");
        writeFile(taro() / "Search Folder 1.dbx", "");
        writeFile(hanako() / u"削除済みアイテム.dbx", Bytes(2048, 'x'));
        identities.entries = {
            {u"花子", platform::pathText(hanako()), platform::pathText(hanako())},
            {u"太郎", platform::pathText(taro()), platform::pathText(taro())},
            {u"No store", u"", u""},
        };
        identities.defaultIndex = 1;
    }
    fs::path taro() const { return dir.path() / "Taro"; }
    fs::path hanako() const { return dir.path() / "Hanako"; }

    TempDir dir;
    startup::Identities identities;
    ui::win32::ApplicationWindow owner;
    ModalScript script;
};

TEST_F(Win32Picker, ListsTheDefaultIdentitysFilesKindByKindAndOkTakesTheSelectedRow) {
    std::vector<Text> users;
    std::vector<Row> rows;
    std::vector<Row> hanakoRows;
    std::vector<Row> noStoreRows;
    Text caption;
    bool openAfterEmptyOk = false;
    script.then([&](HWND dialog) {
        caption = windowText(dialog);
        users = usersOf(dialog);
        rows = rowsOf(dialog);
        // OK without a selected row leaves the picker open.
        ::SendMessageW(dialog, WM_COMMAND, MAKEWPARAM(IDOK, BN_CLICKED), 0);
        openAfterEmptyOk = ::IsWindowVisible(dialog) != FALSE;
        chooseUser(dialog, 2);
        noStoreRows = rowsOf(dialog);
        chooseUser(dialog, 0);
        hanakoRows = rowsOf(dialog);
        selectRow(dialog, 0);
        pressDialogButton(dialog, IDOK);
    });
    frmDBX picker(identities);
    const Text chosen = picker.showModal(owner.handle());

    EXPECT_EQ(caption, u"DBXファイルを検索");
    EXPECT_EQ(users, (std::vector<Text>{u"花子", u"太郎", u"No store"}));
    EXPECT_EQ(rows, (std::vector<Row>{{u"受信トレイ.dbx", u"2KB", 0},
                                      {u"送信済みアイテム.dbx", u"0KB", 2},
                                      {u"下書き.dbx", u"0KB", 4},
                                      {u"ニュース.dbx", u"1,465KB", 5}}));
    EXPECT_TRUE(openAfterEmptyOk);
    EXPECT_TRUE(noStoreRows.empty());
    EXPECT_EQ(hanakoRows, (std::vector<Row>{{u"削除済みアイテム.dbx", u"2KB", 3}}));
    EXPECT_EQ(chosen, platform::pathText(hanako() / u"削除済みアイテム.dbx"));
}

TEST_F(Win32Picker, CancelAndEscapeLeaveNothingChosen) {
    script.then([](HWND dialog) {
        selectRow(dialog, 0);
        pressDialogButton(dialog, IDCANCEL);
    });
    frmDBX picker(identities);
    EXPECT_EQ(picker.showModal(owner.handle()), u"");
    EXPECT_EQ(script.modalsSeen, 1);
}

TEST_F(Win32Picker, CancelledFileDialogKeepsThePickerOpen) {
    bool pickerStillOpen = false;
    HWND pickerWindow = nullptr;
    script.then([&](HWND dialog) {
        pickerWindow = dialog;
        pressDialogButton(dialog, frmDBX::cmdOpen);
    });
    script.then([&](HWND fileDialog) {
        pickerStillOpen = ::IsWindow(pickerWindow) != FALSE;
        ::PostMessageW(fileDialog, WM_COMMAND, MAKEWPARAM(IDCANCEL, BN_CLICKED), 0);
    });
    script.then([&](HWND dialog) {
        EXPECT_EQ(dialog, pickerWindow) << "the picker closed with the file dialog";
        pressDialogButton(dialog, IDCANCEL);
    });
    frmDBX picker(identities);
    EXPECT_EQ(picker.showModal(owner.handle()), u"");
    EXPECT_TRUE(pickerStillOpen);
}

} // namespace
} // namespace keldor::testing
