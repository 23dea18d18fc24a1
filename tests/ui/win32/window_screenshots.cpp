// Saves PNG pictures of the Win32 windows for review:
//   keldor_window_screenshots OUTPUT_FOLDER
// Run it under Wine in a virtual desktop (`make windows-screenshots`), where
// Wine draws the frames too: each picture is the window as the screen shows
// it, frame and caption included.

#include "engine/run_flags.h"
#include "platform/text.h"
#include "tests/support/mailbox_writer.h"
#include "tests/support/test_support.h"
#include "tests/ui/win32/window_test_support.h"
#include "tests/ui/window_test_mail.h"
#include "ui/captions.h"
#include "ui/win32/frm_about.h"
#include "ui/win32/frm_dbx.h"
#include "ui/win32/frm_main.h"
#include "ui/win32/message_box.h"
#include "ui/win32/single_instance.h"

#include <commctrl.h>
#include <objbase.h>

#include <array>
#include <cstdio>
#include <fstream>
#include <string>
#include <vector>

namespace {

using namespace keldor;
using namespace keldor::ui::win32;
namespace fs = std::filesystem;

// --- PNG: RGB rows in stored (uncompressed) deflate blocks -----------------

std::uint32_t crc32(const std::string& bytes) {
    static const std::array<std::uint32_t, 256> table = [] {
        std::array<std::uint32_t, 256> t{};
        for (std::uint32_t n = 0; n < 256; ++n) {
            std::uint32_t c = n;
            for (int k = 0; k < 8; ++k) {
                c = (c & 1) != 0 ? 0xEDB88320u ^ (c >> 1) : c >> 1;
            }
            t[n] = c;
        }
        return t;
    }();
    std::uint32_t crc = 0xFFFFFFFFu;
    for (const char byte : bytes) {
        crc = table[(crc ^ static_cast<unsigned char>(byte)) & 0xFF] ^ (crc >> 8);
    }
    return crc ^ 0xFFFFFFFFu;
}

void putBe32(std::string& out, std::uint32_t value) {
    for (int shift = 24; shift >= 0; shift -= 8) {
        out += static_cast<char>((value >> shift) & 0xFF);
    }
}

void putChunk(std::string& png, const char* type, const std::string& data) {
    putBe32(png, static_cast<std::uint32_t>(data.size()));
    const std::string typed = std::string(type) + data;
    png += typed;
    putBe32(png, crc32(typed));
}

// `rows`: height rows of width * 3 bytes, red, green, blue.
std::string encodePng(int width, int height, const std::string& rows) {
    std::string raw;
    for (int y = 0; y < height; ++y) {
        raw += '\0'; // no filter
        raw.append(rows, static_cast<std::size_t>(y) * width * 3,
                   static_cast<std::size_t>(width) * 3);
    }
    std::string zlib = "\x78\x01";
    std::uint32_t a = 1;
    std::uint32_t b = 0;
    for (const char byte : raw) {
        a = (a + static_cast<unsigned char>(byte)) % 65521;
        b = (b + a) % 65521;
    }
    for (std::size_t at = 0; at < raw.size() || at == 0; at += 65535) {
        const std::size_t length = std::min<std::size_t>(65535, raw.size() - at);
        zlib += static_cast<char>(at + length >= raw.size() ? 1 : 0);
        zlib += static_cast<char>(length & 0xFF);
        zlib += static_cast<char>(length >> 8);
        zlib += static_cast<char>(~length & 0xFF);
        zlib += static_cast<char>((~length >> 8) & 0xFF);
        zlib.append(raw, at, length);
        if (raw.empty()) {
            break;
        }
    }
    putBe32(zlib, (b << 16) | a);

    std::string header;
    putBe32(header, static_cast<std::uint32_t>(width));
    putBe32(header, static_cast<std::uint32_t>(height));
    header += std::string("\x08\x02\x00\x00\x00", 5); // 8-bit RGB
    std::string png = "\x89PNG\r\n\x1a\n";
    putChunk(png, "IHDR", header);
    putChunk(png, "IDAT", zlib);
    putChunk(png, "IEND", "");
    return png;
}

// --- Capture ---------------------------------------------------------------

fs::path outputFolder;
bool allSaved = true;

// The window as the screen shows it, after it has painted everything.
void save(HWND window, const char* name) {
    ::RedrawWindow(window, nullptr, nullptr,
                   RDW_INVALIDATE | RDW_ERASE | RDW_FRAME | RDW_ALLCHILDREN | RDW_UPDATENOW);
    testing::pumpMessages();
    ::Sleep(200);
    testing::pumpMessages();
    RECT place{};
    ::GetWindowRect(window, &place);
    const int width = place.right - place.left;
    const int height = place.bottom - place.top;

    HDC screen = ::GetDC(nullptr);
    HDC dc = ::CreateCompatibleDC(screen);
    BITMAPINFO info{};
    info.bmiHeader.biSize = sizeof info.bmiHeader;
    info.bmiHeader.biWidth = width;
    info.bmiHeader.biHeight = -height; // top row first
    info.bmiHeader.biPlanes = 1;
    info.bmiHeader.biBitCount = 32;
    info.bmiHeader.biCompression = BI_RGB;
    void* bits = nullptr;
    UniqueBitmap bitmap(::CreateDIBSection(screen, &info, DIB_RGB_COLORS, &bits, nullptr, 0));
    HGDIOBJ old = ::SelectObject(dc, bitmap.get());
    ::BitBlt(dc, 0, 0, width, height, screen, place.left, place.top, SRCCOPY);
    ::GdiFlush();

    std::string rows;
    rows.reserve(static_cast<std::size_t>(width) * height * 3);
    const auto* pixels = static_cast<const unsigned char*>(bits);
    for (int i = 0; i < width * height; ++i) {
        rows += static_cast<char>(pixels[i * 4 + 2]);
        rows += static_cast<char>(pixels[i * 4 + 1]);
        rows += static_cast<char>(pixels[i * 4]);
    }
    ::SelectObject(dc, old);
    ::DeleteDC(dc);
    ::ReleaseDC(nullptr, screen);

    const fs::path file = outputFolder / name;
    std::ofstream out(file, std::ios::binary);
    out << encodePng(width, height, rows);
    if (!out) {
        std::fprintf(stderr, "could not write %s\n", file.string().c_str());
        allSaved = false;
        return;
    }
    std::printf("%s\n", file.string().c_str());
}

// The main window, pictured once while its run is part way through.
class RunShot : public frmMain {
public:
    using frmMain::frmMain;
    bool saved = false;

