#pragma once
// The mailbox file picker on the Win32 API: the controls of the shared
// picker behaviour (ui/picker.h) in a modal dialog.

#include "ui/picker.h"
#include "ui/win32/win32_ui.h"

namespace keldor::ui::win32 {

class frmDBX : public PickerLogic {
public:
    enum Control : int {
        Label3 = 1101,
        Label1,
        cmbUser,
        Label2,
        lvwDBXFile,
        cmdOpen,
        cmdOK = IDOK,         // the default button: Enter
        cmdCancel = IDCANCEL, // the cancel button: Esc
    };

    explicit frmDBX(startup::Identities identities);
    frmDBX(const frmDBX&) = delete;
    frmDBX& operator=(const frmDBX&) = delete;

    // Shows the picker modally over `owner`, centred on it; returns the
    // chosen path, or the empty text when cancelled. One showing per object:
    // each opening of the picker is a new frmDBX, starting from load.
    Text showModal(HWND owner);
    // The dialog while it is shown, or nullptr.
    [[nodiscard]] HWND handle() const { return window_; }

protected:
    // PickerLogic
    void addUser(const Text& name) override;
    void selectUser(std::size_t index) override;
    [[nodiscard]] std::optional<std::size_t> chosenUser() const override;
    void clearRows() override;
    void addRows(const std::vector<PickerRow>& rows) override;
    [[nodiscard]] std::optional<Text> selectedRowName() const override;
    [[nodiscard]] Text showOpenDialog(const OpenDialogSetup& setup) override;
    void closeWithChoice() override;

private:
    static INT_PTR CALLBACK dialogProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
    void create(HWND window);
    INT_PTR handleMessage(UINT message, WPARAM wParam, LPARAM lParam);
    [[nodiscard]] HWND control(int id) const { return ::GetDlgItem(window_, id); }

    HWND window_ = nullptr;
};

} // namespace keldor::ui::win32
