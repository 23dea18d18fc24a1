// The main window's behaviour against a fake window: what both front ends
// do once their controls have forwarded an event. The front ends' own tests
// only check that their controls reach these handlers.

#include "ui/main_window.h"

#include "engine/recovery_run.h"
#include "engine/run_flags.h"
#include "platform/text.h"
#include "tests/support/test_support.h"
#include "tests/ui/window_test_mail.h"

#include <gtest/gtest.h>

#include <array>
#include <functional>
#include <optional>

namespace keldor::testing {
namespace {

using engine::MessageAnswer;
using engine::MessageButtons;
using engine::MessageIcon;
using engine::StatusControl;
using ui::MainTextBox;

const Text kCouldNotOpen = u"DBXファイルをオープンできませんでした。";


// A window without a toolkit: its controls are fields, the status area the
// run drives is a RecordingView, and its message boxes are answered by
// `answer`. A path box's change updates Start, as the front ends' change
// notifications do, and status.onEvents is where a test presses Stop or the
// close box during a run.
class FakeMainWindow : public ui::MainWindowLogic {
public:
    using MainWindowLogic::MainWindowLogic;

    Text boxes[4] = {u"", u"", u"*", u"■"};
    bool folderMode = false;
    Text optDefaultCaption;
    std::optional<bool> startEnabled; // unset until the logic sets it
    bool inputsEnabled = true;
    std::optional<MainTextBox> focused;
    bool closed = false;
    Text picked;  // what the mailbox picker answers
    Text browsed; // what the folder chooser answers
    bool helpPresent = false;
    std::vector<Text> helpOpenedAt;
    RecordingView status;
    std::function<MessageAnswer(const Text&)> answer = [](const Text&) {
        return MessageAnswer::No;
    };

    // The user types into a box.
    void type(MainTextBox box, const Text& text) { setBoxText(box, text); }
    // The user clicks one of the options.
    void clickOption(bool folder) {
        folderMode = folder;
        updateStartButton();
    }
    // The close box: the window goes when the logic lets it.
    void closeBox() {
        if (closeRequested()) {
            closed = true;
        }
    }
    [[nodiscard]] const Text& text(MainTextBox box) const { return boxes[static_cast<int>(box)]; }

    void setText(StatusControl control, const Text& value) override {
        status.setText(control, value);
    }
    void setVisible(StatusControl control, bool visible) override {
        status.setVisible(control, visible);
    }
    void setProgress(int percent) override { status.setProgress(percent); }
    void setBusy(bool busy) override { status.setBusy(busy); }
    void processEvents() override { status.processEvents(); }
    MessageAnswer showMessage(const Text& message, MessageIcon icon,
                              MessageButtons buttons) override {
        status.messages.push_back({message, icon, buttons});
        return buttons == MessageButtons::Ok ? MessageAnswer::Ok : answer(message);
    }
    void openFolder(const std::filesystem::path& folder) override { status.openFolder(folder); }

protected:
    [[nodiscard]] Text boxText(MainTextBox box) const override { return text(box); }
    void setBoxText(MainTextBox box, const Text& value) override {
        Text& held = boxes[static_cast<int>(box)];
        const bool changed = held != value;
        held = value;
        if (changed && (box == MainTextBox::DbxFile || box == MainTextBox::EmlFolder)) {
            updateStartButton();
        }
    }
    void focusBox(MainTextBox box) override { focused = box; }
    [[nodiscard]] bool folderModeSelected() const override { return folderMode; }
    void selectFolderMode() override { folderMode = true; }
    void setOptDefaultCaption(const Text& caption) override { optDefaultCaption = caption; }
    void setStartEnabled(bool enabled) override { startEnabled = enabled; }
    void setInputsEnabled(bool enabled) override { inputsEnabled = enabled; }
    void closeWindow() override { closeBox(); }
    [[nodiscard]] Text pickMailboxFile() override { return picked; }
    [[nodiscard]] Text browseForFolder() override { return browsed; }
    [[nodiscard]] Text programFolder() const override {
        return u"C:" + Text(1, engine::kPathSeparator) + u"Keldor";
    }
    [[nodiscard]] bool openHelpFile(const Text& path) override {
        helpOpenedAt.push_back(path);
        return helpPresent;
    }
};

class MainWindowLogicTest : public ::testing::Test {
protected:
    void TearDown() override {
        engine::StopRequested = false;
        engine::ExitAfterStop = false;
    }

