#pragma once

#include "Platform/LaunchAtLogin.h"

#include <QObject>

#include <functional>
#include <memory>
#include <vector>

namespace Vetron {

// A window as the start-up duties see it.
class PresentableWindow
{
public:
    virtual ~PresentableWindow() = default;
    // Whether the window can take keyboard focus (a shown, ordinary window).
    virtual bool canBecomeKey() const = 0;
    // Activates the application over all others, makes the window the key window and raises it.
    virtual void bringForward() = 0;
};

// The application's windows in the platform's order.
using PresentableWindows = std::function<std::vector<std::unique_ptr<PresentableWindow>>()>;

// The application's top-level QWindows.
std::vector<std::unique_ptr<PresentableWindow>> applicationWindows();

// The start-up duties, run once when launching has finished: bring the window forward when the
// user has something to do there, then register the client to start at login. On macOS it also
// answers a click on the Dock icon: with no window shown, the window comes back.
class AppDelegate : public QObject
{
    Q_OBJECT

public:
    struct Options
    {
        // True when the device is enrolled and the current agreement accepted.
        std::function<bool()> nothingToDo;
        PresentableWindows windows = applicationWindows;
        Platform::LaunchAtLogin launchAtLogin = Platform::LaunchAtLogin::system();
        std::function<void(const QString &)> log {};
        // Shows the main window and brings it forward.
        std::function<void()> reopenWindow {};
    };

    static constexpr int presentAttempts = 20;
    static constexpr int presentRetryMs = 100;

    explicit AppDelegate(Options options, QObject *parent = nullptr);

    void applicationDidFinishLaunching();

    // With nothing to do, touches no window. Otherwise brings the first window that can become
    // key forward; when there is none yet, tries again 0.1 s later, `attemptsRemaining` times.
    void presentActivationWindow(int attemptsRemaining);

    // Registers the client to start at login unless it already does; a failure is logged only.
    void enableLaunchAtLogin();

    // The application became active (macOS: also each click on its Dock icon, active or not).
    // With no window that can become key, the window is reopened. Called by the application's
    // state signal on macOS only: elsewhere a menu of the tray icon makes the application active.
    void applicationStateChanged(Qt::ApplicationState state);

Q_SIGNALS:
    // The presentation ended: a window was brought forward, or not (nothing to do, gave up).
    void presentationFinished(bool broughtForward);

private:
    // The first of the application's windows that can become key, if any.
    std::unique_ptr<PresentableWindow> keyWindowCandidate() const;

    Options m_options;
};

} // namespace Vetron
