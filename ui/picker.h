#pragma once
// The mailbox file picker's behaviour, whatever toolkit draws it: which
// identities and rows it shows, what OK, a double-click and "ファイルを開く"
// hand back. A front end creates the controls, implements the hooks and
// forwards each event to its handler.

#include "platform/bytes.h"
#include "startup/mail_store_discovery.h"

#include <optional>
#include <vector>

namespace keldor::ui {

// One row of lvwDBXFile.
struct PickerRow {
    Text name;        // the file name, without the folder
    std::size_t icon; // index into imlFolder (the row's kind - 1)
    Text size;        // "###,##0KB"

    friend bool operator==(const PickerRow&, const PickerRow&) = default;
};

// The rows for one store folder, kind by kind (see startup::listMailboxFiles).
std::vector<PickerRow> pickerRows(TextView storeFolder);

// How the file-open dialog of "ファイルを開く" is set up.
struct OpenDialogSetup {
    struct Filter {
        Text description;
        Text pattern;
    };
    std::vector<Filter> filters; // mailbox files, then all files
    std::size_t filterIndex = 0; // 0-based: the first filter is chosen
    Text initialFolder;          // the default identity's store folder
};

class PickerLogic {
public:
    // Lists `identities` (the program's IdentityList in the program). An
    // empty list counts as one identity without name or store.
    explicit PickerLogic(startup::Identities identities);
    virtual ~PickerLogic() = default;

    [[nodiscard]] const startup::Identities& identities() const { return identities_; }
    // The full path of the chosen file; empty until OK or Open succeeded.
    [[nodiscard]] const Text& selectedPath() const { return selectedPath_; }
    // True once the list has been filled on opening; until then a change of
    // identity does not refill it.
    [[nodiscard]] bool isListReady() const { return ListReady_; }
    // The set-up of the file-open dialog: it starts in the default
    // identity's store folder whichever identity is chosen.
    [[nodiscard]] OpenDialogSetup openDialogSetup() const;

    // --- Events, forwarded by the front end ------------------------------

    // Once the controls exist: fills cmbUser, selects the default identity,
    // lists its files, sets ListReady.
    void load();
    // cmbUser's choice changed (mouse or keyboard).
    void identityChosen(std::size_t index);
    // cmdOK, or a double-click on a row. Without a selected row nothing
    // happens and the dialog stays open.
    void okClicked();
    // cmdOpen: the file-open dialog; a chosen file closes the picker with it,
    // Cancel leaves the picker open.
    void openClicked();

protected:
    // --- Hooks over the front end's controls -----------------------------

    virtual void addUser(const Text& name) = 0;
    virtual void selectUser(std::size_t index) = 0;
    [[nodiscard]] virtual std::optional<std::size_t> chosenUser() const = 0;
    virtual void clearRows() = 0;
    virtual void addRows(const std::vector<PickerRow>& rows) = 0;
    // The name of the selected row, nullopt when none is selected.
    [[nodiscard]] virtual std::optional<Text> selectedRowName() const = 0;
    // Shows the file-open dialog modally over the picker: the chosen file,
    // or the empty text on Cancel or failure.
    [[nodiscard]] virtual Text showOpenDialog(const OpenDialogSetup& setup) = 0;
    // Closes the dialog with selectedPath() as its result.
    virtual void closeWithChoice() = 0;

private:
    void listMailboxFiles(const Text& storeFolder);

    startup::Identities identities_;
    Text selectedPath_;
    bool ListReady_ = false;
};

} // namespace keldor::ui
