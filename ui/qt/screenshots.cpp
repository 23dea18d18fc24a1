// Renders the program's windows to PNG files for review:
//   keldor_screenshots OUTPUT_FOLDER
// Run it with QT_QPA_PLATFORM=offscreen (or under xvfb-run).

#include "tests/support/mailbox_writer.h"
#include "tests/ui/window_test_mail.h"
#include "ui/qt/frm_about.h"
#include "ui/qt/frm_main.h"
#include "ui/qt/message_box.h"
#include "ui/qt/qt_text.h"

#include <QApplication>
#include <QDir>
#include <QLineEdit>
#include <QMessageBox>
#include <QProgressBar>
#include <QPushButton>
#include <QRadioButton>
#include <QTemporaryDir>

#include <cstdio>
#include <string>

#include "startup/mail_store_discovery.h"
#include "ui/qt/frm_dbx.h"

namespace {

using namespace keldor;
using namespace keldor::ui;

// Answers every box without showing it.
class SilentBoxes : public MessageBoxes {
public:
    engine::MessageAnswer show(QWidget*, const Text&, engine::MessageIcon,
                               engine::MessageButtons buttons) override {
        return buttons == engine::MessageButtons::YesNo ? engine::MessageAnswer::No
                                                        : engine::MessageAnswer::Ok;
    }
};

bool save(QWidget& widget, const QDir& folder, const char* name) {
    QCoreApplication::processEvents();
    const QString file = folder.filePath(QString::fromLatin1(name));
    if (!widget.grab().save(file)) {
        std::fprintf(stderr, "could not write %s\n", qPrintable(file));
        return false;
    }
    std::printf("%s\n", qPrintable(file));
    return true;
}

// The main window, grabbed once while a run is half way through.
class RunShot : public frmMain {
public:
    RunShot(MainWindowSetup setup, MessageBoxes& boxes, QDir folder)
        : frmMain(std::move(setup), boxes), folder_(std::move(folder)) {}
    bool saved = false;

    void processEvents() override {
        frmMain::processEvents();
        const auto* bar = findChild<QProgressBar*>(QStringLiteral("prgStatus"));
        if (!saved && bar->isVisible() && bar->value() >= 40) {
            saved = save(*this, folder_, "main_running.png");
        }
    }

private:
    QDir folder_;
};

MainWindowSetup sampleSetup(const QString& outputFolder) {
    MainWindowSetup setup;
    setup.defaultIdentityName = u"山田 太郎";
    setup.defaultMailboxPath = u"/home/taro/.wine/Outlook Express/削除済みアイテム.dbx";
    setup.defaultOutputFolder = toText(outputFolder);
    return setup;
}

} // namespace

int main(int argc, char* argv[]) {
    QApplication app(argc, argv);
    if (argc != 2) {
        std::fprintf(stderr, "usage: keldor_screenshots OUTPUT_FOLDER\n");
        return 2;
    }
    QDir folder(QString::fromLocal8Bit(argv[1]));
    if (!folder.mkpath(QStringLiteral("."))) {
        std::fprintf(stderr, "could not create %s\n", argv[1]);
        return 1;
    }
    SilentBoxes boxes;
    bool ok = true;

    {
        frmMain idle(sampleSetup(QStringLiteral("/home/taro/Documents")), boxes);
        idle.show();
        ok &= save(idle, folder, "main_idle.png");

        frmAbout about(&idle);
        about.show();
        ok &= save(about, folder, "about.png");

        QMessageBox box(QMessageBox::Question, toQString(kApplicationTitle),
                        QStringLiteral("停止しますか?"), QMessageBox::Yes | QMessageBox::No, &idle);
        box.show();
        ok &= save(box, folder, "message_box.png");

        // The picker over a store folder with a few mailbox files.
        QTemporaryDir store;
        const std::filesystem::path storeFolder(store.path().toStdString());
        testing::MailboxWriter oneMessage;
        oneMessage.addMessage(testing::numberedMessage(1, 40));
        for (const char* name :
             {"受信トレイ.dbx", "送信済みアイテム.dbx", "削除済みアイテム.dbx", "Folders.dbx"}) {
            oneMessage.writeTo(storeFolder / name);
        }
        startup::Identities identities;
        const Text folderText = toText(store.path());
        identities.entries = {startup::Identity{u"山田 太郎", folderText, folderText},
                              startup::Identity{u"山田 花子", folderText, folderText}};
        frmDBX picker(identities, &idle);
        picker.show();
        ok &= save(picker, folder, "picker.png");
    }

    {
        QTemporaryDir work;
        const std::filesystem::path mailbox =
            std::filesystem::path(work.path().toStdString()) / "sample.dbx";
        testing::MailboxWriter writer;
        for (int i = 1; i <= 60; ++i) {
            writer.addMessage(testing::numberedMessage(i, 40));
        }
        writer.writeTo(mailbox);

        RunShot running(sampleSetup(work.path()), boxes, folder);
        running.show();
        running.findChild<QRadioButton*>(QStringLiteral("optFolder"))->setChecked(true);
        running.findChild<QLineEdit*>(QStringLiteral("txtDBXFile"))
            ->setText(QString::fromStdString(mailbox.string()));
        running.findChild<QPushButton*>(QStringLiteral("cmdStart"))->click();
        if (!running.saved) {
            std::fprintf(stderr, "the run ended before it could be captured\n");
            ok = false;
        }
    }
    return ok ? 0 : 1;
}
