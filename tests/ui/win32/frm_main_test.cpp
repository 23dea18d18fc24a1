// The Win32 main window driven through its real controls, with the message
// boxes it opens answered from inside their own loops.

#include "engine/run_flags.h"
#include "platform/text.h"
#include "tests/support/test_support.h"
#include "tests/ui/win32/window_test_support.h"
#include "tests/ui/window_test_mail.h"
#include "ui/win32/frm_about.h"
#include "ui/win32/frm_main.h"
#include "ui/win32/single_instance.h"

#include <commctrl.h>

#include <gtest/gtest.h>

#include <functional>
#include <memory>
#include <string>

namespace keldor::testing {
namespace {

using ui::win32::frmMain;
using ui::win32::setWindowText;
using ui::win32::windowText;

const Text kCouldNotOpen = u"DBXファイルをオープンできませんでした。";

// A main window whose runs call `onEvents` each time they let messages
// through, the way the user's clicks arrive between two steps of a run.
class ScriptedMain : public frmMain {
public:
    using frmMain::frmMain;
    std::function<void(int count)> onEvents;
    int eventCount = 0;

    void processEvents() override {
        ++eventCount;
        if (onEvents) {
            onEvents(eventCount);
        }
        frmMain::processEvents(); // dispatches what onEvents posted
    }
};

class Win32MainWindow : public ::testing::Test {
protected:
    void TearDown() override {
        engine::StopRequested = false;
        engine::ExitAfterStop = false;
    }

    std::unique_ptr<ScriptedMain> makeWindow(Text mailbox = u"", Text name = u"太郎") {
        ui::MainWindowSetup setup;
        setup.defaultIdentityName = std::move(name);
        setup.defaultMailboxPath = std::move(mailbox);
        setup.defaultOutputFolder = platform::pathText(output.path());
        auto window = std::make_unique<ScriptedMain>(std::move(setup), application.handle());
        window->show();
        pumpMessages();
        return window;
    }

    static HWND at(const frmMain& window, int id) {
        HWND control = window.control(id);
        EXPECT_NE(control, nullptr) << "no control " << id;
        return control;
    }
    static void click(const frmMain& window, int id) {
        ::SendMessageW(at(window, id), BM_CLICK, 0, 0);
    }
    static void type(const frmMain& window, int id, TextView text) {
        setWindowText(at(window, id), text); // WM_SETTEXT, as the user's typing ends up
    }
    static bool enabled(const frmMain& window, int id) {
        return ::IsWindowEnabled(at(window, id)) != FALSE;
    }
    static bool visible(const frmMain& window, int id) {
        return ::IsWindowVisible(at(window, id)) != FALSE;
    }
    static bool checked(const frmMain& window, int id) {
        return ::SendMessageW(at(window, id), BM_GETCHECK, 0, 0) == BST_CHECKED;
    }
    static bool menuEnabled(const frmMain& window, int id) {
        return (::GetMenuState(window.menu(), static_cast<UINT>(id), MF_BYCOMMAND) & MF_GRAYED) ==
               0;
    }

    void useMailboxFile(const frmMain& window, const std::filesystem::path& file) {
        click(window, frmMain::optFolder);
        type(window, frmMain::txtDBXFile, platform::pathText(file));
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
        const std::filesystem::path file = input.path() / u"受信トレイ.dbx";
        writeNumberedMailbox(file, messages);
        return file;
    }