    // A loaded window over `output` whose default mailbox is `mailbox`.
    std::unique_ptr<FakeMainWindow> makeWindow(Text mailbox = u"") {
        auto window = std::make_unique<FakeMainWindow>(
            setupWith(u"太郎", std::move(mailbox), platform::pathText(output.path())));
        window->load();
        return window;
    }

    std::unique_ptr<FakeMainWindow> makeFolderModeWindow(int messages) {
        const std::filesystem::path file = input.path() / u"受信トレイ.dbx";
        writeNumberedMailbox(file, messages);
        auto window = makeWindow();
        window->clickOption(true);
        window->type(MainTextBox::DbxFile, platform::pathText(file));
        return window;
    }

    // The message files of the single output folder a run made in `location`.
    std::vector<std::filesystem::path> recoveredFiles(const std::filesystem::path& location) {
        std::vector<std::filesystem::path> folders;
        for (const auto& entry : std::filesystem::directory_iterator(location)) {
            folders.push_back(entry.path());
        }
        EXPECT_EQ(folders.size(), 1u);
        return folders.size() == 1 ? filesIn(folders.front())
                                   : std::vector<std::filesystem::path>{};
    }

    TempDir input;
    TempDir output;
};

constexpr int kMessages = 40;
constexpr int kPressAt = 1; // the first time the run lets the window in: early in pass 2

// --- Load and the Start button ---------------------------------------------

TEST_F(MainWindowLogicTest, LoadFillsCaptionOutputFolderStartAndClearsHelpLine) {
    struct Case {
        const char16_t* name;
        const char16_t* output;
        const char16_t* caption;
        bool startEnabled;
    };
    const Case cases[] = {
        {u"山田", u"/home/yamada", u"山田の削除済みアイテムフォルダ(&D)", true},
        // No documents folder: Start is set although the box did not change.
        {u"", u"", u"の削除済みアイテムフォルダ(&D)", false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(utf8(c.caption));
        FakeMainWindow window(setupWith(c.name, u"", c.output));
        window.load();
        EXPECT_EQ(window.optDefaultCaption, c.caption);
        EXPECT_EQ(window.text(MainTextBox::EmlFolder), c.output);
        EXPECT_EQ(window.startEnabled, c.startEnabled);
        ASSERT_FALSE(window.status.messageTexts.empty());
        EXPECT_EQ(window.status.messageTexts.back(), u"");
    }
}

TEST_F(MainWindowLogicTest, StartNeedsOutputFolderAndInFolderModeAMailbox) {
    struct Case {
        bool folderMode;
        const char16_t* mailbox;
        const char16_t* output;
        bool enabled;
    };
    // clang-format off
    const Case cases[] = {
        {false, u"", u"/out", true}, // the default identity: the mailbox box does not count
        {false, u"x.dbx", u"", false},
        {true, u"", u"/out", false},
        {true, u"x.dbx", u"/out", true},
        {true, u"x.dbx", u"", false},
        {true, u" ", u" ", true}, // only emptiness counts
    };
    // clang-format on
    auto window = makeWindow();
    for (const Case& c : cases) {
        SCOPED_TRACE(utf8(Text(c.mailbox) + u" / " + c.output));
        window->clickOption(!c.folderMode); // Start follows each click
        window->type(MainTextBox::DbxFile, c.mailbox);
        window->type(MainTextBox::EmlFolder, c.output);
        window->clickOption(c.folderMode);
        EXPECT_EQ(window->startEnabled, c.enabled);
    }
    // Typing alone updates Start.
    window->type(MainTextBox::EmlFolder, u"");
    EXPECT_EQ(window->startEnabled, false);
}

TEST_F(MainWindowLogicTest, FocusOnPathBoxesShowsTheirHelpLine) {
    struct Case {
        MainTextBox box;
        bool gained;
        const char16_t* shown;
    };
    const Case cases[] = {
        {MainTextBox::DbxFile, true, u"DBXファイルを指定します。"},
        {MainTextBox::DbxFile, false, u""},
        {MainTextBox::EmlFolder, true, u"EMLファイルの出力先を指定します。"},
        {MainTextBox::EmlFolder, false, u""},
        // The character boxes leave the help line as it is.
        {MainTextBox::NullAnk, true, u"before"},
        {MainTextBox::NullKanji, false, u"before"},
    };
    auto window = makeWindow();
    for (const Case& c : cases) {
        SCOPED_TRACE(utf8(c.shown));
        window->setText(StatusControl::Message, u"before");
        window->focusChanged(c.box, c.gained);
        EXPECT_EQ(window->status.messageTexts.back(), c.shown);
    }
}

TEST_F(MainWindowLogicTest, PickedMailboxSelectsFolderModeAndCancelledPickersChangeNothing) {
    auto window = makeWindow();
    window->type(MainTextBox::DbxFile, u"old.dbx");
    window->findDbxClicked();
    window->findEmlClicked();
    EXPECT_EQ(window->text(MainTextBox::DbxFile), u"old.dbx");
    EXPECT_EQ(window->text(MainTextBox::EmlFolder), platform::pathText(output.path()));
    EXPECT_FALSE(window->folderMode);

    window->type(MainTextBox::EmlFolder, u"");
    window->browsed = u"/home/taro/出力";
    window->findEmlClicked();
    EXPECT_EQ(window->text(MainTextBox::EmlFolder), u"/home/taro/出力");
    EXPECT_EQ(window->startEnabled, true);

    window->type(MainTextBox::DbxFile, u"");
    window->picked = u"/home/taro/受信トレイ.dbx";
    window->findDbxClicked();
    EXPECT_EQ(window->text(MainTextBox::DbxFile), u"/home/taro/受信トレイ.dbx");
    EXPECT_TRUE(window->folderMode);
    EXPECT_EQ(window->startEnabled, true);
    EXPECT_TRUE(window->status.messages.empty());
}

// --- Start checks --------------------------------------------------------------

TEST_F(MainWindowLogicTest, RejectedReplacementCharacterShowsItsMessageAndFocusesItsBox) {
    struct Case {
        const char16_t* halfWidth;
        const char16_t* fullWidth;
        MainTextBox focused;
        const char16_t* message;
    };
    const Text half = u"半角文字（カナ、カナ記号を除く）にしてください。";
    const Text full = u"全角文字を入力してください。";
    const Case cases[] = {
        // The half-width box is checked first; the full-width one is not looked at.
        {u"", u"", MainTextBox::NullAnk, half.c_str()},
        {u"**", u"■", MainTextBox::NullAnk, half.c_str()},
        {u"ｱ", u"■", MainTextBox::NullAnk, half.c_str()},
        {u"■", u"■", MainTextBox::NullAnk, half.c_str()},
        {u"\U0001F600", u"■", MainTextBox::NullAnk, half.c_str()},
        {u"*", u"a", MainTextBox::NullKanji, full.c_str()},
        {u"*", u"■■", MainTextBox::NullKanji, full.c_str()},
        {u"*", u"", MainTextBox::NullKanji, full.c_str()},
        {u"*", u"ｱ", MainTextBox::NullKanji, full.c_str()},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(utf8(Text(c.halfWidth) + u" / " + c.fullWidth));
        auto window = makeWindow(u"/nonexistent/削除済みアイテム.dbx");
        window->type(MainTextBox::NullAnk, c.halfWidth);
        window->type(MainTextBox::NullKanji, c.fullWidth);
        window->startClicked();

        // One box, and no run behind it (a run would report the missing mailbox).
        ASSERT_EQ(window->status.messages.size(), 1u);
        EXPECT_EQ(window->status.messages[0].text, c.message);
        EXPECT_EQ(window->status.messages[0].icon, MessageIcon::None);
        EXPECT_EQ(window->status.messages[0].buttons, MessageButtons::Ok);
        EXPECT_EQ(window->focused, c.focused);
        EXPECT_FALSE(window->running());
        EXPECT_TRUE(window->inputsEnabled);
        EXPECT_TRUE(std::filesystem::is_empty(output.path()));
    }
}

TEST_F(MainWindowLogicTest, StartFillsRepairOptionsFromTheBoxes) {
    auto window = makeWindow(platform::pathText(input.path() / "missing.dbx"));
    window->startClicked();
    ASSERT_EQ(window->status.messages.size(), 1u);
    EXPECT_EQ(window->status.messages[0].text.substr(0, kCouldNotOpen.size()), kCouldNotOpen);
    const repair::RepairOptions& defaults = window->repairOptions();
    EXPECT_EQ(defaults.halfWidthText, u"*");
    EXPECT_EQ(defaults.halfWidthByte, 0x2A);
    EXPECT_EQ(defaults.halfWidthHex, (std::array<char16_t, 2>{u'2', u'A'}));
    EXPECT_EQ(defaults.fullWidthText, u"■");
    EXPECT_EQ(defaults.fullWidthSjis, (std::array<unsigned char, 2>{0x81, 0xA1}));
    EXPECT_EQ(defaults.fullWidthJis, (std::array<unsigned char, 2>{0x22, 0x23}));

    // A control character is zero-padded; another full-width character gets its own JIS form.
    window->type(MainTextBox::NullAnk, u"\t");
    window->type(MainTextBox::NullKanji, u"※");
    window->startClicked();
    const repair::RepairOptions& chosen = window->repairOptions();
    EXPECT_EQ(chosen.halfWidthByte, 0x09);
    EXPECT_EQ(chosen.halfWidthHex, (std::array<char16_t, 2>{u'0', u'9'}));
    EXPECT_EQ(chosen.fullWidthSjis, (std::array<unsigned char, 2>{0x81, 0xA6}));
    EXPECT_EQ(chosen.fullWidthJis, (std::array<unsigned char, 2>{0x22, 0x28}));
    EXPECT_FALSE(window->running());
    EXPECT_TRUE(window->inputsEnabled);
}

TEST_F(MainWindowLogicTest, DefaultModeRecoversTheIdentitysMailboxAndFolderModeTheTypedOne) {
    const std::filesystem::path mailbox = input.path() / u"削除済みアイテム.dbx";
    writeNumberedMailbox(mailbox, 2);
    auto window = makeWindow(platform::pathText(mailbox));
    const Text typed = platform::pathText(input.path() / "nonexistent.dbx");
    window->type(MainTextBox::DbxFile, typed); // not used in this mode
    window->startClicked();
    ASSERT_EQ(window->status.messages.size(), 1u);
    EXPECT_EQ(window->status.messages[0].text,
              u"2" + kFoundMails + u"出力先フォルダをExplorerで開きますか？");
    EXPECT_EQ(recoveredFiles(output.path()).size(), 2u);

    window->status.messages.clear();
    window->clickOption(true);
    window->startClicked();
    ASSERT_EQ(window->status.messages.size(), 1u);
    EXPECT_EQ(window->status.messages[0].text, kCouldNotOpen + u"\r\n" + typed);
}

TEST_F(MainWindowLogicTest, RescueScansTheMailboxOfStepOneWhoseHeaderIsGone) {
    auto window = makeFolderModeWindow(3);
    const std::filesystem::path file = input.path() / u"受信トレイ.dbx";
    Bytes damaged = readFile(file);
    std::fill_n(damaged.begin(), 0x24AC, '\0');
    writeFile(file, damaged);

    window->startClicked(); // Start refuses the file
    ASSERT_EQ(window->status.messages.size(), 1u);
    EXPECT_EQ(window->status.messages[0].icon, engine::MessageIcon::Warning);
    window->status.messages.clear();
    std::filesystem::remove_all(output.path());
    std::filesystem::create_directory(output.path());

    window->rescueClicked();
    EXPECT_TRUE(window->inputsEnabled);
    ASSERT_EQ(window->status.messages.size(), 1u);
    EXPECT_EQ(window->status.messages[0].text,
              u"3" + kFoundMails + u"出力先フォルダをExplorerで開きますか？");
    std::vector<std::filesystem::path> made;
    for (const auto& entry : std::filesystem::directory_iterator(output.path())) {
        made.push_back(entry.path());
    }
    ASSERT_EQ(made.size(), 1u);
    EXPECT_EQ(made[0].filename().u16string().rfind(u"メール救出", 0), 0u);
    EXPECT_EQ(filesIn(made[0] / u"削除済みメール").size(), 3u);
}

// --- Stop and close during a run ----------------------------------------------

TEST_F(MainWindowLogicTest, RunDisablesInputsAndShowsStopUntilItReturns) {
    auto window = makeFolderModeWindow(kMessages);
    window->stopClicked(); // idle: nothing to stop, nothing asked
    EXPECT_TRUE(window->status.messages.empty());

    bool checked = false;
    window->status.onEvents = [&](int count) {
        if (count != kPressAt) {
            return;
        }
        checked = true;
        EXPECT_TRUE(window->running());
        EXPECT_FALSE(window->inputsEnabled);
        EXPECT_TRUE(window->status.isVisible(StatusControl::StopButton));
        EXPECT_FALSE(window->status.isVisible(StatusControl::StartButton));
        EXPECT_TRUE(window->status.isVisible(StatusControl::Progress));
        EXPECT_TRUE(window->status.busy);
        window->startClicked(); // a click queued behind the first starts no second run
    };
    window->startClicked();

    EXPECT_TRUE(checked);
    EXPECT_FALSE(window->running());
    EXPECT_TRUE(window->inputsEnabled);
    EXPECT_TRUE(window->status.isVisible(StatusControl::StartButton));
    EXPECT_FALSE(window->status.isVisible(StatusControl::StopButton));
    EXPECT_FALSE(window->status.busy);
    ASSERT_EQ(window->status.messages.size(), 1u);
    EXPECT_EQ(window->status.messages[0].text,
              u"40" + kFoundMails + u"出力先フォルダをExplorerで開きますか？");
    EXPECT_EQ(recoveredFiles(output.path()).size(), static_cast<std::size_t>(kMessages));
    EXPECT_FALSE(window->closed);
}

TEST_F(MainWindowLogicTest, StopAndCloseDuringARunAskAndOnYesEndItEarly) {
    struct Case {
        bool close; // the close box, else Stop
        MessageAnswer answer;
        bool reported; // the run's last box, which a close skips
        bool early;    // the run stopped before its last mail
        bool closed;   // the window went after the run
    };
    const Case cases[] = {
        {false, MessageAnswer::Yes, true, true, false},
        {false, MessageAnswer::No, true, false, false},
        {true, MessageAnswer::Yes, false, true, true},
        {true, MessageAnswer::No, true, false, false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::string(c.close ? "close " : "stop ") +
                     (c.answer == MessageAnswer::Yes ? "Yes" : "No"));
        TempDir scratch;
        auto window = makeFolderModeWindow(kMessages);
        window->type(MainTextBox::EmlFolder, platform::pathText(scratch.path()));
        const Text question = c.close ? kCloseQuestion : kStopQuestion;
        window->answer = [&](const Text& text) {
            return text == question ? c.answer : MessageAnswer::No;
        };
        bool closedDuringRun = false;
        window->status.onEvents = [&](int count) {
            if (count == kPressAt) {
                c.close ? window->closeBox() : window->stopClicked();
                closedDuringRun = window->closed;
            }
        };
        window->startClicked();

        EXPECT_FALSE(closedDuringRun) << "the window went while its run was still going";
        ASSERT_EQ(window->status.messages.size(), c.reported ? 2u : 1u);
        EXPECT_EQ(window->status.messages[0].text, question);
        EXPECT_EQ(window->status.messages[0].icon, MessageIcon::Question);
        EXPECT_EQ(window->status.messages[0].buttons, MessageButtons::YesNo);
        if (c.reported) {
            EXPECT_NE(window->status.messages[1].text.find(kFoundMails), Text::npos);
        }
        const std::size_t files = recoveredFiles(scratch.path()).size();
        EXPECT_GE(files, 1u);
        EXPECT_EQ(files < static_cast<std::size_t>(kMessages), c.early) << files << " files";
        EXPECT_EQ(window->closed, c.closed);
        EXPECT_FALSE(window->running());
        // Idle, the window closes at once without asking.
        EXPECT_TRUE(window->closeRequested());
        EXPECT_EQ(window->status.messages.size(), c.reported ? 2u : 1u);
        engine::StopRequested = false;
        engine::ExitAfterStop = false;
    }
}

// --- Help ----------------------------------------------------------------------

TEST_F(MainWindowLogicTest, HelpOpensTheFileBesideTheProgramOrNamesItInAWarning) {
    const Text separator(1, engine::kPathSeparator);
    const Text file = u"C:" + separator + u"Keldor" + separator + u"BRAMLEX.chm";
    auto window = makeWindow();
    window->helpClicked();
    ASSERT_EQ(window->status.messages.size(), 1u);
    EXPECT_EQ(window->status.messages[0].text,
              u"ヘルプファイル BRAMLEX.chm を開けませんでした。\r\n" + file);
    EXPECT_EQ(window->status.messages[0].icon, MessageIcon::Warning);
    EXPECT_EQ(window->status.messages[0].buttons, MessageButtons::Ok);
    EXPECT_FALSE(window->helpOpened());

    window->helpPresent = true;
    window->helpClicked();
    EXPECT_EQ(window->helpOpenedAt, (std::vector<Text>{file, file}));
    EXPECT_EQ(window->status.messages.size(), 1u);
    EXPECT_TRUE(window->helpOpened());
}

TEST(MainWindowHelp, HelpFileSitsBesideTheProgram) {
    const Text separator(1, engine::kPathSeparator);
    const Text folder = u"C:" + separator + u"Keldor";
    EXPECT_EQ(ui::helpFilePath(folder), folder + separator + u"BRAMLEX.chm");
    EXPECT_EQ(ui::helpFilePath(u"C:" + separator), u"C:" + separator + u"BRAMLEX.chm");
}

} // namespace
} // namespace keldor::testing
