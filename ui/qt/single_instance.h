#pragma once
// One running instance per user: the first start listens on a per-user local
// socket; a later start finds it there, asks it to come to the front, and
// ends without showing anything.

#include <QLocalServer>
#include <QObject>
#include <QString>

#include <functional>

class QWidget;

namespace keldor::ui {

class SingleInstance : public QObject {
public:
    // `serverName`: a local socket name or a full socket path.
    explicit SingleInstance(QString serverName, QObject* parent = nullptr);

    // The socket of the current user: in $XDG_RUNTIME_DIR when there is one,
    // otherwise a name that holds the user id.
    static QString defaultServerName();

    // True when this process is the first instance; it then listens for
    // later starts and calls `onActivate` for each. False when another
    // instance answered; it has been asked to come to the front. A socket
    // left behind by an instance that died is taken over. When listening
    // fails for any other reason the program still runs (true).
    bool claim();

    // Runs in the first instance when a later start asks for the front.
    std::function<void()> onActivate;

private:
    bool askRunningInstance();
    void acceptConnection();

    QString name_;
    QLocalServer server_;
};

// Restores `mainWindow` if it is minimised, then restores and raises the
// window the user worked in last: the modal dialog or message box open over
// the main window, or else the main window itself.
void bringToFront(QWidget* mainWindow);

} // namespace keldor::ui
