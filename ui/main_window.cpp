#include "ui/main_window.h"

#include "engine/recovery_run.h"
#include "engine/scan_run.h"
#include "engine/run_flags.h"
#include "platform/text.h"
#include "startup/mail_store_discovery.h"
#include "ui/captions.h"

#include <variant>

namespace keldor::ui {

using engine::MessageAnswer;
using engine::MessageButtons;
using engine::MessageIcon;

MainWindowSetup discoverMainWindowSetup() {
    startup::discoverMailStores();

    const startup::Identity& identity = startup::IdentityList.defaultIdentity();
    MainWindowSetup setup;
    setup.defaultIdentityName = identity.name;
    setup.defaultMailboxPath = startup::deletedItemsPath(identity);
    setup.defaultOutputFolder = startup::DefaultOutputFolder;
    return setup;
}

Text optDefaultCaption(TextView identityName) {
    return Text(identityName) + main_captions::optDefaultSuffix;
}

bool startButtonEnabled(bool folderModeSelected, TextView mailboxFile, TextView outputFolder) {
    const bool missingMailbox = folderModeSelected && mailboxFile.empty();
    return !missingMailbox && !outputFolder.empty();
}

Text focusHelpText(MainTextBox box, bool gained) {
    if (!gained) {
        return {};
    }
    switch (box) {
    case MainTextBox::DbxFile:
        return u"DBXファイルを指定します。";
    case MainTextBox::EmlFolder:
        return u"EMLファイルの出力先を指定します。";
    case MainTextBox::NullAnk:
    case MainTextBox::NullKanji:
        break;
    }
    return {};
}

Text helpFilePath(TextView programFolder) {
    return engine::joinPath(programFolder, kHelpFileName);
}

Text helpMissingMessage(TextView helpFile) {
    const std::size_t slash = helpFile.find_last_of(u"/\\");
    const TextView name = slash == TextView::npos ? helpFile : helpFile.substr(slash + 1);
    return u"ヘルプファイル " + Text(name) + u" を開けませんでした。\r\n" + Text(helpFile);
}

MainWindowLogic::MainWindowLogic(MainWindowSetup setup) : setup_(std::move(setup)) {}

Text MainWindowLogic::outputLocation() const {
    return boxText(MainTextBox::EmlFolder);
}

void MainWindowLogic::load() {
    setOptDefaultCaption(optDefaultCaption(setup_.defaultIdentityName));
    setBoxText(MainTextBox::EmlFolder, setup_.defaultOutputFolder);
    updateStartButton(); // also when the text did not change (an empty default)
    setText(engine::StatusControl::Message, Text());
}

void MainWindowLogic::updateStartButton() {
    setStartEnabled(startButtonEnabled(folderModeSelected(), boxText(MainTextBox::DbxFile),
                                       boxText(MainTextBox::EmlFolder)));
}

void MainWindowLogic::focusChanged(MainTextBox box, bool gained) {
    if (box == MainTextBox::DbxFile || box == MainTextBox::EmlFolder) {
        setText(engine::StatusControl::Message, focusHelpText(box, gained));
    }
}

void MainWindowLogic::startClicked() {
    runClicked(false);
}

void MainWindowLogic::rescueClicked() {
    runClicked(true);
}

void MainWindowLogic::runClicked(bool rescue) {
    if (running_) {
        return; // a click queued behind the one that started the run
    }
    const std::variant<repair::RepairOptions, repair::ReplacementRejection> checked =
        repair::makeRepairOptions(boxText(MainTextBox::NullAnk), boxText(MainTextBox::NullKanji));
    if (const auto* rejection = std::get_if<repair::ReplacementRejection>(&checked)) {
        showMessage(repair::rejectionMessage(*rejection), MessageIcon::None, MessageButtons::Ok);
        focusBox(*rejection == repair::ReplacementRejection::HalfWidth ? MainTextBox::NullAnk
                                                                       : MainTextBox::NullKanji);
        return;
    }

    running_ = true;
    setInputsEnabled(false);
    repairOptions_ = std::get<repair::RepairOptions>(checked);
    const Text mailbox =
        folderModeSelected() ? boxText(MainTextBox::DbxFile) : setup_.defaultMailboxPath;

    if (rescue) {
        engine::scanMailbox(platform::toPath(mailbox), *this, repairOptions_);
    } else {
        engine::recoverMailbox(platform::toPath(mailbox), *this, repairOptions_);
    }

    running_ = false;
    setInputsEnabled(true);
    if (engine::ExitAfterStop) {
        closeWindow();
    }
}

void MainWindowLogic::stopClicked() {
    if (!running_) {
        return;
    }
    if (showMessage(kStopQuestion, MessageIcon::Question, MessageButtons::YesNo) ==
        MessageAnswer::Yes) {
        engine::StopRequested = true;
    }
}

bool MainWindowLogic::closeRequested() {
    if (!running_) {
        return true;
    }
    // The run is still on the stack below us: it must finish before the
    // window goes, so a close only asks it to stop and to close after.
    if (showMessage(kCloseQuestion, MessageIcon::Question, MessageButtons::YesNo) ==
        MessageAnswer::Yes) {
        engine::StopRequested = true;
        engine::ExitAfterStop = true;
    }
    return false;
}

void MainWindowLogic::findDbxClicked() {
    const Text chosen = pickMailboxFile();
    if (!chosen.empty()) {
        setBoxText(MainTextBox::DbxFile, chosen);
        selectFolderMode();
        updateStartButton();
    }
}

void MainWindowLogic::findEmlClicked() {
    const Text chosen = browseForFolder();
    if (!chosen.empty()) {
        setBoxText(MainTextBox::EmlFolder, chosen);
    }
}

void MainWindowLogic::helpClicked() {
    const Text path = helpFile();
    if (openHelpFile(path)) {
        helpOpened_ = true;
        return;
    }
    showMessage(helpMissingMessage(path), MessageIcon::Warning, MessageButtons::Ok);
}

} // namespace keldor::ui
