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
// user has something to do there, then register the client to start at login.
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
        std::function<void(const QString &)> log;
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

Q_SIGNALS:
    // The presentation ended: a window was brought forward, or not (nothing to do, gave up).
    void presentationFinished(bool broughtForward);

private:
    Options m_options;
};

} // namespace Vetron
