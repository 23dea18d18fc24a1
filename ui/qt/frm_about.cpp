#include "ui/qt/frm_about.h"

#include "ui/about_texts.h"
#include "ui/captions.h"
#include "ui/qt/gradient_panel.h"
#include "ui/qt/message_box.h"
#include "ui/qt/program_icon.h"
#include "ui/qt/qt_text.h"

#include <QLabel>
#include <QPlainTextEdit>
#include <QPushButton>

namespace keldor::ui {

namespace {

constexpr int kWidth = 440;
constexpr int kHeight = 360;
constexpr int kHeaderHeight = 64;
constexpr int kSeparatorY = 292;

QLabel* label(QWidget* parent, const char* name, const QString& text, const QRect& place) {
    auto* l = new QLabel(text, parent);
    l->setObjectName(QString::fromLatin1(name));
    l->setGeometry(place);
    return l;
}

} // namespace

frmAbout::frmAbout(QWidget* parent) : QDialog(parent) {
    setObjectName(QStringLiteral("frmAbout"));
    setWindowFlags(Qt::Dialog | Qt::MSWindowsFixedSizeDialogHint | Qt::WindowTitleHint |
                   Qt::WindowCloseButtonHint);
    setFixedSize(kWidth, kHeight);
    setWindowIcon(programIcon());

    picHeader_ = new GradientPanel(this);
    picHeader_->setObjectName(QStringLiteral("picHeader"));
    picHeader_->setGeometry(0, 0, kWidth, kHeaderHeight);

    auto* image = new QLabel(picHeader_);
    image->setObjectName(QStringLiteral("Image1"));
    image->setPixmap(programPixmap(40));
    image->setGeometry(12, 12, 40, 40);

    QLabel* title =
        label(picHeader_, "lblHeaderTitle", toQString(kApplicationTitle), QRect(64, 8, 240, 30));
    QFont titleFont = title->font();
    titleFont.setPointSize(16);
    titleFont.setBold(true);
    title->setFont(titleFont);
    title->setStyleSheet(QStringLiteral("color: white;"));

    QLabel* banner = label(picHeader_, "lblBanner", toQString(kBanner), QRect(64, 38, 360, 20));
    banner->setFont(QFont(QStringLiteral("Arial"), 9, QFont::Bold, true));
    banner->setStyleSheet(QStringLiteral("color: #e8f0ff;"));

    lblTitle_ = label(this, "lblTitle", QString(), QRect(16, 74, 408, 20));
    QFont bold = lblTitle_->font();
    bold.setBold(true);
    lblTitle_->setFont(bold);
    lblVersion_ = label(this, "lblVersion", QString(), QRect(16, 96, 408, 20));
    label(this, "lblDescription", toQString(about_captions::lblDescription),
          QRect(16, 122, 408, 18));

    txtDescription_ = new QPlainTextEdit(this);
    txtDescription_->setObjectName(QStringLiteral("txtDescription"));
    txtDescription_->setReadOnly(true);
    txtDescription_->setGeometry(16, 142, 408, 118);

    lblCopyright_ = label(this, "lblCopyright", QString(), QRect(16, 266, 408, 18));
    QLabel* disclaimer =
        label(this, "lblDisclaimer", toQString(aboutDisclaimer()), QRect(16, 298, 300, 54));
    disclaimer->setWordWrap(true);
    QFont small = disclaimer->font();
    small.setPointSizeF(small.pointSizeF() * 0.85);
    disclaimer->setFont(small);

    // The etched double line: dark over light, one pixel apart.
    for (int i = 0; i < 2; ++i) {
        linSeparetor_[i] = new QWidget(this);
        linSeparetor_[i]->setObjectName(QStringLiteral("linSeparetor"));
        linSeparetor_[i]->setProperty("index", i);
        linSeparetor_[i]->setAutoFillBackground(true);
        QPalette palette = linSeparetor_[i]->palette();
        palette.setColor(QPalette::Window, i == 0 ? QColor(128, 128, 128) : QColor(255, 255, 255));
        linSeparetor_[i]->setPalette(palette);
    }

    auto* ok = new QPushButton(toQString(about_captions::cmdOK), this);
    ok->setObjectName(QStringLiteral("cmdOK"));
    ok->setGeometry(kWidth - 104, kHeight - 44, 88, 28);
    ok->setDefault(true);
    ok->setAutoDefault(true);
    // Esc rejects the dialog, which closes it like OK.
    connect(ok, &QPushButton::clicked, this, &QDialog::accept);

    load();
}

void frmAbout::load() {
    paintGradient(*picHeader_, kHeaderLeftColour, kHeaderRightColour, GradientMode::Horizontal);
    setWindowTitle(toQString(kApplicationTitle));
    lblCopyright_->setText(toQString(aboutRightsLine()));
    lblTitle_->setText(toQString(aboutTitleLine(kApplicationTitle)));
    lblVersion_->setText(toQString(aboutVersionLine(kApplicationTitle, programVersion())));
    QString description = toQString(aboutDescription(kApplicationTitle, programVersion()));
    description.replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
    txtDescription_->setPlainText(description);
    for (int i = 0; i < 2; ++i) {
        linSeparetor_[i]->setGeometry(0, kSeparatorY + i, width(), 1);
    }
}

} // namespace keldor::ui
