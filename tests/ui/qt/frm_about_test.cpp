#include "tests/support/test_support.h"
#include "tests/ui/qt/ui_test_support.h"
#include "ui/qt/frm_about.h"
#include "ui/qt/gradient_panel.h"
#include "ui/qt/qt_text.h"

#include <QImage>
#include <QLabel>
#include <QPlainTextEdit>
#include <QPushButton>

#include <gtest/gtest.h>

namespace keldor::testing {
namespace {

TEST(AboutBox, ShowsTitleVersionAndEtchedSeparator) {
    ui::frmAbout about;
    EXPECT_EQ(about.windowTitle(), QStringLiteral("Keldor"));
    EXPECT_EQ(child<QLabel>(about, "lblTitle")->text(), QStringLiteral("Keldor システム情報："));
    EXPECT_EQ(child<QLabel>(about, "lblVersion")->text(),
              QStringLiteral("\u3000Keldor のバージョン： 1.0.32"));
    EXPECT_EQ(child<QLabel>(about, "lblDescription")->text(),
              QStringLiteral("アプリケーション情報"));
    const QString description = child<QPlainTextEdit>(about, "txtDescription")->toPlainText();
    EXPECT_TRUE(description.startsWith(QStringLiteral("\u3000Keldor のバージョン： 1.0.32\n\n")));
    EXPECT_TRUE(child<QPushButton>(about, "cmdOK")->isDefault());

    const QList<QWidget*> lines = about.findChildren<QWidget*>(QStringLiteral("linSeparetor"));
    ASSERT_EQ(lines.size(), 2);
    const QRect first =
        lines[0]->property("index").toInt() == 0 ? lines[0]->geometry() : lines[1]->geometry();
    const QRect second =
        lines[0]->property("index").toInt() == 0 ? lines[1]->geometry() : lines[0]->geometry();
    EXPECT_EQ(first.left(), 0);
    EXPECT_EQ(first.width(), about.width());
    EXPECT_EQ(second.width(), about.width());
    EXPECT_EQ(second.top(), first.top() + 1);
}

TEST(AboutBox, OkAndEscapeClose) {
    ui::frmAbout about;
    about.show();
    child<QPushButton>(about, "cmdOK")->click();
    EXPECT_FALSE(about.isVisible());
    EXPECT_EQ(about.result(), QDialog::Accepted);
}

TEST(Gradient, PanelPaintsLeftColourToRightColour) {
    ui::GradientPanel panel;
    panel.resize(400, 40);
    ui::paintGradient(panel, ui::kHeaderLeftColour, ui::kHeaderRightColour,
                      ui::GradientMode::Horizontal);
    const QImage image = panel.grab().toImage();
    const auto near = [](QColor actual, int r, int g, int b) {
        return std::abs(actual.red() - r) <= 3 && std::abs(actual.green() - g) <= 3 &&
               std::abs(actual.blue() - b) <= 3;
    };
    EXPECT_TRUE(near(image.pixelColor(0, 20), 66, 109, 165));
    EXPECT_TRUE(near(image.pixelColor(399, 20), 107, 185, 107));
    EXPECT_TRUE(near(image.pixelColor(0, 0), 66, 109, 165)) << "not horizontal";
    EXPECT_TRUE(near(image.pixelColor(0, 39), 66, 109, 165)) << "not horizontal";
    EXPECT_TRUE(near(image.pixelColor(200, 20), 86, 147, 136)) << "not linear";
}

} // namespace
} // namespace keldor::testing
