#include "engine/run_flags.h"
#include "platform/text.h"
#include "tests/support/file_bytes.h"
#include "tests/support/test_support.h"
#include "tests/ui/qt/ui_test_support.h"
#include "tests/ui/window_test_mail.h"
#include "ui/qt/frm_main.h"
#include "ui/qt/guide_location.h"
#include "ui/qt/qt_text.h"

#include <QAction>
#include <QApplication>
#include <QCoreApplication>
#include <QDir>
#include <QLabel>
#include <QLineEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QRadioButton>

#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <functional>
#include <string>

namespace keldor::testing {
namespace {

using engine::MessageAnswer;
using engine::MessageButtons;
using engine::MessageIcon;
using ui::frmMain;
using ui::toQString;



// A main window whose runs call `onEvents` each time they let events through,
// the way a user's clicks arrive between two steps of the run, and whose
// mailbox file picker answers `picked` when it is set.
class ScriptedMain : public frmMain {
public:
    using frmMain::frmMain;
    std::function<void(int count)> onEvents;
    std::function<Text()> picked;
    int eventCount = 0;

    Text pickMailboxFile() override { return picked ? picked() : frmMain::pickMailboxFile(); }

    void processEvents() override {
        frmMain::processEvents();
        ++eventCount;
        if (onEvents) {
            onEvents(eventCount);
        }
    }
};

class MainWindowTest : public ::testing::Test {
protected:
    void TearDown() override {
        engine::StopRequested = false;
        engine::ExitAfterStop = false;
    }

    // A window over `output` whose default mailbox is `mailbox`.
    std::unique_ptr<ScriptedMain> makeWindow(Text mailbox = u"", Text name = u"太郎") {
        auto window = std::make_unique<ScriptedMain>(
            setupWith(std::move(name), std::move(mailbox), platform::pathText(output.path())),
            boxes);
        window->show();
        QCoreApplication::processEvents();
        return window;
    }

    void useMailboxFile(frmMain& window, const std::filesystem::path& file) {
        child<QRadioButton>(window, "optFolder")->setChecked(true);
        child<QLineEdit>(window, "txtDBXFile")->setText(toQString(platform::pathText(file)));
    }

    // The message files of the single output folder a run made.
    std::vector<std::filesystem::path> recoveredFiles() {
        std::vector<std::filesystem::path> folders;
        for (const auto& entry : std::filesystem::directory_iterator(output.path())) {
            folders.push_back(entry.path());
        }
        EXPECT_EQ(folders.size(), 1u);
        return folders.size() == 1 ? filesIn(folders.front())
                                   : std::vector<std::filesystem::path>{};
    }

    std::filesystem::path writeMailbox(int messages) {
        const std::filesystem::path file = input.path() / "mailbox.dbx";
        writeNumberedMailbox(file, messages);
        return file;
    }

