#pragma once
// The main window on the Win32 API: the controls of the shared main-window
// behaviour (ui/main_window.h), the menu, and the status area the run
// drives. A modeless dialog owned by the application window.

#include "ui/main_window.h"
#include "ui/win32/html_help.h"
#include "ui/win32/win32_ui.h"

#include <functional>

namespace keldor::ui::win32 {

class frmMain : public MainWindowLogic {
public:
    // Control and menu identifiers, named after the controls.
    enum Control : int {
        picHeader = 1001,
        lblHeader,
        lblBanner,
        picFrame,
        Label2,
        optDefault,
        optFolder,
        txtDBXFile,
        cmdFindDBX,
        Label5,
        txtEMLFolder,
        cmdFindEML,
        Label7,
        Label1,
        Label3,
        txtNullAnk,
        Label4,
        txtNullKanji,
        Label6,
        Picture1,
        lblMessage,
        lblProc,
        lblRename,
        prgStatus,
        lblPercent,
        lblStatus,
        cmdStart,
        cmdStop,
        mnuFile = 2001,
        mnuFileExit,
        mnuHelp,
        mnuHelpHelp,
        mnuHelpLine1,
        mnuHelpAbout,
        mnuFileRescue,
        mnuFileLine1,
    };

    // Creates the window, hidden, owned by `owner` (the application window),
    // and runs its load step.
    frmMain(MainWindowSetup setup, HWND owner);
    frmMain(const frmMain&) = delete;
    frmMain& operator=(const frmMain&) = delete;
    ~frmMain() override;

    // Shows the window (centred on the screen until it is moved).
    void show();
    [[nodiscard]] HWND handle() const { return window_; }
    // The control `id` (any Control but the menu items), or nullptr.
    [[nodiscard]] HWND control(int id) const;
    [[nodiscard]] HMENU menu() const { return menu_; }
    [[nodiscard]] bool busy() const { return busy_; }
    // Runs once the window has been destroyed (the entry routine ends the
    // program's message loop here).
    std::function<void()> onClosed;

    // Hands `message` to the window's keyboard handling (Tab, Enter, Esc,
    // access keys): true when it was taken.
    bool translateDialogMessage(MSG& message) const;

    // engine::RunView
    void setText(engine::StatusControl control, const Text& text) override;
    void setVisible(engine::StatusControl control, bool visible) override;
    void setProgress(int percent) override;
    void setBusy(bool busy) override;
    // Dispatches every pending message of this thread (PeekMessageW,
    // TranslateMessage, DispatchMessageW); a WM_QUIT is put back for the
    // message loop.
    void processEvents() override;
    engine::MessageAnswer showMessage(const Text& text, engine::MessageIcon icon,
                                      engine::MessageButtons buttons) override;
    // Starts "explorer.exe" on the folder and does not wait for it.
    void openFolder(const std::filesystem::path& folder) override;

protected:
    // MainWindowLogic
    [[nodiscard]] Text boxText(MainTextBox box) const override;
    void setBoxText(MainTextBox box, const Text& text) override;
    void focusBox(MainTextBox box) override;
    [[nodiscard]] bool folderModeSelected() const override;
    void selectFolderMode() override;
    void setOptDefaultCaption(const Text& caption) override;
    void setStartEnabled(bool enabled) override;
    void enableRescueItem();
    void setInputsEnabled(bool enabled) override;
    void closeWindow() override;
    [[nodiscard]] Text pickMailboxFile() override;
    [[nodiscard]] Text browseForFolder() override;
    [[nodiscard]] Text programFolder() const override;
    [[nodiscard]] bool openHelpFile(const Text& path) override;

private:
    static INT_PTR CALLBACK dialogProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
    INT_PTR handleMessage(UINT message, WPARAM wParam, LPARAM lParam);
    void create(HWND window);
    void buildMenu();
    void commandReceived(int id, int code);
    void requestClose();
    void aboutClicked();
    // Keeps the focus off a hidden Start or Stop button.
    void moveFocusOffHidden();
    [[nodiscard]] HWND box(MainTextBox which) const;

    HWND window_ = nullptr;
    HMENU menu_ = nullptr;
    UniqueFont headerFont_;
    UniqueFont bannerFont_;
    HtmlHelp help_;
    bool busy_ = false;
};

} // namespace keldor::ui::win32
