#include "ui/qt/single_instance.h"

#include <QApplication>
#include <QDir>
#include <QFileInfo>
#include <QLocalSocket>
#include <QWidget>

#ifdef Q_OS_UNIX
#include <unistd.h>
#endif

namespace keldor::ui {

namespace {

constexpr int kConnectTimeoutMs = 1000;
const QByteArray kActivateRequest = QByteArrayLiteral("activate\n");

void restoreIfMinimized(QWidget* window) {
    if (window->isMinimized()) {
        window->showNormal();
    }
}

} // namespace

SingleInstance::SingleInstance(QString serverName, QObject* parent)
    : QObject(parent), name_(std::move(serverName)) {
    server_.setSocketOptions(QLocalServer::UserAccessOption);
    connect(&server_, &QLocalServer::newConnection, this, &SingleInstance::acceptConnection);
}

QString SingleInstance::defaultServerName() {
#ifdef Q_OS_UNIX
    const QString runtime = qEnvironmentVariable("XDG_RUNTIME_DIR");
    if (!runtime.isEmpty() && QFileInfo(runtime).isDir()) {
        return QDir(runtime).filePath(QStringLiteral("keldor.instance"));
    }
    return QStringLiteral("keldor-instance-%1").arg(static_cast<qulonglong>(::getuid()));
#else
    QString user = qEnvironmentVariable("USERNAME");
    return QStringLiteral("keldor-instance-") + user;
#endif
}

bool SingleInstance::claim() {
    if (askRunningInstance()) {
        return false;
    }
    if (server_.listen(name_)) {
        return true;
    }
    if (server_.serverError() == QAbstractSocket::AddressInUseError) {
        // Either another start won the race a moment ago, or a socket was
        // left behind by an instance that died.
        if (askRunningInstance()) {
            return false;
        }
        QLocalServer::removeServer(name_);
        server_.listen(name_);
    }
    return true;
}

bool SingleInstance::askRunningInstance() {
    QLocalSocket socket;
    socket.connectToServer(name_);
    if (!socket.waitForConnected(kConnectTimeoutMs)) {
        return false;
    }
    socket.write(kActivateRequest);
    socket.waitForBytesWritten(kConnectTimeoutMs);
    socket.disconnectFromServer();
    if (socket.state() != QLocalSocket::UnconnectedState) {
        socket.waitForDisconnected(kConnectTimeoutMs);
    }
    return true;
}

void SingleInstance::acceptConnection() {
    while (QLocalSocket* socket = server_.nextPendingConnection()) {
        connect(socket, &QLocalSocket::disconnected, socket, &QObject::deleteLater);
        connect(socket, &QLocalSocket::readyRead, this, [this, socket] {
            if (socket->readAll().contains(kActivateRequest.trimmed()) && onActivate) {
                onActivate();
            }
        });
    }
}

void bringToFront(QWidget* mainWindow) {
    if (mainWindow == nullptr) {
        return;
    }
    restoreIfMinimized(mainWindow);
    QWidget* target = QApplication::activeModalWidget();
    if (target == nullptr) {
        target = mainWindow;
    }
    restoreIfMinimized(target);
    target->raise();
    target->activateWindow();
}

} // namespace keldor::ui
