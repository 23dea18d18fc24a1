#pragma once
// The mailbox file picker: choose an identity, then one of the .dbx files
// of its store folder, or any file through the file-open dialog. Modal;
// after exec() the chosen path is selectedPath(), empty when cancelled.

#include "platform/bytes.h"
#include "startup/mail_store_discovery.h"

#include <QDialog>
#include <QIcon>

#include <vector>

class QComboBox;
class QPushButton;
class QTreeWidget;

namespace keldor::ui {

class frmDBX : public QDialog {
    Q_OBJECT

public:
    // Lists the identities found at start-up (startup::IdentityList).
    explicit frmDBX(QWidget* parent = nullptr);
    // Lists the given identities instead.
    explicit frmDBX(startup::Identities identities, QWidget* parent = nullptr);

    // The full path of the chosen file; empty until OK or Open succeeded.
    [[nodiscard]] Text selectedPath() const { return selectedPath_; }

    // True once the list has been filled on opening; until then a change of
    // identity does not refill it.
    [[nodiscard]] bool isListReady() const { return ListReady_; }

private:
    void load();
    void identityChosen(int index);
    void listMailboxFiles(const Text& storeFolder);
    void takeSelectedRow();
    void openAnyFile();

    startup::Identities identities_;
    Text selectedPath_;
    bool ListReady_ = false;
    std::vector<QIcon> imlFolder_;

    QComboBox* cmbUser_ = nullptr;
    QTreeWidget* lvwDBXFile_ = nullptr;
    QPushButton* cmdOpen_ = nullptr;
    QPushButton* cmdOK_ = nullptr;
    QPushButton* cmdCancel_ = nullptr;
};

} // namespace keldor::ui
