#include "ui/qt/frm_main.h"

#include "engine/recovery_run.h"
#include "engine/run_flags.h"
#include "platform/text.h"
#include "ui/qt/folder_browser.h"
#include "ui/qt/frm_about.h"
#include "ui/qt/gradient_panel.h"
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
#include <variant>

namespace keldor::ui {

using engine::MessageAnswer;
using engine::MessageButtons;
using engine::MessageIcon;
using engine::StatusControl;

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

Text helpFilePath(TextView programFolder) {
    return engine::joinPath(programFolder, kHelpFileName);
}

frmMain::frmMain(MainWindowSetup setup, MessageBoxes& boxes, QWidget* parent)
    : QMainWindow(parent), setup_(std::move(setup)), boxes_(boxes) {
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

    QLabel* header = label(picHeader_, "lblHeader",
                           QStringLiteral("Outlook Expreｓｓ で誤って削除したメールを復元します。"),
                           QRect(14, 8, kWidth - 28, 22));
    QFont bold = header->font();
    bold.setBold(true);
    bold.setPointSizeF(bold.pointSizeF() * 1.1);
    header->setFont(bold);
    header->setStyleSheet(QStringLiteral("color: white;"));

    QLabel* banner = label(picHeader_, "lblBanner", QStringLiteral("KELDOR MAIL TOOLS"),
                           QRect(14, 32, kWidth - 28, 18));
    banner->setFont(QFont(QStringLiteral("Arial"), 8, QFont::Bold, true));
    banner->setStyleSheet(QStringLiteral("color: #e8f0ff;"));
    banner->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
}

void frmMain::buildInputPanel(QWidget* central) {
    picFrame_ =
        named(new QWidget(central), "picFrame", QRect(0, kHeaderHeight, kWidth, kFrameHeight));
    fillBackground(picFrame_, Qt::white);
    QWidget* p = picFrame_;

    label(p, "Label2", QStringLiteral("１．復元するフォルダ（DBXファイル）を指定してください。"),
          QRect(12, 10, 496, 18));
    optDefault_ = named(new QRadioButton(p), "optDefault", QRect(28, 32, 470, 22));
    optDefault_->setChecked(true);
    optFolder_ =
        named(new QRadioButton(QStringLiteral("以下に指定するフォルダ（DBXファイル）(&F)"), p),
              "optFolder", QRect(28, 54, 470, 22));
    txtDBXFile_ = named(new QLineEdit(p), "txtDBXFile", QRect(46, 79, 378, 24));
    cmdFindDBX_ =
        named(new QPushButton(QStringLiteral("参照"), p), "cmdFindDBX", QRect(432, 78, 76, 26));

    QLabel* label5 = label(
        p, "Label5", QStringLiteral("２．EMLファイルの出力先のフォルダを指定してください。(&E)"),
        QRect(12, 114, 496, 18));
    txtEMLFolder_ = named(new QLineEdit(p), "txtEMLFolder", QRect(28, 136, 396, 24));
    label5->setBuddy(txtEMLFolder_);
    cmdFindEML_ =
        named(new QPushButton(QStringLiteral("参照"), p), "cmdFindEML", QRect(432, 135, 76, 26));
    QLabel* label7 = label(p, "Label7",
                           QStringLiteral("（指定されたフォルダに、「メール復元YYYYMMDDhhmmss」とい"
                                          "う名前のサブフォルダを作成します。）"),
                           QRect(28, 164, 480, 36));
    label7->setWordWrap(true);
    label7->setAlignment(Qt::AlignLeft | Qt::AlignTop);

    label(p, "Label1", QStringLiteral("３．欠落したデータを以下の文字で置き換えます。"),
          QRect(12, 206, 496, 18));
    QLabel* label3 = label(p, "Label3", QStringLiteral("半角文字(&H):"), QRect(28, 231, 96, 20));
    txtNullAnk_ =
        named(new QLineEdit(QStringLiteral("*"), p), "txtNullAnk", QRect(126, 229, 36, 24));
    label3->setBuddy(txtNullAnk_);
    QLabel* label4 = label(p, "Label4", QStringLiteral("全角文字(&Z):"), QRect(190, 231, 96, 20));
    txtNullKanji_ =
        named(new QLineEdit(QStringLiteral("■"), p), "txtNullKanji", QRect(288, 229, 36, 24));
    label4->setBuddy(txtNullKanji_);
    for (QLineEdit* box : {txtNullAnk_, txtNullKanji_}) {
        box->setAlignment(Qt::AlignCenter);
    }
    label(p, "Label6", QStringLiteral("（エンコードが日本語(JIS)のメールのみ）"),
          QRect(28, 256, 480, 18));

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

    lblMessage_ = label(p, "lblMessage", QStringLiteral("メッセージ"), QRect(12, 8, 396, 20));
    lblProc_ = label(p, "lblProc", QStringLiteral("復元中"), QRect(12, 8, 120, 20));
    lblRename_ = label(p, "lblRename", QStringLiteral("ﾘﾈｰﾑ中"), QRect(12, 8, 120, 20));
    prgStatus_ = named(new QProgressBar(p), "prgStatus", QRect(12, 32, 340, 18));
    prgStatus_->setRange(0, 100);
    prgStatus_->setTextVisible(false);
    lblPercent_ = label(p, "lblPercent", QStringLiteral("0%"), QRect(358, 32, 50, 18));
    lblPercent_->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
    lblStatus_ = label(p, "lblStatus", QStringLiteral("0通のメールを復元"), QRect(12, 56, 396, 20));

    cmdStart_ =
        named(new QPushButton(QStringLiteral("開始"), p), "cmdStart", QRect(420, 24, 88, 34));
    cmdStart_->setDefault(true);
    cmdStart_->setEnabled(false);
    cmdStop_ = named(new QPushButton(QStringLiteral("停止"), p), "cmdStop", QRect(420, 24, 88, 34));

    for (QWidget* hidden : std::initializer_list<QWidget*>{cmdStop_, prgStatus_, lblPercent_,
                                                           lblStatus_, lblProc_, lblRename_}) {
        hidden->hide();
    }
    connect(cmdStart_, &QPushButton::clicked, this, [this] { startClicked(); });
    connect(cmdStop_, &QPushButton::clicked, this, [this] { stopClicked(); });
}

void frmMain::buildMenu() {
    QMenu* file = menuBar()->addMenu(QStringLiteral("ファイル(&F)"));
    file->setObjectName(QStringLiteral("mnuFile"));
    mnuFileExit_ = file->addAction(QStringLiteral("終了(&X)"));
    mnuFileExit_->setObjectName(QStringLiteral("mnuFileExit"));
    connect(mnuFileExit_, &QAction::triggered, this, &QWidget::close);

    QMenu* help = menuBar()->addMenu(QStringLiteral("ヘルプ(&H)"));
    help->setObjectName(QStringLiteral("mnuHelp"));
    mnuHelpHelp_ = help->addAction(QStringLiteral("トピックの検索(&H)..."));
    mnuHelpHelp_->setObjectName(QStringLiteral("mnuHelpHelp"));
    help->addSeparator()->setObjectName(QStringLiteral("mnuHelpLine1"));
    mnuHelpAbout_ = help->addAction(QStringLiteral("バージョン情報(&A)..."));
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

void frmMain::load() {
    paintGradient(*picHeader_, kHeaderLeftColour, kHeaderRightColour, GradientMode::Horizontal);
    optDefault_->setText(toQString(setup_.defaultIdentityName + u"の削除済みアイテムフォルダ(&D)"));
    txtEMLFolder_->setText(toQString(setup_.defaultOutputFolder));
    updateStartButton(); // also when the default is empty and the text did not change
    lblMessage_->clear();
}

void frmMain::updateStartButton() {
    const bool missingMailbox = txtDBXFile_->text().isEmpty() && optFolder_->isChecked();
    cmdStart_->setEnabled(!missingMailbox && !txtEMLFolder_->text().isEmpty());
}

bool frmMain::eventFilter(QObject* watched, QEvent* event) {
    if (event->type() == QEvent::FocusIn || event->type() == QEvent::FocusOut) {
        const bool in = event->type() == QEvent::FocusIn;
        if (watched == txtDBXFile_) {
            lblMessage_->setText(in ? QStringLiteral("DBXファイルを指定します。") : QString());
        } else if (watched == txtEMLFolder_) {
            lblMessage_->setText(in ? QStringLiteral("EMLファイルの出力先を指定します。")
                                    : QString());
        }
    }
    return QMainWindow::eventFilter(watched, event);
}

void frmMain::startClicked() {
    if (running_) {
        return; // a click queued behind the one that started the run
    }
    const std::variant<repair::RepairOptions, repair::ReplacementRejection> checked =
        repair::makeRepairOptions(toText(txtNullAnk_->text()), toText(txtNullKanji_->text()));
    if (const auto* rejection = std::get_if<repair::ReplacementRejection>(&checked)) {
        showMessage(repair::rejectionMessage(*rejection), MessageIcon::None, MessageButtons::Ok);
        (*rejection == repair::ReplacementRejection::HalfWidth ? txtNullAnk_ : txtNullKanji_)
            ->setFocus(Qt::OtherFocusReason);
        return;
    }

    running_ = true;
    setInputsEnabled(false);
    repairOptions_ = std::get<repair::RepairOptions>(checked);
    const Text mailbox =
        optDefault_->isChecked() ? setup_.defaultMailboxPath : toText(txtDBXFile_->text());

    engine::recoverMailbox(platform::toPath(mailbox), *this, repairOptions_);

    running_ = false;
    setInputsEnabled(true);
    if (engine::ExitAfterStop) {
        close();
    }
}

void frmMain::setInputsEnabled(bool enabled) {
    mnuFileExit_->setEnabled(enabled);
    mnuHelpHelp_->setEnabled(enabled);
    mnuHelpAbout_->setEnabled(enabled);
    cmdFindDBX_->setEnabled(enabled);
    cmdFindEML_->setEnabled(enabled);
    picFrame_->setEnabled(enabled);
}

void frmMain::stopClicked() {
    if (!running_) {
        return;
    }
    if (showMessage(u"停止しますか?", MessageIcon::Question, MessageButtons::YesNo) ==
        MessageAnswer::Yes) {
        engine::StopRequested = true;
    }
}

void frmMain::closeEvent(QCloseEvent* event) {
    if (running_) {
        // The run is still on the stack below us: it must finish before the
        // window goes, so a close only asks it to stop and to close after.
        if (showMessage(u"終了しますか?", MessageIcon::Question, MessageButtons::YesNo) ==
            MessageAnswer::Yes) {
            engine::StopRequested = true;
            engine::ExitAfterStop = true;
        }
        event->ignore();
        return;
    }
    // Help went to the desktop's own viewer, which is not ours to close.
    event->accept();
}

void frmMain::findDbxClicked() {
    if (!setup_.pickMailboxFile) {
        return;
    }
    const Text chosen = setup_.pickMailboxFile(this);
    if (!chosen.empty()) {
        txtDBXFile_->setText(toQString(chosen));
        optFolder_->setChecked(true);
    }
}

void frmMain::findEmlClicked() {
    const Text chosen = browseForFolder(this);
    if (!chosen.empty()) {
        txtEMLFolder_->setText(toQString(chosen));
    }
}

void frmMain::helpClicked() {
    const Text path =
        helpFilePath(toText(QDir::toNativeSeparators(QCoreApplication::applicationDirPath())));
    const QString file = toQString(path);
    if (QFileInfo(file).isFile() && QDesktopServices::openUrl(QUrl::fromLocalFile(file))) {
        helpOpened_ = true;
        return;
    }
    showMessage(u"ヘルプファイル " + Text(kHelpFileName) + u" を開けませんでした。\r\n" + path,
                MessageIcon::Warning, MessageButtons::Ok);
}

void frmMain::aboutClicked() {
    frmAbout about(this);
    about.exec();
}

Text frmMain::outputLocation() const {
    return toText(txtEMLFolder_->text());
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
