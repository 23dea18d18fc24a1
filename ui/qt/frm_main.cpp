#include "ui/qt/frm_main.h"

#include "platform/text.h"
#include "ui/captions.h"
#include "ui/qt/folder_browser.h"
#include "ui/qt/frm_about.h"
#include "ui/qt/frm_dbx.h"
#include "ui/qt/gradient_panel.h"
#include "ui/qt/guide_location.h"
#include "ui/qt/message_box.h"
#include "ui/qt/program_icon.h"
#include "ui/qt/qt_text.h"

#include <QApplication>
#include <QCloseEvent>
#include <QDesktopServices>
#include <QDir>
#include <QFileInfo>
#include <QGuiApplication>
#include <QLabel>
#include <QLineEdit>
#include <QMenuBar>
#include <QProgressBar>
#include <QPushButton>
#include <QRadioButton>
#include <QScreen>
#include <QShortcut>
#include <QUrl>

#include <algorithm>

namespace keldor::ui {

using engine::MessageAnswer;
using engine::MessageButtons;
using engine::MessageIcon;
using engine::StatusControl;
namespace captions = main_captions;

namespace {

constexpr int kWidth = 520;
constexpr int kHeaderHeight = 56;
constexpr int kFrameHeight = 282;
constexpr int kStatusHeight = 84;

template <typename W> W* named(W* widget, const char* name, const QRect& place) {
    widget->setObjectName(QString::fromLatin1(name));
    widget->setGeometry(place);
    return widget;
}

QLabel* label(QWidget* parent, const char* name, const QString& text, const QRect& place) {
    return named(new QLabel(text, parent), name, place);
}

void fillBackground(QWidget* widget, const QColor& colour) {
    widget->setAutoFillBackground(true);
    QPalette palette = widget->palette();
    palette.setColor(QPalette::Window, colour);
    widget->setPalette(palette);
}

} // namespace

frmMain::frmMain(MainWindowSetup setup, MessageBoxes& boxes, QWidget* parent)
    : QMainWindow(parent), MainWindowLogic(std::move(setup)), boxes_(boxes) {
    setObjectName(QStringLiteral("frmMain"));
    setWindowTitle(toQString(kApplicationTitle));
    setWindowIcon(programIcon());
    // Fixed single border with a minimise box, no maximise box.
    setWindowFlags(Qt::Window | Qt::WindowTitleHint | Qt::WindowSystemMenuHint |
                   Qt::WindowMinimizeButtonHint | Qt::WindowCloseButtonHint |
                   Qt::MSWindowsFixedSizeDialogHint);

    auto* central = new QWidget(this);
    central->setFixedSize(kWidth, kHeaderHeight + kFrameHeight + kStatusHeight);
    setCentralWidget(central);
    buildHeader(central);
    buildInputPanel(central);
    buildStatusPanel(central);
    buildMenu();
    buildKeys();

    // The order in which Tab visits the inputs.
    const QList<QWidget*> tabOrder = {optDefault_,   optFolder_,  txtDBXFile_, cmdFindDBX_,
                                      txtEMLFolder_, cmdFindEML_, txtNullAnk_, txtNullKanji_,
                                      cmdStart_,     cmdStop_};
    for (qsizetype i = 1; i < tabOrder.size(); ++i) {
        setTabOrder(tabOrder[i - 1], tabOrder[i]);
    }

    paintGradient(*picHeader_, kHeaderLeftColour, kHeaderRightColour, GradientMode::Horizontal);
    load();

    setFixedSize(kWidth, central->height() + menuBar()->sizeHint().height());
    if (const QScreen* screen = QGuiApplication::primaryScreen()) {
        move(screen->availableGeometry().center() - rect().center());
    }
}

frmMain::~frmMain() {
    if (busy_) {
        QGuiApplication::restoreOverrideCursor();
    }
}

void frmMain::buildHeader(QWidget* central) {
    picHeader_ = named(new GradientPanel(central), "picHeader", QRect(0, 0, kWidth, kHeaderHeight));

    QLabel* header = label(picHeader_, "lblHeader", toQString(captions::lblHeader),
                           QRect(14, 8, kWidth - 28, 22));
    QFont bold = header->font();
    bold.setBold(true);
    bold.setPointSizeF(bold.pointSizeF() * 1.1);
    header->setFont(bold);
    header->setStyleSheet(QStringLiteral("color: white;"));

    QLabel* banner =
        label(picHeader_, "lblBanner", toQString(kBanner), QRect(14, 32, kWidth - 28, 18));
    banner->setFont(QFont(QStringLiteral("Arial"), 8, QFont::Bold, true));
    banner->setStyleSheet(QStringLiteral("color: #e8f0ff;"));
    banner->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
}

void frmMain::buildInputPanel(QWidget* central) {
    picFrame_ =
        named(new QWidget(central), "picFrame", QRect(0, kHeaderHeight, kWidth, kFrameHeight));
    fillBackground(picFrame_, Qt::white);
    QWidget* p = picFrame_;

    label(p, "Label2", toQString(captions::Label2), QRect(12, 10, 496, 18));
    optDefault_ = named(new QRadioButton(p), "optDefault", QRect(28, 32, 470, 22));
    optDefault_->setChecked(true);
    optFolder_ = named(new QRadioButton(toQString(captions::optFolder), p), "optFolder",
                       QRect(28, 54, 470, 22));
    txtDBXFile_ = named(new QLineEdit(p), "txtDBXFile", QRect(46, 79, 378, 24));
    cmdFindDBX_ = named(new QPushButton(toQString(captions::cmdFindDBX), p), "cmdFindDBX",
                        QRect(432, 78, 76, 26));

    QLabel* label5 = label(p, "Label5", toQString(captions::Label5), QRect(12, 114, 496, 18));
    txtEMLFolder_ = named(new QLineEdit(p), "txtEMLFolder", QRect(28, 136, 396, 24));
    label5->setBuddy(txtEMLFolder_);
    cmdFindEML_ = named(new QPushButton(toQString(captions::cmdFindEML), p), "cmdFindEML",
                        QRect(432, 135, 76, 26));
    QLabel* label7 = label(p, "Label7", toQString(captions::Label7), QRect(28, 164, 480, 36));
    label7->setWordWrap(true);
    label7->setAlignment(Qt::AlignLeft | Qt::AlignTop);

    label(p, "Label1", toQString(captions::Label1), QRect(12, 206, 496, 18));
    QLabel* label3 = label(p, "Label3", toQString(captions::Label3), QRect(28, 231, 96, 20));
    txtNullAnk_ = named(new QLineEdit(toQString(captions::txtNullAnk), p), "txtNullAnk",
                        QRect(126, 229, 36, 24));
    label3->setBuddy(txtNullAnk_);
    QLabel* label4 = label(p, "Label4", toQString(captions::Label4), QRect(190, 231, 96, 20));
    txtNullKanji_ = named(new QLineEdit(toQString(captions::txtNullKanji), p), "txtNullKanji",
                          QRect(288, 229, 36, 24));
    label4->setBuddy(txtNullKanji_);
    for (QLineEdit* box : {txtNullAnk_, txtNullKanji_}) {
        box->setAlignment(Qt::AlignCenter);
    }
    label(p, "Label6", toQString(captions::Label6), QRect(28, 256, 480, 18));

    connect(optDefault_, &QRadioButton::toggled, this, [this] { updateStartButton(); });
    connect(txtDBXFile_, &QLineEdit::textChanged, this, [this] { updateStartButton(); });
    connect(txtEMLFolder_, &QLineEdit::textChanged, this, [this] { updateStartButton(); });
    connect(cmdFindDBX_, &QPushButton::clicked, this, [this] { findDbxClicked(); });
    connect(cmdFindEML_, &QPushButton::clicked, this, [this] { findEmlClicked(); });
    txtDBXFile_->installEventFilter(this);
    txtEMLFolder_->installEventFilter(this);
}

void frmMain::buildStatusPanel(QWidget* central) {
    picture1_ = named(new QWidget(central), "Picture1",
                      QRect(0, kHeaderHeight + kFrameHeight, kWidth, kStatusHeight));
    fillBackground(picture1_, QColor(224, 224, 224));
    QWidget* p = picture1_;

    lblMessage_ = label(p, "lblMessage", toQString(captions::lblMessage), QRect(12, 8, 396, 20));
    lblProc_ = label(p, "lblProc", toQString(captions::lblProc), QRect(12, 8, 120, 20));
    lblRename_ = label(p, "lblRename", toQString(captions::lblRename), QRect(12, 8, 120, 20));
    prgStatus_ = named(new QProgressBar(p), "prgStatus", QRect(12, 32, 340, 18));
    prgStatus_->setRange(0, 100);
    prgStatus_->setTextVisible(false);
    lblPercent_ = label(p, "lblPercent", toQString(captions::lblPercent), QRect(358, 32, 50, 18));
    lblPercent_->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
    lblStatus_ = label(p, "lblStatus", toQString(captions::lblStatus), QRect(12, 56, 396, 20));

    cmdStart_ = named(new QPushButton(toQString(captions::cmdStart), p), "cmdStart",
                      QRect(420, 24, 88, 34));
    cmdStart_->setDefault(true);
    cmdStart_->setEnabled(false);
    cmdStop_ =
        named(new QPushButton(toQString(captions::cmdStop), p), "cmdStop", QRect(420, 24, 88, 34));

    for (QWidget* hidden : std::initializer_list<QWidget*>{cmdStop_, prgStatus_, lblPercent_,
                                                           lblStatus_, lblProc_, lblRename_}) {
        hidden->hide();
    }
    connect(cmdStart_, &QPushButton::clicked, this, [this] { startClicked(); });
    connect(cmdStop_, &QPushButton::clicked, this, [this] { stopClicked(); });
}

void frmMain::buildMenu() {
    QMenu* file = menuBar()->addMenu(toQString(captions::mnuFile));
    file->setObjectName(QStringLiteral("mnuFile"));
    mnuFileRescue_ = file->addAction(toQString(captions::mnuFileRescue));
    mnuFileRescue_->setObjectName(QStringLiteral("mnuFileRescue"));
    connect(mnuFileRescue_, &QAction::triggered, this, [this] { rescueClicked(); });
    file->addSeparator()->setObjectName(QStringLiteral("mnuFileLine1"));
    mnuFileExit_ = file->addAction(toQString(captions::mnuFileExit));
    mnuFileExit_->setObjectName(QStringLiteral("mnuFileExit"));
    connect(mnuFileExit_, &QAction::triggered, this, &QWidget::close);

    QMenu* help = menuBar()->addMenu(toQString(captions::mnuHelp));
    help->setObjectName(QStringLiteral("mnuHelp"));
    mnuHelpHelp_ = help->addAction(toQString(captions::mnuHelpHelp));
    mnuHelpHelp_->setObjectName(QStringLiteral("mnuHelpHelp"));
    help->addSeparator()->setObjectName(QStringLiteral("mnuHelpLine1"));
    mnuHelpAbout_ = help->addAction(toQString(captions::mnuHelpAbout));
    mnuHelpAbout_->setObjectName(QStringLiteral("mnuHelpAbout"));
    connect(mnuHelpHelp_, &QAction::triggered, this, [this] { helpClicked(); });
    connect(mnuHelpAbout_, &QAction::triggered, this, [this] { aboutClicked(); });
}

void frmMain::buildKeys() {
    // Enter presses the focused button, or else Start; Esc presses Stop.
    const auto enter = [this] {
        auto* focused = qobject_cast<QPushButton*>(QApplication::focusWidget());
        QPushButton* target = focused != nullptr && focused->window() == this ? focused : cmdStart_;
        if (target->isVisible() && target->isEnabled()) {
            target->click();
        }
    };
    for (const int key : {Qt::Key_Return, Qt::Key_Enter}) {
        connect(new QShortcut(QKeySequence(key), this), &QShortcut::activated, this, enter);
    }
    connect(new QShortcut(QKeySequence(Qt::Key_Escape), this), &QShortcut::activated, this, [this] {
        if (cmdStop_->isVisible() && cmdStop_->isEnabled()) {
            cmdStop_->click();
        }
    });
}

bool frmMain::eventFilter(QObject* watched, QEvent* event) {
    if (event->type() == QEvent::FocusIn || event->type() == QEvent::FocusOut) {
        const bool in = event->type() == QEvent::FocusIn;
        if (watched == txtDBXFile_) {
            focusChanged(MainTextBox::DbxFile, in);
        } else if (watched == txtEMLFolder_) {
            focusChanged(MainTextBox::EmlFolder, in);
        }
    }
    return QMainWindow::eventFilter(watched, event);
}

QLineEdit* frmMain::box(MainTextBox which) const {
    switch (which) {
    case MainTextBox::DbxFile:
        return txtDBXFile_;
    case MainTextBox::EmlFolder:
        return txtEMLFolder_;
    case MainTextBox::NullAnk:
        return txtNullAnk_;
    case MainTextBox::NullKanji:
        return txtNullKanji_;
    }
    return txtDBXFile_;
}

Text frmMain::boxText(MainTextBox which) const {
    return toText(box(which)->text());
}

void frmMain::setBoxText(MainTextBox which, const Text& text) {
    box(which)->setText(toQString(text));
}

void frmMain::focusBox(MainTextBox which) {
    box(which)->setFocus(Qt::OtherFocusReason);
}

bool frmMain::folderModeSelected() const {
    return optFolder_->isChecked();
}

void frmMain::selectFolderMode() {
    optFolder_->setChecked(true);
}

void frmMain::setOptDefaultCaption(const Text& caption) {
    optDefault_->setText(toQString(caption));
}

void frmMain::setStartEnabled(bool enabled) {
    cmdStart_->setEnabled(enabled);
    mnuFileRescue_->setEnabled(enabled && mnuFileExit_->isEnabled());
}

void frmMain::setInputsEnabled(bool enabled) {
    mnuFileRescue_->setEnabled(enabled && cmdStart_->isEnabled());
    mnuFileExit_->setEnabled(enabled);
    mnuHelpHelp_->setEnabled(enabled);
    mnuHelpAbout_->setEnabled(enabled);
    cmdFindDBX_->setEnabled(enabled);
    cmdFindEML_->setEnabled(enabled);
    picFrame_->setEnabled(enabled);
}

void frmMain::closeWindow() {
    close();
}

void frmMain::closeEvent(QCloseEvent* event) {
    // Help went to the desktop's own viewer, which is not ours to close.
    if (closeRequested()) {
        event->accept();
    } else {
        event->ignore();
    }
}

Text frmMain::pickMailboxFile() {
    frmDBX picker(this);
    picker.exec();
    return picker.selectedPath();
}

Text frmMain::browseForFolder() {
    return ui::browseForFolder(this);
}

Text frmMain::programFolder() const {
    return toText(QDir::toNativeSeparators(QCoreApplication::applicationDirPath()));
}

Text frmMain::helpFile() const {
    return guideStartPage(programFolder());
}

bool frmMain::openHelpFile(const Text& path) {
    const QString file = toQString(path);
    return QFileInfo(file).isFile() && QDesktopServices::openUrl(QUrl::fromLocalFile(file));
}

void frmMain::aboutClicked() {
    frmAbout about(this);
    about.exec();
}

QWidget* frmMain::statusWidget(StatusControl control) const {
    switch (control) {
    case StatusControl::Message:
        return lblMessage_;
    case StatusControl::Proc:
        return lblProc_;
    case StatusControl::Rename:
        return lblRename_;
    case StatusControl::Progress:
        return prgStatus_;
    case StatusControl::Percent:
        return lblPercent_;
    case StatusControl::Status:
        return lblStatus_;
    case StatusControl::StartButton:
        return cmdStart_;
    case StatusControl::StopButton:
        return cmdStop_;
    }
    return nullptr;
}

void frmMain::setText(StatusControl control, const Text& text) {
    QWidget* widget = statusWidget(control);
    if (auto* asLabel = qobject_cast<QLabel*>(widget)) {
        asLabel->setText(toQString(text));
    } else if (auto* asButton = qobject_cast<QPushButton*>(widget)) {
        asButton->setText(toQString(text));
    }
}

void frmMain::setVisible(StatusControl control, bool visible) {
    if (QWidget* widget = statusWidget(control)) {
        widget->setVisible(visible);
    }
}

void frmMain::setProgress(int percent) {
    prgStatus_->setValue(std::clamp(percent, 0, 100));
}

void frmMain::setBusy(bool busy) {
    if (busy == busy_) {
        return;
    }
    busy_ = busy;
    if (busy) {
        QGuiApplication::setOverrideCursor(Qt::WaitCursor);
    } else {
        QGuiApplication::restoreOverrideCursor();
    }
}

void frmMain::processEvents() {
    QCoreApplication::processEvents();
}

MessageAnswer frmMain::showMessage(const Text& text, MessageIcon icon, MessageButtons buttons) {
    return boxes_.show(this, text, icon, buttons);
}

void frmMain::openFolder(const std::filesystem::path& folder) {
    QDesktopServices::openUrl(QUrl::fromLocalFile(toQString(platform::pathText(folder))));
}

} // namespace keldor::ui