    TempDir input;
    TempDir output;
    AnsweringBoxes boxes;
};

// --- Controls and their wiring ------------------------------------------------
// What the window does with each event is tested once, against a fake, in
// tests/ui/main_window_test.cpp; here the controls and that they reach it.

TEST_F(MainWindowTest, LoadShowsTheDefaultsInAWindowOfFixedSize) {
    auto window = makeWindow(u"", u"山田");
    EXPECT_EQ(child<QRadioButton>(*window, "optDefault")->text(),
              QStringLiteral("山田の削除済みアイテムフォルダ(&D)"));
    EXPECT_TRUE(child<QRadioButton>(*window, "optDefault")->isChecked());
    EXPECT_EQ(ui::toText(child<QLineEdit>(*window, "txtEMLFolder")->text()),
              platform::pathText(output.path()));
    EXPECT_EQ(child<QLineEdit>(*window, "txtNullAnk")->text(), QStringLiteral("*"));
    EXPECT_EQ(child<QLineEdit>(*window, "txtNullKanji")->text(), QStringLiteral("■"));
    EXPECT_TRUE(child<QLabel>(*window, "lblMessage")->text().isEmpty());
    EXPECT_EQ(window->windowTitle(), QStringLiteral("Keldor"));
    EXPECT_EQ(window->minimumSize(), window->maximumSize()) << "the window is not of fixed size";
    EXPECT_FALSE(child<QPushButton>(*window, "cmdStop")->isVisible());
    EXPECT_FALSE(child<QProgressBar>(*window, "prgStatus")->isVisible());
}

TEST_F(MainWindowTest, OptionsAndPathBoxesUpdateTheStartButton) {
    auto window = makeWindow();
    auto* start = child<QPushButton>(*window, "cmdStart");
    auto* dbx = child<QLineEdit>(*window, "txtDBXFile");
    auto* eml = child<QLineEdit>(*window, "txtEMLFolder");
    auto* rescue = child<QAction>(*window, "mnuFileRescue");
    EXPECT_EQ(rescue->text(), QStringLiteral("破損したファイルから救出(&R)..."));

    EXPECT_TRUE(start->isEnabled());
    EXPECT_TRUE(rescue->isEnabled());
    child<QRadioButton>(*window, "optFolder")->click();
    EXPECT_FALSE(start->isEnabled());
    EXPECT_FALSE(rescue->isEnabled()) << "the rescue follows Start";
    dbx->setText(QStringLiteral("x.dbx"));
    EXPECT_TRUE(start->isEnabled());
    eml->clear();
    EXPECT_FALSE(start->isEnabled());
    eml->setText(QStringLiteral("/tmp"));
    dbx->clear();
    EXPECT_FALSE(start->isEnabled());
    child<QRadioButton>(*window, "optDefault")->click();
    EXPECT_TRUE(start->isEnabled());
}

TEST_F(MainWindowTest, FocusOnPathBoxesShowsHelpLine) {
    auto window = makeWindow();
    QApplication::setActiveWindow(window.get());
    auto* message = child<QLabel>(*window, "lblMessage");
    child<QLineEdit>(*window, "txtDBXFile")->setFocus();
    EXPECT_EQ(message->text(), QStringLiteral("DBXファイルを指定します。"));
    child<QLineEdit>(*window, "txtEMLFolder")->setFocus();
    EXPECT_EQ(message->text(), QStringLiteral("EMLファイルの出力先を指定します。"));
    child<QLineEdit>(*window, "txtNullAnk")->setFocus();
    EXPECT_TRUE(message->text().isEmpty());
}

TEST_F(MainWindowTest, PickedMailboxFillsItsBoxAndSelectsFolderMode) {
    ScriptedMain window(setupWith(u"", u"", platform::pathText(output.path())), boxes);
    window.picked = [] { return Text(u"/home/taro/受信トレイ.dbx"); };
    child<QPushButton>(window, "cmdFindDBX")->click();
    EXPECT_EQ(child<QLineEdit>(window, "txtDBXFile")->text(),
              QStringLiteral("/home/taro/受信トレイ.dbx"));
    EXPECT_TRUE(child<QRadioButton>(window, "optFolder")->isChecked());
    EXPECT_FALSE(child<QRadioButton>(window, "optDefault")->isChecked());
    EXPECT_TRUE(child<QPushButton>(window, "cmdStart")->isEnabled());
}

TEST_F(MainWindowTest, RejectedReplacementCharacterFocusesItsBox) {
    struct Case {
        const char16_t* halfWidth;
        const char16_t* fullWidth;
        const char* focused;
        const char16_t* message;
    };
    const Case cases[] = {
        {u"**", u"■", "txtNullAnk", u"半角文字（カナ、カナ記号を除く）にしてください。"},
        {u"*", u"a", "txtNullKanji", u"全角文字を入力してください。"},
    };
    for (const Case& rejected : cases) {
        SCOPED_TRACE(rejected.focused);
        boxes.shown.clear();
        auto window = makeWindow(u"/nonexistent/削除済みアイテム.dbx");
        child<QLineEdit>(*window, "txtNullAnk")->setText(toQString(rejected.halfWidth));
        child<QLineEdit>(*window, "txtNullKanji")->setText(toQString(rejected.fullWidth));
        child<QPushButton>(*window, "cmdStart")->click();

        // One box, and no run behind it (a run would report the missing mailbox).
        ASSERT_EQ(boxes.shown.size(), 1u);
        EXPECT_EQ(boxes.shown[0].text, rejected.message);
        EXPECT_EQ(window->focusWidget(), child<QLineEdit>(*window, rejected.focused));
        EXPECT_TRUE(std::filesystem::is_empty(output.path()));
    }
}

// --- Runs ----------------------------------------------------------------------

constexpr int kMessages = 40;
constexpr int kPressAt = 1; // the first time the run lets the window in: early in pass 2

TEST_F(MainWindowTest, StartRunsIntoTheOutputFolderWithProgressAndInputsDisabled) {
    const std::filesystem::path mailbox = writeMailbox(kMessages);
    auto window = makeWindow();
    useMailboxFile(*window, mailbox);
    child<QLineEdit>(*window, "txtNullAnk")->setText(QStringLiteral("\t"));
    child<QLineEdit>(*window, "txtNullKanji")->setText(QStringLiteral("※"));
    bool checked = false;
    int highestProgress = 0;
    window->onEvents = [&](int count) {
        highestProgress =
            std::max(highestProgress, child<QProgressBar>(*window, "prgStatus")->value());
        if (count != kPressAt) {
            return;
        }
        checked = true;
        EXPECT_TRUE(window->running());
        EXPECT_FALSE(child<QWidget>(*window, "picFrame")->isEnabled());
        EXPECT_FALSE(child<QPushButton>(*window, "cmdFindDBX")->isEnabled());
        EXPECT_FALSE(child<QPushButton>(*window, "cmdFindEML")->isEnabled());
        for (const char* menu : {"mnuFileRescue", "mnuFileExit", "mnuHelpHelp", "mnuHelpAbout"}) {
            EXPECT_FALSE(child<QAction>(*window, menu)->isEnabled()) << menu;
        }
        EXPECT_TRUE(child<QPushButton>(*window, "cmdStop")->isVisible());
        EXPECT_FALSE(child<QPushButton>(*window, "cmdStart")->isVisible());
        EXPECT_TRUE(child<QProgressBar>(*window, "prgStatus")->isVisible());
        ASSERT_NE(QGuiApplication::overrideCursor(), nullptr);
        EXPECT_EQ(QGuiApplication::overrideCursor()->shape(), Qt::WaitCursor);
    };
    child<QPushButton>(*window, "cmdStart")->click();

    EXPECT_TRUE(checked);
    EXPECT_EQ(highestProgress, 100);
    ASSERT_EQ(boxes.shown.size(), 1u);
    EXPECT_EQ(boxes.shown[0].text, u"40" + kFoundMails + u"出力先フォルダをExplorerで開きますか？");
    const std::vector<std::filesystem::path> files = recoveredFiles();
    ASSERT_EQ(files.size(), static_cast<std::size_t>(kMessages));
    EXPECT_EQ(files.front().filename(), std::filesystem::path("Mail 1.eml"));
    EXPECT_EQ(window->repairOptions().halfWidthByte, 0x09);
    EXPECT_EQ(window->repairOptions().fullWidthSjis, (std::array<unsigned char, 2>{0x81, 0xA6}));
    EXPECT_FALSE(window->running());
    EXPECT_TRUE(child<QWidget>(*window, "picFrame")->isEnabled());
    EXPECT_TRUE(child<QPushButton>(*window, "cmdFindDBX")->isEnabled());
    EXPECT_TRUE(child<QAction>(*window, "mnuHelpAbout")->isEnabled());
    EXPECT_TRUE(child<QAction>(*window, "mnuFileRescue")->isEnabled());
    EXPECT_TRUE(child<QPushButton>(*window, "cmdStart")->isVisible());
    EXPECT_FALSE(child<QPushButton>(*window, "cmdStop")->isVisible());
    EXPECT_EQ(QGuiApplication::overrideCursor(), nullptr);
}

TEST_F(MainWindowTest, StopButtonReachesTheRun) {
    const std::filesystem::path mailbox = writeMailbox(kMessages);
    auto window = makeWindow();
    useMailboxFile(*window, mailbox);
    boxes.answer = [](const Text& text) {
        return text == kStopQuestion ? MessageAnswer::Yes : MessageAnswer::No;
    };
    window->onEvents = [&](int count) {
        if (count == kPressAt) {
            child<QPushButton>(*window, "cmdStop")->click();
        }
    };
    child<QPushButton>(*window, "cmdStart")->click();

    ASSERT_GE(boxes.shown.size(), 2u);
    EXPECT_EQ(boxes.shown[0].text, kStopQuestion);
    EXPECT_EQ(boxes.shown[0].icon, MessageIcon::Question);
    EXPECT_EQ(boxes.shown[0].buttons, MessageButtons::YesNo);
    EXPECT_TRUE(boxes.anyContains(kFoundMails));
    const std::size_t files = recoveredFiles().size();
    EXPECT_GE(files, 1u);
    EXPECT_LT(files, static_cast<std::size_t>(kMessages));
    EXPECT_TRUE(window->isVisible());
    EXPECT_FALSE(window->running());
}

TEST_F(MainWindowTest, CloseDuringRunWaitsForTheRunThenClosesWithoutReport) {
    const std::filesystem::path mailbox = writeMailbox(kMessages);
    auto window = makeWindow();
    useMailboxFile(*window, mailbox);
    boxes.answer = [](const Text& text) {
        return text == kCloseQuestion ? MessageAnswer::Yes : MessageAnswer::No;
    };
    bool stayedOpen = false;
    window->onEvents = [&](int count) {
        if (count == kPressAt) {
            window->close();
            stayedOpen = window->isVisible();
        }
    };
    child<QPushButton>(*window, "cmdStart")->click();

    EXPECT_TRUE(stayedOpen) << "the window went while its run was still going";
    ASSERT_EQ(boxes.shown.size(), 1u) << "the run reported although the user closed";
    EXPECT_EQ(boxes.shown[0].text, kCloseQuestion);
    EXPECT_EQ(boxes.shown[0].icon, MessageIcon::Question);
    EXPECT_LT(recoveredFiles().size(), static_cast<std::size_t>(kMessages));
    EXPECT_FALSE(window->isVisible());
}

// --- Help ----------------------------------------------------------------------

TEST_F(MainWindowTest, MissingGuideIsNamedInAMessage) {
    const Text expected = ui::guideStartPage(
        ui::toText(QDir::toNativeSeparators(QCoreApplication::applicationDirPath())));
    ASSERT_FALSE(std::filesystem::exists(platform::toPath(expected)));
    auto window = makeWindow();
    child<QAction>(*window, "mnuHelpHelp")->trigger();
    ASSERT_EQ(boxes.shown.size(), 1u);
    EXPECT_EQ(boxes.shown[0].text,
              u"ヘルプファイル index.html を開けませんでした。\r\n" + expected);
    EXPECT_EQ(boxes.shown[0].icon, MessageIcon::Warning);
    EXPECT_FALSE(window->helpOpened());
}

TEST(GuideLocation, InstalledTreeFirstThenBesideTheProgramElseTheInstalledPlace) {
    const TempDir prefix;
    const std::filesystem::path bin = prefix.path() / "bin";
    std::filesystem::create_directories(bin);
    const std::filesystem::path installed =
        prefix.path() / "share" / "keldor" / "guide" / "ja" / "index.html";
    const std::filesystem::path beside = bin / "guide" / "ja" / "index.html";
    const Text folder = platform::pathText(bin);

    EXPECT_EQ(ui::guideStartPage(folder), platform::pathText(installed));
    std::filesystem::create_directories(beside.parent_path());
    ASSERT_TRUE(writeFile(beside, "<html></html>"));
    EXPECT_EQ(ui::guideStartPage(folder), platform::pathText(beside));
    std::filesystem::create_directories(installed.parent_path());
    ASSERT_TRUE(writeFile(installed, "<html></html>"));
    EXPECT_EQ(ui::guideStartPage(folder), platform::pathText(installed));
}

} // namespace
} // namespace keldor::testing
