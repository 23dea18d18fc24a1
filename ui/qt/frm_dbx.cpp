#include "ui/qt/frm_dbx.h"

#include "engine/recovery_run.h"
#include "platform/text.h"
#include "startup/mailbox_files.h"
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

QString qText(const Text& text) {
    return QString::fromUtf16(text.data(), static_cast<qsizetype>(text.size()));
}

Text text(const QString& string) {
    return string.toStdU16String();
}

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

} // namespace

frmDBX::frmDBX(QWidget* parent) : frmDBX(startup::IdentityList, parent) {}

frmDBX::frmDBX(startup::Identities identities, QWidget* parent)
    : QDialog(parent), identities_(std::move(identities)), imlFolder_(folderIcons()) {
    if (identities_.entries.empty()) {
        identities_.entries.emplace_back();
    }
    if (identities_.defaultIndex >= identities_.entries.size()) {
        identities_.defaultIndex = 0;
    }

    setObjectName(QStringLiteral("frmDBX"));
    setWindowTitle(QStringLiteral("DBXファイルを検索"));
    setWindowFlags(Qt::Dialog | Qt::WindowTitleHint | Qt::WindowSystemMenuHint |
                   Qt::WindowCloseButtonHint | Qt::MSWindowsFixedSizeDialogHint);
    setModal(true);

    QLabel* label3 =
        label(this, "Label3", QStringLiteral("Outlook Express のメッセージファイルを指定します。"));
    QLabel* label1 = label(this, "Label1", QStringLiteral("ユーザ(&U):"));
    cmbUser_ = new QComboBox(this);
    cmbUser_->setObjectName(QStringLiteral("cmbUser"));
    cmbUser_->setEditable(false);
    label1->setBuddy(cmbUser_);

    QLabel* label2 = label(this, "Label2", QStringLiteral("DBXファイル(&D):"));
    lvwDBXFile_ = new QTreeWidget(this);
    lvwDBXFile_->setObjectName(QStringLiteral("lvwDBXFile"));
    setUpMailboxList(*lvwDBXFile_);
    lvwDBXFile_->setMinimumSize(380, 220);
    label2->setBuddy(lvwDBXFile_);

    cmdOpen_ = button(this, "cmdOpen", QStringLiteral("ファイルを開く"));
    cmdOK_ = button(this, "cmdOK", QStringLiteral("OK"));
    cmdCancel_ = button(this, "cmdCancel", QStringLiteral("キャンセル"));
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

    connect(cmbUser_, &QComboBox::currentIndexChanged, this, &frmDBX::identityChosen);
    connect(lvwDBXFile_, &QTreeWidget::itemDoubleClicked, this, [this] { takeSelectedRow(); });
    connect(cmdOK_, &QPushButton::clicked, this, &frmDBX::takeSelectedRow);
    connect(cmdOpen_, &QPushButton::clicked, this, &frmDBX::openAnyFile);
    connect(cmdCancel_, &QPushButton::clicked, this, &QDialog::reject); // Esc rejects too

    load();
}

void frmDBX::load() {
    ListReady_ = false;
    for (const startup::Identity& identity : identities_.entries) {
        cmbUser_->addItem(qText(identity.name));
    }
    cmbUser_->setCurrentIndex(static_cast<int>(identities_.defaultIndex));
    const Text& storeFolder = identities_.defaultIdentity().storeFolder;
    if (!storeFolder.empty()) {
        listMailboxFiles(storeFolder);
    }
    ListReady_ = true;
}

void frmDBX::identityChosen(int index) {
    if (!ListReady_) {
        return;
    }
    lvwDBXFile_->clear();
    if (index < 0 || static_cast<std::size_t>(index) >= identities_.entries.size()) {
        return;
    }
    const Text& storeFolder = identities_.entries[static_cast<std::size_t>(index)].storeFolder;
    if (!storeFolder.empty()) {
        listMailboxFiles(storeFolder);
    }
}

void frmDBX::listMailboxFiles(const Text& storeFolder) {
    addMailboxRows(*lvwDBXFile_, startup::listMailboxFiles(platform::toPath(storeFolder)),
                   imlFolder_);
}

void frmDBX::takeSelectedRow() {
    // Without a selected row there is nothing to take; the dialog stays open.
    const QList<QTreeWidgetItem*> selected = lvwDBXFile_->selectedItems();
    const int index = cmbUser_->currentIndex();
    if (selected.isEmpty() || index < 0 ||
        static_cast<std::size_t>(index) >= identities_.entries.size()) {
        return;
    }
    const Text& storeFolder = identities_.entries[static_cast<std::size_t>(index)].storeFolder;
    selectedPath_ = engine::joinPath(storeFolder, text(selected.front()->text(0)));
    accept();
}

void frmDBX::openAnyFile() {
    // Starts in the default identity's folder whichever identity is chosen.
    QFileDialog commonDialog(this);
    commonDialog.setObjectName(QStringLiteral("CommonDialog1"));
    commonDialog.setAcceptMode(QFileDialog::AcceptOpen);
    commonDialog.setFileMode(QFileDialog::ExistingFile);
    commonDialog.setNameFilters(
        {QStringLiteral("DBXファイル (*.dbx)"), QStringLiteral("すべてのファイル (*)")});
    commonDialog.selectNameFilter(commonDialog.nameFilters().front());
    const Text& storeFolder = identities_.defaultIdentity().storeFolder;
    if (!storeFolder.empty()) {
        commonDialog.setDirectory(qText(storeFolder));
    }
    if (commonDialog.exec() != QDialog::Accepted || commonDialog.selectedFiles().isEmpty()) {
        return; // cancelled: the picker stays open
    }
    selectedPath_ = text(commonDialog.selectedFiles().front());
    accept();
}

} // namespace keldor::ui
