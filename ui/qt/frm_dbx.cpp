#include "ui/qt/frm_dbx.h"

#include "ui/captions.h"
#include "ui/qt/qt_text.h"
#include "ui/qt/report_list.h"

#include <QComboBox>
#include <QFileDialog>
#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QTreeWidget>
#include <QVBoxLayout>

namespace keldor::ui {

namespace {

namespace captions = picker_captions;

QLabel* label(QWidget* parent, const char* name, const QString& caption) {
    auto* created = new QLabel(caption, parent); // owned by the dialog, like every control
    created->setObjectName(QString::fromLatin1(name));
    return created;
}

QPushButton* button(QWidget* parent, const char* name, const QString& caption) {
    auto* created = new QPushButton(caption, parent);
    created->setObjectName(QString::fromLatin1(name));
    created->setAutoDefault(false);
    return created;
}

// A Qt name filter: the description, with the pattern added where the
// description does not show it already. "*.*" means any file.
QString nameFilter(const OpenDialogSetup::Filter& filter) {
    const QString description = toQString(filter.description);
    if (description.contains(u'(')) {
        return description;
    }
    const QString pattern =
        filter.pattern == u"*.*" ? QStringLiteral("*") : toQString(filter.pattern);
    return description + QStringLiteral(" (") + pattern + QStringLiteral(")");
}

} // namespace

frmDBX::frmDBX(QWidget* parent) : frmDBX(startup::IdentityList, parent) {}

frmDBX::frmDBX(startup::Identities identities, QWidget* parent)
    : QDialog(parent), PickerLogic(std::move(identities)), imlFolder_(folderIcons()) {
    setObjectName(QStringLiteral("frmDBX"));
    setWindowTitle(toQString(captions::frmDBX));
    setWindowFlags(Qt::Dialog | Qt::WindowTitleHint | Qt::WindowSystemMenuHint |
                   Qt::WindowCloseButtonHint | Qt::MSWindowsFixedSizeDialogHint);
    setModal(true);

    QLabel* label3 = label(this, "Label3", toQString(captions::Label3));
    QLabel* label1 = label(this, "Label1", toQString(captions::Label1));
    cmbUser_ = new QComboBox(this);
    cmbUser_->setObjectName(QStringLiteral("cmbUser"));
    cmbUser_->setEditable(false);
    label1->setBuddy(cmbUser_);

    QLabel* label2 = label(this, "Label2", toQString(captions::Label2));
    lvwDBXFile_ = new QTreeWidget(this);
    lvwDBXFile_->setObjectName(QStringLiteral("lvwDBXFile"));
    setUpMailboxList(*lvwDBXFile_);
    lvwDBXFile_->setMinimumSize(380, 220);
    label2->setBuddy(lvwDBXFile_);

    cmdOpen_ = button(this, "cmdOpen", toQString(captions::cmdOpen));
    cmdOK_ = button(this, "cmdOK", toQString(captions::cmdOK));
    cmdCancel_ = button(this, "cmdCancel", toQString(captions::cmdCancel));
    cmdOK_->setDefault(true);

    auto* userRow = new QHBoxLayout;
    userRow->addWidget(label1);
    userRow->addWidget(cmbUser_, 1);
    auto* buttonRow = new QHBoxLayout;
    buttonRow->addWidget(cmdOpen_);
    buttonRow->addStretch(1);
    buttonRow->addWidget(cmdOK_);
    buttonRow->addWidget(cmdCancel_);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(label3);
    layout->addLayout(userRow);
    layout->addWidget(label2);
    layout->addWidget(lvwDBXFile_, 1);
    layout->addLayout(buttonRow);
    layout->setSizeConstraint(QLayout::SetFixedSize); // a fixed dialog box

    connect(cmbUser_, &QComboBox::currentIndexChanged, this, [this](int index) {
        if (index >= 0) {
            identityChosen(static_cast<std::size_t>(index));
        }
    });
    connect(lvwDBXFile_, &QTreeWidget::itemDoubleClicked, this, [this] { okClicked(); });
    connect(cmdOK_, &QPushButton::clicked, this, [this] { okClicked(); });
    connect(cmdOpen_, &QPushButton::clicked, this, [this] { openClicked(); });
    connect(cmdCancel_, &QPushButton::clicked, this, &QDialog::reject); // Esc rejects too

    load();
}

void frmDBX::addUser(const Text& name) {
    cmbUser_->addItem(toQString(name));
}

void frmDBX::selectUser(std::size_t index) {
    cmbUser_->setCurrentIndex(static_cast<int>(index));
}

std::optional<std::size_t> frmDBX::chosenUser() const {
    const int index = cmbUser_->currentIndex();
    return index < 0 ? std::nullopt : std::optional<std::size_t>(static_cast<std::size_t>(index));
}

void frmDBX::clearRows() {
    lvwDBXFile_->clear();
}

void frmDBX::addRows(const std::vector<PickerRow>& rows) {
    addMailboxRows(*lvwDBXFile_, rows, imlFolder_);
}

std::optional<Text> frmDBX::selectedRowName() const {
    const QList<QTreeWidgetItem*> selected = lvwDBXFile_->selectedItems();
    if (selected.isEmpty()) {
        return std::nullopt;
    }
    return toText(selected.front()->text(0));
}

Text frmDBX::showOpenDialog(const OpenDialogSetup& setup) {
    QFileDialog commonDialog(this);
    commonDialog.setObjectName(QStringLiteral("CommonDialog1"));
    commonDialog.setAcceptMode(QFileDialog::AcceptOpen);
    commonDialog.setFileMode(QFileDialog::ExistingFile);
    QStringList filters;
    for (const OpenDialogSetup::Filter& filter : setup.filters) {
        filters.push_back(nameFilter(filter));
    }
    commonDialog.setNameFilters(filters);
    if (setup.filterIndex < static_cast<std::size_t>(filters.size())) {
        commonDialog.selectNameFilter(filters[static_cast<qsizetype>(setup.filterIndex)]);
    }
    if (!setup.initialFolder.empty()) {
        commonDialog.setDirectory(toQString(setup.initialFolder));
    }
    if (commonDialog.exec() != QDialog::Accepted || commonDialog.selectedFiles().isEmpty()) {
        return {};
    }
    return toText(commonDialog.selectedFiles().front());
}

void frmDBX::closeWithChoice() {
    accept();
}

} // namespace keldor::ui