    void processEvents() override {
        frmMain::processEvents();
        const auto position = ::SendMessageW(control(prgStatus), PBM_GETPOS, 0, 0);
        if (!saved && ::IsWindowVisible(control(prgStatus)) && position >= 40) {
            save(handle(), "main_running.png");
            saved = true;
        }
    }
};

ui::MainWindowSetup sampleSetup(const fs::path& outputLocation) {
    ui::MainWindowSetup setup;
    setup.defaultIdentityName = u"山田 太郎";
    setup.defaultMailboxPath = u"C:\\Identities\\Taro\\削除済みアイテム.dbx";
    setup.defaultOutputFolder = platform::pathText(outputLocation);
    return setup;
}

} // namespace

int wmain(int argc, wchar_t* argv[]) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: keldor_window_screenshots OUTPUT_FOLDER\n");
        return 2;
    }
    outputFolder = fs::path(argv[1]);
    std::error_code error;
    fs::create_directories(outputFolder, error);
    const INITCOMMONCONTROLSEX controls{sizeof(INITCOMMONCONTROLSEX), ICC_STANDARD_CLASSES |
                                                                          ICC_LISTVIEW_CLASSES |
                                                                          ICC_PROGRESS_CLASS};
    ::InitCommonControlsEx(&controls);
    ::CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);

    ApplicationWindow application;
    testing::TempDir work;
    testing::ModalScript script;

    {
        frmMain idle(sampleSetup(work.path()), application.handle());
        idle.show();
        save(idle.handle(), "main_idle.png");

        script.then([](HWND box) {
            save(box, "message_box.png");
            testing::pressDialogButton(box, IDNO);
        });
        showMessageBox(idle.handle(), ui::kStopQuestion, engine::MessageIcon::Question,
                       engine::MessageButtons::YesNo);

        script.then([](HWND about) {
            save(about, "about.png");
            testing::pressDialogButton(about, IDOK);
        });
        frmAbout about;
        about.showModal(idle.handle());

        // The picker over a store folder holding the well-known folders.
        const fs::path store = work.path() / "Store";
        fs::create_directories(store);
        testing::MailboxWriter oneMessage;
        oneMessage.addMessage(testing::numberedMessage(1, 40));
        for (const char16_t* name :
             {u"受信トレイ.dbx", u"送信済みアイテム.dbx", u"削除済みアイテム.dbx", u"下書き.dbx",
              u"ニュース.dbx", u"Folders.dbx"}) {
            oneMessage.writeTo(store / name);
        }
        startup::Identities identities;
        const Text folder = platform::pathText(store);
        identities.entries = {startup::Identity{u"山田 太郎", folder, folder},
                              startup::Identity{u"山田 花子", u"", u""}};
        script.then([](HWND picker) {
            save(picker, "picker.png");
            testing::pressDialogButton(picker, IDCANCEL);
        });
        frmDBX picker(identities);
        picker.showModal(idle.handle());
    }

    {
        const fs::path mailbox = work.path() / "sample.dbx";
        testing::MailboxWriter writer;
        for (int i = 1; i <= 80; ++i) {
            writer.addMessage(testing::numberedMessage(i, 40));
        }
        writer.writeTo(mailbox);

        RunShot running(sampleSetup(work.path()), application.handle());
        running.show();
        ::SendMessageW(running.control(frmMain::optFolder), BM_CLICK, 0, 0);
        setWindowText(running.control(frmMain::txtDBXFile), platform::pathText(mailbox));
        script.answer = [](const Text&) { return IDNO; }; // the final report
        ::SendMessageW(running.control(frmMain::cmdStart), BM_CLICK, 0, 0);
        if (!running.saved) {
            std::fprintf(stderr, "the run ended before it could be pictured\n");
            for (const testing::ModalScript::Box& box : script.boxes) {
                std::fprintf(stderr, "  it said: %s\n", platform::toUtf8(box.text).c_str());
            }
            allSaved = false;
        }
    }
    ::CoUninitialize();
    return allSaved ? 0 : 1;
}
