// Names the output folder may not take, shortening where the file system
// forces it, and a rename that never replaces a file.

#include "platform/file_names.h"

#include "platform/text.h"
#include "tests/support/test_support.h"

#include <gtest/gtest.h>

namespace keldor::platform {
namespace {

using testing::utf8;

TEST(FileNames, RefusesWhatWindowsRefuses) {
    const Text refused[] = {
        u"",
        u"a\rb.eml",
        u"a\nb.eml",
        u"a\tb.eml",
        Text(u"a\0b.eml", 7),
        u"\x1F.eml",
        u"a:b.eml",
        u"a|b.eml",
        u"a\"b.eml",
        u"a/b.eml",
        u"CON.eml",
        u"con",
        u"Nul .eml",
        u"lpt9.x.eml",
        u"com1.eml",
        u"name.",
        u"name ",
        Text(u"a") + static_cast<char16_t>(0xD800) + u".eml",
    };
    for (const Text& name : refused) {
        EXPECT_TRUE(isRefusedFileName(name)) << utf8(name);
    }
    const Text accepted[] = {
        u"abc.eml",   u"(件名なし)(1).eml", u"a_b_ c_.eml",    u"console.eml",
        u"com10.eml", u"CON(1).eml",        u"\U0001F600.eml", u".eml",
    };
    for (const Text& name : accepted) {
        EXPECT_FALSE(isRefusedFileName(name)) << utf8(name);
    }
}

TEST(FileNames, ShortensOnlyWhatDoesNotFit) {
    EXPECT_EQ(fitFileName(u"short", u".eml"), u"short.eml");

    // 84 Japanese characters are 252 bytes of UTF-8: with ".eml" too long.
    const Text japanese(84, u'あ');
    const Text fitted = fitFileName(japanese, u"(12).eml");
    EXPECT_EQ(fitted, Text(82, u'あ') + u"(12).eml");
    EXPECT_LE(toUtf8(fitted).size(), kMaxFileNameLength);
    EXPECT_FALSE(isRefusedFileName(fitted));
    EXPECT_TRUE(isRefusedFileName(japanese + u".eml"));

    // Exactly at the limit: kept whole.
    const Text ascii(251, u'a');
    EXPECT_EQ(fitFileName(ascii, u".eml"), ascii + u".eml");
    EXPECT_EQ(fitFileName(ascii + u"b", u".eml"), ascii + u".eml");

    // A surrogate pair is never split.
    Text emoji;
    for (int i = 0; i < 70; ++i) {
        emoji += u"\U0001F600";
    }
    const Text cut = fitFileName(u"ab" + emoji, u".eml");
    EXPECT_EQ(cut, u"ab" + emoji.substr(0, 2 * 62) + u".eml");
    EXPECT_FALSE(isRefusedFileName(cut));
}

class RenameNoReplace : public ::testing::Test {
protected:
    testing::TempDir dir;
};

TEST_F(RenameNoReplace, RenamesToAFreeName) {
    const auto from = dir.path() / "Recover1.eml";
    const auto to = dir.path() / toPath(u"件名.eml");
    testing::writeFile(from, "mail");
    EXPECT_FALSE(renameNoReplace(from, to));
    EXPECT_FALSE(std::filesystem::exists(from));
    EXPECT_EQ(testing::readFile(to), "mail");
}

TEST_F(RenameNoReplace, NeverReplacesAnExistingFile) {
    const auto from = dir.path() / "Recover1.eml";
    const auto to = dir.path() / "taken.eml";
    testing::writeFile(from, "new");
    testing::writeFile(to, "old");
    EXPECT_EQ(renameNoReplace(from, to), std::errc::file_exists);
    EXPECT_EQ(testing::readFile(from), "new");
    EXPECT_EQ(testing::readFile(to), "old");

    // A directory of that name counts as taken too.
    std::filesystem::create_directory(dir.path() / "folder.eml");
    EXPECT_EQ(renameNoReplace(from, dir.path() / "folder.eml"), std::errc::file_exists);
    // Onto itself: the name is taken.
    EXPECT_EQ(renameNoReplace(from, from), std::errc::file_exists);
    EXPECT_EQ(testing::readFile(from), "new");
}

TEST_F(RenameNoReplace, TellsOtherFailuresApart) {
    const auto from = dir.path() / "Recover1.eml";
    testing::writeFile(from, "mail");
    const std::error_code tooLong =
        renameNoReplace(from, dir.path() / (std::string(300, 'a') + ".eml"));
    EXPECT_TRUE(tooLong);
    EXPECT_NE(tooLong, std::errc::file_exists);
    const std::error_code missing =
        renameNoReplace(dir.path() / "missing.eml", dir.path() / "x.eml");
    EXPECT_TRUE(missing);
    EXPECT_NE(missing, std::errc::file_exists);
    EXPECT_EQ(testing::readFile(from), "mail");
}

} // namespace
} // namespace keldor::platform