    ui::win32::ApplicationWindow application;
    TempDir input;
    TempDir output;
    ModalScript script;
};

// --- Controls and their wiring --------------------------------------------
// What the window does with each event is tested once, against a fake, in
// tests/ui/main_window_test.cpp; here the controls and that they reach it.

TEST_F(Win32MainWindow, LoadShowsTheDefaultsCentredWithAFixedBorder) {
    auto window = makeWindow(u"", u"山田");
    EXPECT_EQ(windowText(window->handle()), u"Keldor");
    EXPECT_EQ(windowText(at(*window, frmMain::optDefault)), u"山田の削除済みアイテムフォルダ(&D)");
    EXPECT_TRUE(checked(*window, frmMain::optDefault));
    EXPECT_EQ(windowText(at(*window, frmMain::txtEMLFolder)), platform::pathText(output.path()));
    EXPECT_EQ(windowText(at(*window, frmMain::txtNullAnk)), u"*");
    EXPECT_EQ(windowText(at(*window, frmMain::txtNullKanji)), u"■");
    EXPECT_EQ(windowText(at(*window, frmMain::lblMessage)), u"");
    EXPECT_FALSE(visible(*window, frmMain::cmdStop));
    EXPECT_FALSE(visible(*window, frmMain::prgStatus));
    EXPECT_EQ(::GetWindow(window->handle(), GW_OWNER), application.handle());

    const auto style = static_cast<DWORD>(::GetWindowLongPtrW(window->handle(), GWL_STYLE));
    EXPECT_EQ(style & WS_THICKFRAME, 0u) << "the border can be dragged";
    EXPECT_NE(style & WS_MINIMIZEBOX, 0u);
    EXPECT_EQ(style & WS_MAXIMIZEBOX, 0u);
    RECT place{};
    RECT work{};
    ::GetWindowRect(window->handle(), &place);
    ::SystemParametersInfoW(SPI_GETWORKAREA, 0, &work, 0);
    EXPECT_LE(std::abs((place.left + place.right) - (work.left + work.right)), 2);
    EXPECT_LE(std::abs((place.top + place.bottom) - (work.top + work.bottom)), 2);
}

TEST_F(Win32MainWindow, OptionsAndPathBoxesUpdateTheStartButton) {
    auto window = makeWindow();
    EXPECT_TRUE(enabled(*window, frmMain::cmdStart));
    EXPECT_TRUE(menuEnabled(*window, frmMain::mnuFileRescue));
    click(*window, frmMain::optFolder);
    EXPECT_FALSE(enabled(*window, frmMain::cmdStart));
    EXPECT_FALSE(menuEnabled(*window, frmMain::mnuFileRescue)) << "the rescue follows Start";
    type(*window, frmMain::txtDBXFile, u"x.dbx");
    EXPECT_TRUE(enabled(*window, frmMain::cmdStart));
    type(*window, frmMain::txtEMLFolder, u"");
    EXPECT_FALSE(enabled(*window, frmMain::cmdStart));
    type(*window, frmMain::txtEMLFolder, u"C:\\");
    type(*window, frmMain::txtDBXFile, u"");
    EXPECT_FALSE(enabled(*window, frmMain::cmdStart));
    click(*window, frmMain::optDefault);
    EXPECT_TRUE(enabled(*window, frmMain::cmdStart));
    EXPECT_FALSE(checked(*window, frmMain::optFolder));
}

TEST_F(Win32MainWindow, FocusOnThePathBoxesShowsTheHelpLine) {
    auto window = makeWindow();
    ::SetFocus(at(*window, frmMain::txtDBXFile));
    EXPECT_EQ(windowText(at(*window, frmMain::lblMessage)), u"DBXファイルを指定します。");
    ::SetFocus(at(*window, frmMain::txtEMLFolder));
    EXPECT_EQ(windowText(at(*window, frmMain::lblMessage)), u"EMLファイルの出力先を指定します。");
    ::SetFocus(at(*window, frmMain::txtNullAnk));
    EXPECT_EQ(windowText(at(*window, frmMain::lblMessage)), u"");
}

TEST_F(Win32MainWindow, TabVisitsTheInputsInOrderAndAccessKeysReachTheirBoxes) {
    auto window = makeWindow();
    const auto press = [&](UINT message, WPARAM key) {
        MSG keyMessage{::GetFocus(), message, key, 0, 0, {}};
        if (!window->translateDialogMessage(keyMessage)) {
            ::TranslateMessage(&keyMessage);
            ::DispatchMessageW(&keyMessage);
        }
        pumpMessages();
    };
    ::SetFocus(at(*window, frmMain::optDefault));
    const int order[] = {frmMain::txtDBXFile, frmMain::cmdFindDBX, frmMain::txtEMLFolder,
                         frmMain::cmdFindEML, frmMain::txtNullAnk, frmMain::txtNullKanji,
                         frmMain::cmdStart,   frmMain::optDefault};
    for (const int next : order) {
        press(WM_KEYDOWN, VK_TAB);
        EXPECT_EQ(::GetDlgCtrlID(::GetFocus()), next);
    }
    // Alt+H and Alt+Z: the labels hand the focus to their boxes; Alt+E too.
    const std::pair<WPARAM, int> keys[] = {
        {'h', frmMain::txtNullAnk}, {'z', frmMain::txtNullKanji}, {'e', frmMain::txtEMLFolder}};
    for (const auto& [key, box] : keys) {
        press(WM_SYSCHAR, key);
        EXPECT_EQ(::GetDlgCtrlID(::GetFocus()), box) << static_cast<char>(key);
    }
}

// --- Start checks ----------------------------------------------------------

TEST_F(Win32MainWindow, StartChecksTheReplacementCharactersAndHandsThemToTheRun) {
    struct Case {
        const char16_t* halfWidth;
        const char16_t* fullWidth;
        int focused;
        const char16_t* message;
    };
    const Case cases[] = {
        {u"**", u"■", frmMain::txtNullAnk, u"半角文字（カナ、カナ記号を除く）にしてください。"},
        {u"*", u"a", frmMain::txtNullKanji, u"全角文字を入力してください。"},
    };
    auto window = makeWindow(platform::pathText(input.path() / "missing.dbx"));
    for (const Case& rejected : cases) {
        SCOPED_TRACE(utf8(Text(rejected.halfWidth) + u" / " + rejected.fullWidth));
        script.boxes.clear();
        type(*window, frmMain::txtNullAnk, rejected.halfWidth);
        type(*window, frmMain::txtNullKanji, rejected.fullWidth);
        click(*window, frmMain::cmdStart);

        // One box without an icon, and no run behind it (it would report the missing mailbox).
        ASSERT_EQ(script.boxes.size(), 1u);
        EXPECT_EQ(script.boxes[0].text, rejected.message);
        EXPECT_FALSE(script.boxes[0].hasIcon);
        EXPECT_FALSE(script.boxes[0].yesNo);
        EXPECT_EQ(::GetFocus(), at(*window, rejected.focused));
        EXPECT_TRUE(std::filesystem::is_empty(output.path()));
    }

    script.boxes.clear();
    type(*window, frmMain::txtNullAnk, u"\t");
    type(*window, frmMain::txtNullKanji, u"※");
    click(*window, frmMain::cmdStart);
    ASSERT_EQ(script.boxes.size(), 1u);
    EXPECT_EQ(script.boxes[0].text.substr(0, kCouldNotOpen.size()), kCouldNotOpen);
    EXPECT_TRUE(script.boxes[0].hasIcon);
    const repair::RepairOptions& chosen = window->repairOptions();
    EXPECT_EQ(chosen.halfWidthByte, 0x09);
    EXPECT_EQ(chosen.halfWidthHex, (std::array<char16_t, 2>{u'0', u'9'}));
    EXPECT_EQ(chosen.fullWidthSjis, (std::array<unsigned char, 2>{0x81, 0xA6}));
    EXPECT_EQ(chosen.fullWidthJis, (std::array<unsigned char, 2>{0x22, 0x28}));
    EXPECT_TRUE(enabled(*window, frmMain::picFrame));
    EXPECT_TRUE(enabled(*window, frmMain::txtNullAnk));
}

// --- Runs ------------------------------------------------------------------

constexpr int kMessages = 40;
constexpr int kPressAt = 1; // the first time the run lets the window in: early in pass 2

TEST_F(Win32MainWindow, WholeRunRecoversIntoTheOutputFolderWithProgressAndInputsDisabled) {
    const std::filesystem::path mailbox = writeMailbox(kMessages);
    auto window = makeWindow();
    useMailboxFile(*window, mailbox);
    bool checkedDuringRun = false;
    int highestProgress = 0;
    window->onEvents = [&](int count) {
        highestProgress = std::max(
            highestProgress,
            static_cast<int>(::SendMessageW(at(*window, frmMain::prgStatus), PBM_GETPOS, 0, 0)));
        if (count != kPressAt) {
            return;
        }
        checkedDuringRun = true;
        EXPECT_TRUE(window->running());
        EXPECT_FALSE(enabled(*window, frmMain::picFrame));
        EXPECT_FALSE(enabled(*window, frmMain::txtDBXFile));
        EXPECT_FALSE(enabled(*window, frmMain::cmdFindDBX));
        EXPECT_FALSE(enabled(*window, frmMain::cmdFindEML));
        for (const int item : {frmMain::mnuFileRescue, frmMain::mnuFileExit, frmMain::mnuHelpHelp,
                               frmMain::mnuHelpAbout}) {
            EXPECT_FALSE(menuEnabled(*window, item)) << item;
        }
        EXPECT_TRUE(visible(*window, frmMain::cmdStop));
        EXPECT_FALSE(visible(*window, frmMain::cmdStart));
        EXPECT_TRUE(visible(*window, frmMain::prgStatus));
        EXPECT_TRUE(window->busy());
        EXPECT_EQ(::GetCursor(), ::LoadCursorW(nullptr, IDC_WAIT));
    };
    click(*window, frmMain::cmdStart);

    EXPECT_TRUE(checkedDuringRun);
    EXPECT_EQ(highestProgress, 100);
    ASSERT_EQ(script.boxes.size(), 1u);
    EXPECT_EQ(script.boxes[0].text,
              u"40" + kFoundMails + u"出力先フォルダをExplorerで開きますか？");
    EXPECT_TRUE(script.boxes[0].yesNo);
    const std::vector<std::filesystem::path> files = recoveredFiles();
    ASSERT_EQ(files.size(), static_cast<std::size_t>(kMessages));
    EXPECT_EQ(files.front().filename(), std::filesystem::path(u"Mail 1.eml"));
    EXPECT_FALSE(window->running());
    EXPECT_FALSE(window->busy());
    EXPECT_TRUE(enabled(*window, frmMain::picFrame));
    EXPECT_TRUE(enabled(*window, frmMain::txtDBXFile));
    EXPECT_TRUE(menuEnabled(*window, frmMain::mnuHelpAbout));
    EXPECT_TRUE(visible(*window, frmMain::cmdStart));
    EXPECT_FALSE(visible(*window, frmMain::cmdStop));
}

TEST_F(Win32MainWindow, StopButtonReachesTheRunAndFileExitClosesWhenIdle) {
    const std::filesystem::path mailbox = writeMailbox(kMessages);
    auto window = makeWindow();
    useMailboxFile(*window, mailbox);
    script.answer = [](const Text& text) { return text == kStopQuestion ? IDYES : IDNO; };
    window->onEvents = [&](int count) {
        if (count == kPressAt) {
            ::PostMessageW(at(*window, frmMain::cmdStop), BM_CLICK, 0, 0);
        }
    };
    click(*window, frmMain::cmdStart);

    ASSERT_EQ(script.boxes.size(), 2u);
    EXPECT_EQ(script.boxes[0].text, kStopQuestion);
    EXPECT_TRUE(script.boxes[0].yesNo);
    EXPECT_TRUE(script.boxes[0].hasIcon);
    EXPECT_TRUE(script.anyBoxContains(kFoundMails));
    const std::size_t files = recoveredFiles().size();
    EXPECT_GE(files, 1u);
    EXPECT_LT(files, static_cast<std::size_t>(kMessages));
    EXPECT_TRUE(::IsWindowVisible(window->handle()));

    script.boxes.clear();
    HWND handle = window->handle();
    ::SendMessageW(handle, WM_COMMAND, frmMain::mnuFileExit, 0);
    EXPECT_FALSE(::IsWindow(handle));
    EXPECT_TRUE(script.boxes.empty());
}

TEST_F(Win32MainWindow, EscapeDuringARunAsksToStopAndNoLetsItFinish) {
    const std::filesystem::path mailbox = writeMailbox(kMessages);
    auto window = makeWindow();
    useMailboxFile(*window, mailbox);
    window->onEvents = [&](int count) {
        if (count == kPressAt) {
            HWND focused = ::GetFocus() != nullptr ? ::GetFocus() : window->handle();
            ::PostMessageW(focused, WM_KEYDOWN, VK_ESCAPE, 0);
        }
    };
    click(*window, frmMain::cmdStart);
    ASSERT_GE(script.boxes.size(), 2u);
    EXPECT_EQ(script.boxes[0].text, kStopQuestion);
    EXPECT_EQ(recoveredFiles().size(), static_cast<std::size_t>(kMessages));
}

TEST_F(Win32MainWindow, CloseDuringARunWaitsForTheRunThenClosesWithoutReport) {
    const std::filesystem::path mailbox = writeMailbox(kMessages);
    auto window = makeWindow();
    useMailboxFile(*window, mailbox);
    script.answer = [](const Text& text) { return text == kCloseQuestion ? IDYES : IDNO; };
    bool stayedOpen = false;
    window->onEvents = [&](int count) {
        if (count == kPressAt) {
            ::PostMessageW(window->handle(), WM_CLOSE, 0, 0);
        } else if (count == kPressAt + 1) {
            stayedOpen = ::IsWindow(window->handle()) != FALSE;
        }
    };
    HWND handle = window->handle();
    click(*window, frmMain::cmdStart);

    EXPECT_TRUE(stayedOpen) << "the window went while its run was still going";
    ASSERT_EQ(script.boxes.size(), 1u) << "the run reported although the user closed";
    EXPECT_EQ(script.boxes[0].text, kCloseQuestion);
    EXPECT_LT(recoveredFiles().size(), static_cast<std::size_t>(kMessages));
    EXPECT_FALSE(::IsWindow(handle)) << "the window did not close after the run";
}

// --- Help and the about box ------------------------------------------------

TEST_F(Win32MainWindow, MissingHelpFileIsNamedInAWarning) {
    auto window = makeWindow();
    ::SendMessageW(window->handle(), WM_COMMAND, frmMain::mnuHelpHelp, 0);
    ASSERT_EQ(script.boxes.size(), 1u);
    EXPECT_NE(script.boxes[0].text.find(u"BRAMLEX.chm を開けませんでした。\r\n"), Text::npos);
    EXPECT_TRUE(script.boxes[0].hasIcon);
    EXPECT_FALSE(window->helpOpened());
}

TEST_F(Win32MainWindow, AboutBoxShowsTitleAndVersionAndClosesWithEscape) {
    auto window = makeWindow();
    Text title;
    Text version;
    Text description;
    RECT line0{};
    RECT line1{};
    script.then([&](HWND about) {
        title = windowText(::GetDlgItem(about, ui::win32::frmAbout::lblTitle));
        version = windowText(::GetDlgItem(about, ui::win32::frmAbout::lblVersion));
        description = windowText(::GetDlgItem(about, ui::win32::frmAbout::txtDescription));
        ::GetWindowRect(::GetDlgItem(about, ui::win32::frmAbout::linSeparetor0), &line0);
        ::GetWindowRect(::GetDlgItem(about, ui::win32::frmAbout::linSeparetor1), &line1);
        pressDialogButton(about, IDCANCEL); // Esc
    });
    ::SendMessageW(window->handle(), WM_COMMAND, frmMain::mnuHelpAbout, 0);
    EXPECT_EQ(script.modalsSeen, 1);
    EXPECT_EQ(title, u"Keldor システム情報：");
    EXPECT_EQ(version, u"\u3000Keldor のバージョン： 1.0.32");
    EXPECT_EQ(description.substr(0, version.size() + 4), version + u"\r\n\r\n");
    EXPECT_EQ(line1.top, line0.top + 1);
    EXPECT_EQ(line1.right - line1.left, line0.right - line0.left);
}

} // namespace
} // namespace keldor::testing
