#include "ui/main_window.h"

#include "engine/recovery_run.h"

#include <gtest/gtest.h>

namespace keldor::testing {
namespace {

TEST(MainWindowHelp, HelpFileSitsBesideTheProgram) {
    const Text separator(1, engine::kPathSeparator);
    const Text folder = u"C:" + separator + u"Keldor";
    EXPECT_EQ(ui::helpFilePath(folder), folder + separator + u"BRAMLEX.chm");
    EXPECT_EQ(ui::helpFilePath(u"C:" + separator), u"C:" + separator + u"BRAMLEX.chm");
}

} // namespace
} // namespace keldor::testing
