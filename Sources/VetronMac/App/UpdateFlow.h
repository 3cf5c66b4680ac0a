#pragma once

#include "App/ClientEnvironment.h"
#include "Updates/MacReleaseManifest.h"
#include "Updates/UpdateScreenState.h"

#include <QCoroTask>
#include <QObject>

#include <functional>

namespace Vetron {

// The model's updates and its way out: the update check, the one installation at a time with
// its relaunch, and the quit, which switches protection off first and waits for an installer
// to finish. A quit the application is asked for by any other route (its last window closed
// where there is no tray, the system's quit) is held back the same way during an installation.
class UpdateFlow : public QObject
{
    Q_OBJECT

public:
    // What the flow needs from the model and the application.
    struct Hooks
    {
        std::function<QString()> currentVersion;
        // Switches protection off and tells whether it is off now; when it is not, the window
        // shows why.
        std::function<QCoro::Task<bool>()> switchOff;
        std::function<void()> terminate;
        // Brings the window forward on the updates screen.
        std::function<void()> showUpdates;
    };

    UpdateFlow(ClientEnvironment environment, Hooks hooks, QObject *parent = nullptr);
    ~UpdateFlow() override;

    const UpdateScreenState &state() const { return m_state; }
    void setState(UpdateScreenState state);

    // While an installation runs (download to relaunch) a check leaves its state alone and a
    // second installation does not start: there is one installer at a time.
    QCoro::Task<> check();
    // Relaunches into the installed release only once protection is off; when the switch-off
    // fails the application stays, with the failure on the protection screen.
    QCoro::Task<> install(MacReleaseManifest manifest);
    // Switches protection off, which puts the user's proxies back, then quits the application.
    // A failed switch-off does not quit. During an installation nothing is switched off and the
    // updates screen says that the application restarts by itself once the installer is done,
    // so that no installer is ended half-way through writing the application.
    QCoro::Task<> quit();

Q_SIGNALS:
    void stateChanged();

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    // During an installation: notes on the updates screen that the application restarts by
    // itself once the installer is done, brings the window forward there and says true.
    bool holdQuitForInstallation();

    ClientEnvironment m_environment;
    Hooks m_hooks;
    UpdateScreenState m_state;
    bool m_installing = false; // from the download until the relaunch or the failure
};

} // namespace Vetron
