#pragma once
// The main window in Qt: the controls of the shared main-window behaviour
// (ui/main_window.h), and the status area the run drives.

#include "engine/run_view.h"
#include "ui/main_window.h"

#include <QMainWindow>

class QAction;
class QLabel;
class QLineEdit;
class QProgressBar;
class QPushButton;
class QRadioButton;

namespace keldor::ui {

class GradientPanel;
class MessageBoxes;

class frmMain : public QMainWindow, public MainWindowLogic {
public:
    // `boxes` answers every message box this window and its runs show; it
    // must outlive the window.
    frmMain(MainWindowSetup setup, MessageBoxes& boxes, QWidget* parent = nullptr);
    ~frmMain() override;

    // engine::RunView
    void setText(engine::StatusControl control, const Text& text) override;
    void setVisible(engine::StatusControl control, bool visible) override;
    void setProgress(int percent) override;
    void setBusy(bool busy) override;
    void processEvents() override;
    engine::MessageAnswer showMessage(const Text& text, engine::MessageIcon icon,
                                      engine::MessageButtons buttons) override;
    void openFolder(const std::filesystem::path& folder) override;

    using QMainWindow::setVisible;

protected:
    void closeEvent(QCloseEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

    // MainWindowLogic
    [[nodiscard]] Text boxText(MainTextBox box) const override;
    void setBoxText(MainTextBox box, const Text& text) override;
    void focusBox(MainTextBox box) override;
    [[nodiscard]] bool folderModeSelected() const override;
    void selectFolderMode() override;
    void setOptDefaultCaption(const Text& caption) override;
    void setStartEnabled(bool enabled) override;
    void setInputsEnabled(bool enabled) override;
    void closeWindow() override;
    [[nodiscard]] Text pickMailboxFile() override;
    [[nodiscard]] Text browseForFolder() override;
    [[nodiscard]] Text programFolder() const override;
    // On Linux the user guide's start page, "BRAMLEX.chm" being Windows' own.
    [[nodiscard]] Text helpFile() const override;
    [[nodiscard]] bool openHelpFile(const Text& path) override;

private:
    void buildHeader(QWidget* central);
    void buildInputPanel(QWidget* central);
    void buildStatusPanel(QWidget* central);
    void buildMenu();
    void buildKeys();
    void aboutClicked();
    [[nodiscard]] QLineEdit* box(MainTextBox which) const;
    [[nodiscard]] QWidget* statusWidget(engine::StatusControl control) const;

    MessageBoxes& boxes_;
    bool busy_ = false;

    GradientPanel* picHeader_ = nullptr;
    QWidget* picFrame_ = nullptr;
    QWidget* picture1_ = nullptr;
    QRadioButton* optDefault_ = nullptr;
    QRadioButton* optFolder_ = nullptr;
    QLineEdit* txtDBXFile_ = nullptr;
    QPushButton* cmdFindDBX_ = nullptr;
    QLineEdit* txtEMLFolder_ = nullptr;
    QPushButton* cmdFindEML_ = nullptr;
    QLineEdit* txtNullAnk_ = nullptr;
    QLineEdit* txtNullKanji_ = nullptr;
    QPushButton* cmdStart_ = nullptr;
    QPushButton* cmdStop_ = nullptr;
    QProgressBar* prgStatus_ = nullptr;
    QLabel* lblPercent_ = nullptr;
    QLabel* lblStatus_ = nullptr;
    QLabel* lblProc_ = nullptr;
    QLabel* lblRename_ = nullptr;
    QLabel* lblMessage_ = nullptr;
    QAction* mnuFileRescue_ = nullptr;
    QAction* mnuFileExit_ = nullptr;
    QAction* mnuHelpHelp_ = nullptr;
    QAction* mnuHelpAbout_ = nullptr;
};

} // namespace keldor::ui
