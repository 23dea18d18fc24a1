#pragma once
// The main window's behaviour, whatever toolkit draws it: what load, the
// Start and Stop buttons, the close box, the browse buttons, help and the
// focus help line do. A front end creates the controls, implements the
// hooks below over them and forwards each event to its handler.

#include "engine/run_view.h"
#include "platform/bytes.h"
#include "repair/repair_options.h"

namespace keldor::ui {

// What the main window takes from start-up discovery. The entry routine
// fills one of these once; tests build their own.
struct MainWindowSetup {
    // userName of the identity Outlook Express starts with (may be empty).
    Text defaultIdentityName;
    // That identity's Deleted Items mailbox: its store folder joined with
    // "削除済みアイテム.dbx".
    Text defaultMailboxPath;
    // The first proposal for the output location (the documents folder).
    Text defaultOutputFolder;
};

// Runs start-up discovery of the mail stores (the header-name table is a
// constant) and returns what the main window needs from it. Called once, by
// the entry routine, before the main window is made.
MainWindowSetup discoverMainWindowSetup();

// The caption of optDefault: the identity's name followed by
// "の削除済みアイテムフォルダ(&D)" (starting with "の" for an empty name).
Text optDefaultCaption(TextView identityName);

// The rule of cmdStart: disabled when the output folder is empty, or when
// optFolder is selected and the mailbox box is empty. Only emptiness counts.
bool startButtonEnabled(bool folderModeSelected, TextView mailboxFile, TextView outputFolder);

// The text boxes of the main window.
enum class MainTextBox { DbxFile, EmlFolder, NullAnk, NullKanji };

// What lblMessage shows when `box` gains focus (gained) or loses it: a
// short help for the two path boxes, empty otherwise.
Text focusHelpText(MainTextBox box, bool gained);

// The help file's path in `programFolder`: no separator is added when the
// folder already ends with one (a drive root).
Text helpFilePath(TextView programFolder);

// The warning shown when the help file or the help system is missing; it
// names the file by the last part of its path.
Text helpMissingMessage(TextView helpFile);

class MainWindowLogic : public engine::RunView {
public:
    explicit MainWindowLogic(MainWindowSetup setup);

    [[nodiscard]] const MainWindowSetup& setup() const { return setup_; }
    // True from the start of a run until it has returned to the window.
    [[nodiscard]] bool running() const { return running_; }
    // True once the help file has been opened.
    [[nodiscard]] bool helpOpened() const { return helpOpened_; }
    // The replacement characters the last run got.
    [[nodiscard]] const repair::RepairOptions& repairOptions() const { return repairOptions_; }

    // engine::RunView: the run reads the output folder from txtEMLFolder.
    [[nodiscard]] Text outputLocation() const override;

    // --- Events, forwarded by the front end ------------------------------

    // Once the controls exist, before the window first shows (the front end
    // paints the header itself): optDefault's caption, txtEMLFolder, the
    // Start button, an empty help line.
    void load();
    // After a click on either option and every change of the text of the
    // two path boxes, also when the program sets it.
    void updateStartButton();
    void focusChanged(MainTextBox box, bool gained);
    // Checks the replacement characters, then runs the recovery with the
    // inputs disabled; returns when the run has returned. A click while a
    // run is in progress does nothing.
    void startClicked();
    // mnuFileRescue: the same as Start, but the mailbox of step 1 is scanned
    // block by block as a damaged file, into the folder of step 2.
    void rescueClicked();
    // Asks whether to stop; Yes sets StopRequested.
    void stopClicked();
    // The close box, mnuFileExit, or a close by the program: true when the
    // window may close now. During a run it asks whether to end, and on Yes
    // sets StopRequested and ExitAfterStop; the window then closes itself
    // when the run returns.
    [[nodiscard]] bool closeRequested();
    void findDbxClicked();
    void findEmlClicked();
    void helpClicked();

protected:
    // --- Hooks over the front end's controls -----------------------------

    [[nodiscard]] virtual Text boxText(MainTextBox box) const = 0;
    virtual void setBoxText(MainTextBox box, const Text& text) = 0;
    virtual void focusBox(MainTextBox box) = 0;
    [[nodiscard]] virtual bool folderModeSelected() const = 0;
    // Selects optFolder (optDefault is cleared).
    virtual void selectFolderMode() = 0;
    virtual void setOptDefaultCaption(const Text& caption) = 0;
    // cmdStart and mnuFileRescue, which share its rule.
    virtual void setStartEnabled(bool enabled) = 0;
    // mnuFileRescue (enabled again only where Start is), mnuFileExit,
    // mnuHelpHelp, mnuHelpAbout, cmdFindDBX, cmdFindEML, then the input panel
    // picFrame with everything in it.
    virtual void setInputsEnabled(bool enabled) = 0;
    // Closes the window (which asks closeRequested again).
    virtual void closeWindow() = 0;
    // The mailbox file picker, modal over this window: the chosen file, or
    // the empty text.
    [[nodiscard]] virtual Text pickMailboxFile() = 0;
    // The folder chooser, modal over this window: the folder, or the empty text.
    [[nodiscard]] virtual Text browseForFolder() = 0;
    // The folder of the running program.
    [[nodiscard]] virtual Text programFolder() const = 0;
    // The help file that Help opens: "BRAMLEX.chm" in the program folder.
    [[nodiscard]] virtual Text helpFile() const { return helpFilePath(programFolder()); }
    // Opens the help file; false when it or the help system is missing.
    [[nodiscard]] virtual bool openHelpFile(const Text& path) = 0;

private:
    // Start and rescue: the replacement characters checked, the run made
    // with the inputs disabled.
    void runClicked(bool rescue);

    MainWindowSetup setup_;
    repair::RepairOptions repairOptions_;
    bool running_ = false;
    bool helpOpened_ = false;
};

} // namespace keldor::ui
