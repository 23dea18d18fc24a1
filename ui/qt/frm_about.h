#pragma once
// The modal about box: product title, version, description, rights line
// and legal notice.

#include <QDialog>

class QLabel;
class QPlainTextEdit;
class QPushButton;

namespace keldor::ui {

class GradientPanel;

class frmAbout : public QDialog {
public:
    explicit frmAbout(QWidget* parent = nullptr);

private:
    void load();

    GradientPanel* picHeader_;
    QLabel* lblTitle_;
    QLabel* lblVersion_;
    QPlainTextEdit* txtDescription_;
    QLabel* lblCopyright_;
    QWidget* linSeparetor_[2];
};

} // namespace keldor::ui
