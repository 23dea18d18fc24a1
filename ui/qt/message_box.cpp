#include "ui/qt/message_box.h"

#include "ui/qt/qt_text.h"

#include <QMessageBox>

namespace keldor::ui {

namespace {

QMessageBox::Icon qtIcon(engine::MessageIcon icon) {
    switch (icon) {
    case engine::MessageIcon::Information:
        return QMessageBox::Information;
    case engine::MessageIcon::Warning:
        return QMessageBox::Warning;
    case engine::MessageIcon::Error:
        return QMessageBox::Critical;
    case engine::MessageIcon::Question:
        return QMessageBox::Question;
    case engine::MessageIcon::None:
        break;
    }
    return QMessageBox::NoIcon;
}

} // namespace

engine::MessageAnswer QtMessageBoxes::show(QWidget* owner, const Text& text,
                                           engine::MessageIcon icon,
                                           engine::MessageButtons buttons) {
    QString body = toQString(text);
    body.replace(QStringLiteral("\r\n"), QStringLiteral("\n"));

    QMessageBox box(qtIcon(icon), toQString(kApplicationTitle), body, QMessageBox::NoButton, owner);
    if (buttons == engine::MessageButtons::YesNo) {
        box.setStandardButtons(QMessageBox::Yes | QMessageBox::No);
        box.setDefaultButton(QMessageBox::Yes);
        box.setEscapeButton(QMessageBox::No);
        return box.exec() == QMessageBox::Yes ? engine::MessageAnswer::Yes
                                              : engine::MessageAnswer::No;
    }
    box.setStandardButtons(QMessageBox::Ok);
    box.exec();
    return engine::MessageAnswer::Ok;
}

} // namespace keldor::ui
