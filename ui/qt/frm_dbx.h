#pragma once
// The mailbox file picker in Qt: the controls of the shared picker behaviour
// (ui/picker.h). Modal; after exec() the chosen path is selectedPath(),
// empty when cancelled.

#include "platform/bytes.h"
#include "startup/mail_store_discovery.h"
#include "ui/picker.h"

#include <QDialog>
#include <QIcon>

#include <vector>

class QComboBox;
class QPushButton;
class QTreeWidget;

namespace keldor::ui {

class frmDBX : public QDialog, public PickerLogic {
    Q_OBJECT

public:
    // Lists the identities found at start-up (startup::IdentityList).
    explicit frmDBX(QWidget* parent = nullptr);
    // Lists the given identities instead.
    explicit frmDBX(startup::Identities identities, QWidget* parent = nullptr);

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
    std::vector<QIcon> imlFolder_;

    QComboBox* cmbUser_ = nullptr;
    QTreeWidget* lvwDBXFile_ = nullptr;
    QPushButton* cmdOpen_ = nullptr;
    QPushButton* cmdOK_ = nullptr;
    QPushButton* cmdCancel_ = nullptr;
};

} // namespace keldor::ui
