#include "ui/about_texts.h"

#include <gtest/gtest.h>

#include <vector>

namespace keldor::testing {
namespace {

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

} // namespace
} // namespace keldor::testing
