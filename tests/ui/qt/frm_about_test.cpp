#include "tests/support/test_support.h"
#include "tests/ui/qt/ui_test_support.h"
#include "ui/about_texts.h"
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

using ui::GradientVertex;

TEST(AboutTexts, VersionAndTitleLines) {
    EXPECT_EQ(ui::aboutTitleLine(u"Keldor"), u"Keldor システム情報：");
    EXPECT_EQ(ui::aboutVersionLine(u"Keldor", ui::programVersion()),
              u"\u3000Keldor のバージョン： 1.0.32");
    EXPECT_EQ(ui::aboutVersionLine(u"X", {2, 10, 7}), u"\u3000X のバージョン： 2.10.7");
}

TEST(AboutTexts, DescriptionIsFourParagraphsJoinedByBlankLines) {
    const Text description = ui::aboutDescription(u"Keldor", ui::programVersion());
    std::vector<Text> paragraphs;
    std::size_t start = 0;
    for (std::size_t at; (at = description.find(u"\r\n\r\n", start)) != Text::npos;
         start = at + 4) {
        paragraphs.push_back(description.substr(start, at - start));
    }
    paragraphs.push_back(description.substr(start));
    ASSERT_EQ(paragraphs.size(), 4u);
    EXPECT_EQ(paragraphs[0], ui::aboutVersionLine(u"Keldor", ui::programVersion()));
    EXPECT_EQ(paragraphs[1],
              u"\u3000Outlook Expree "
              u"で削除済みアイテムフォルダから誤って消してしまったメールデータを復元します。");
    EXPECT_EQ(paragraphs[2],
              u"\u3000このソフトウェアは、フリーソフトです。誰でも自由に使用することができます。");
    EXPECT_FALSE(paragraphs[3].empty());
    EXPECT_EQ(paragraphs[3].find(u'\n'), Text::npos) << "a line break after the last paragraph";
}

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

TEST(Gradient, VerticesSpanTheTargetWithWidenedChannels) {
    const auto vertices =
        ui::gradientVertices(400, 40, ui::kHeaderLeftColour, ui::kHeaderRightColour);
    EXPECT_EQ(vertices[0], (GradientVertex{0, 0, 66 * 256, 109 * 256, 165 * 256, 0}));
    EXPECT_EQ(vertices[1], (GradientVertex{400, 40, 107 * 256, 185 * 256, 107 * 256, 0}));

    // Full-scale channels do not wrap: 255 * 256 fits 16 bits.
    const auto white = ui::gradientVertices(1, 1, ui::rgbColour(255, 255, 255), 0);
    EXPECT_EQ(white[0].red, 255 * 256);
    EXPECT_EQ(white[1].blue, 0);
    EXPECT_EQ(ui::gradientVertices(-5, -1, 0, 0)[1].x, 0);
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
