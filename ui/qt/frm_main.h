#pragma once
// The main window: the three inputs of a recovery run, the checks of the
// replacement characters, and the status area the run drives.

#include "engine/run_view.h"
#include "repair/repair_options.h"
#include "ui/qt/main_window_services.h"

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

// The help file, beside the program.
inline constexpr char16_t kHelpFileName[] = u"BRAMLEX.chm";

// The help file's path in `programFolder`: no separator is added when the
// folder already ends with one (a drive root).
Text helpFilePath(TextView programFolder);

class frmMain : public QMainWindow, public engine::RunView {
public:
    // `boxes` answers every message box this window and its runs show; it
    // must outlive the window.
    frmMain(MainWindowSetup setup, MessageBoxes& boxes, QWidget* parent = nullptr);
    ~frmMain() override;

    // Enables cmdStart unless an input it needs is empty: the output folder,
    // and the mailbox file when optFolder is selected.
    void updateStartButton();

    // True from the start of a run until it has returned to the window.
    [[nodiscard]] bool running() const { return running_; }
    // True once the help file has been handed to the desktop.
    [[nodiscard]] bool helpOpened() const { return helpOpened_; }
    // The replacement characters the last run got.
    [[nodiscard]] const repair::RepairOptions& repairOptions() const { return repairOptions_; }

    // engine::RunView
    [[nodiscard]] Text outputLocation() const override;
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

private:
    void buildHeader(QWidget* central);
    void buildInputPanel(QWidget* central);
    void buildStatusPanel(QWidget* central);
    void buildMenu();
    void buildKeys();
    void load();

    void startClicked();
    void stopClicked();
    void findDbxClicked();
    void findEmlClicked();
    void helpClicked();
    void aboutClicked();
    void setInputsEnabled(bool enabled);
    QWidget* statusWidget(engine::StatusControl control) const;

    MainWindowSetup setup_;
    MessageBoxes& boxes_;
    repair::RepairOptions repairOptions_;
    bool running_ = false;
    bool helpOpened_ = false;
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
    QAction* mnuFileExit_ = nullptr;
    QAction* mnuHelpHelp_ = nullptr;
    QAction* mnuHelpAbout_ = nullptr;
};

} // namespace keldor::ui
