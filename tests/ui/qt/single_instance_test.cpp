#include "tests/support/test_support.h"
#include "tests/ui/qt/ui_test_support.h"
#include "ui/qt/frm_about.h"
#include "ui/qt/frm_main.h"
#include "ui/qt/single_instance.h"

#include <QApplication>
#include <QDeadlineTimer>
#include <QFile>
#include <QProcess>
#include <QThread>

#include <gtest/gtest.h>

namespace keldor::testing {
namespace {

QString socketIn(const TempDir& dir) {
    return QString::fromStdString((dir.path() / "instance").string());
}

// Lets the event loop run until `done` holds or a few seconds have passed.
bool processUntil(const std::function<bool()>& done) {
    QDeadlineTimer deadline(5000);
    while (!done() && !deadline.hasExpired()) {
        QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
        QThread::msleep(5);
    }
    return done();
}

TEST(SingleInstance, SecondStartAsksTheFirstToComeForward) {
    TempDir dir;
    ui::SingleInstance first(socketIn(dir));
    int activations = 0;
    first.onActivate = [&] { ++activations; };
    ASSERT_TRUE(first.claim());

    ui::SingleInstance second(socketIn(dir));
    EXPECT_FALSE(second.claim());
    EXPECT_TRUE(processUntil([&] { return activations == 1; }));

    ui::SingleInstance third(socketIn(dir));
    EXPECT_FALSE(third.claim());
    EXPECT_TRUE(processUntil([&] { return activations == 2; }));
}

TEST(SingleInstance, SocketLeftByADeadInstanceIsTakenOver) {
    TempDir dir;
    writeFile(dir.path() / "instance", "");
    ui::SingleInstance first(socketIn(dir));
    EXPECT_TRUE(first.claim());
    ui::SingleInstance second(socketIn(dir));
    EXPECT_FALSE(second.claim());
}

TEST(SingleInstance, BringToFrontRestoresMinimisedMainWindow) {
    AnsweringBoxes boxes;
    ui::frmMain window(ui::MainWindowSetup{}, boxes);
    window.showMinimized();
    QCoreApplication::processEvents();
    ASSERT_TRUE(window.isMinimized());
    ui::bringToFront(&window);
    EXPECT_FALSE(window.isMinimized());
    EXPECT_TRUE(window.isVisible());
}

TEST(SingleInstance, BringToFrontPrefersTheOpenModalDialog) {
    AnsweringBoxes boxes;
    ui::frmMain window(ui::MainWindowSetup{}, boxes);
    window.show();
    ui::frmAbout about(&window);
    about.setWindowModality(Qt::ApplicationModal);
    about.show();
    about.showMinimized();
    window.showMinimized();
    QCoreApplication::processEvents();

    ui::bringToFront(&window);
    QCoreApplication::processEvents();
    EXPECT_FALSE(window.isMinimized());
    EXPECT_FALSE(about.isMinimized());
    EXPECT_EQ(QApplication::activeWindow(), &about);
}

TEST(SingleInstance, SecondProgramEndsAtOnceWhileTheFirstRuns) {
    TempDir runtime;
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert(QStringLiteral("XDG_RUNTIME_DIR"),
                       QString::fromStdString(runtime.path().string()));
    environment.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));

    QProcess first;
    first.setProcessEnvironment(environment);
    first.start(QStringLiteral(KELDOR_GUI_PATH), {});
    ASSERT_TRUE(first.waitForStarted());
    const QString socket = QString::fromStdString((runtime.path() / "keldor.instance").string());
    ASSERT_TRUE(processUntil([&] { return QFile::exists(socket); }))
        << "the first instance never listened";

    QProcess second;
    second.setProcessEnvironment(environment);
    second.start(QStringLiteral(KELDOR_GUI_PATH), {});
    EXPECT_TRUE(second.waitForFinished(10000));
    EXPECT_EQ(second.exitStatus(), QProcess::NormalExit);
    EXPECT_EQ(second.exitCode(), 0);
    EXPECT_EQ(first.state(), QProcess::Running);

    first.kill();
    first.waitForFinished();
}

} // namespace
} // namespace keldor::testing
