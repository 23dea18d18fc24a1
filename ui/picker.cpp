#include "ui/picker.h"

#include "engine/recovery_run.h"
#include "platform/text.h"
#include "startup/mailbox_files.h"

namespace keldor::ui {

std::vector<PickerRow> pickerRows(TextView storeFolder) {
    std::vector<PickerRow> rows;
    if (storeFolder.empty()) {
        return rows;
    }
    for (const startup::MailboxFile& file :
         startup::listMailboxFiles(platform::toPath(storeFolder))) {
        rows.push_back(PickerRow{file.name, static_cast<std::size_t>(file.kind) - 1,
                                 startup::formatKilobytes(file.size)});
    }
    return rows;
}

PickerLogic::PickerLogic(startup::Identities identities) : identities_(std::move(identities)) {
    if (identities_.entries.empty()) {
        identities_.entries.emplace_back();
    }
    if (identities_.defaultIndex >= identities_.entries.size()) {
        identities_.defaultIndex = 0;
    }
}

OpenDialogSetup PickerLogic::openDialogSetup() const {
    OpenDialogSetup setup;
    setup.filters = {{u"DBXファイル (*.dbx)", u"*.dbx"}, {u"すべてのファイル", u"*.*"}};
    setup.filterIndex = 0;
    setup.initialFolder = identities_.defaultIdentity().storeFolder;
    return setup;
}

void PickerLogic::load() {
    ListReady_ = false;
    for (const startup::Identity& identity : identities_.entries) {
        addUser(identity.name);
    }
    selectUser(identities_.defaultIndex);
    listMailboxFiles(identities_.defaultIdentity().storeFolder);
    ListReady_ = true;
}

void PickerLogic::identityChosen(std::size_t index) {
    if (!ListReady_) {
        return;
    }
    clearRows();
    if (index < identities_.entries.size()) {
        listMailboxFiles(identities_.entries[index].storeFolder);
    }
}

void PickerLogic::listMailboxFiles(const Text& storeFolder) {
    if (!storeFolder.empty()) {
        addRows(pickerRows(storeFolder));
    }
}

void PickerLogic::okClicked() {
    const std::optional<Text> row = selectedRowName();
    const std::optional<std::size_t> user = chosenUser();
    if (!row || !user || *user >= identities_.entries.size()) {
        return;
    }
    selectedPath_ = engine::joinPath(identities_.entries[*user].storeFolder, *row);
    closeWithChoice();
}

void PickerLogic::openClicked() {
    const Text chosen = showOpenDialog(openDialogSetup());
    if (chosen.empty()) {
        return; // cancelled: the picker stays open
    }
    selectedPath_ = chosen;
    closeWithChoice();
}

} // namespace keldor::ui
