#pragma once

#include "App/AppDelegate.h"
#include "App/AppModel.h"
#include "App/ProtectionNotices.h"
#include "Platform/DesktopNotifier.h"

#include <QObject>
#include <QPointer>
#include <QQmlEngine>
#include <QQuickWindow>

#include <memory>

namespace Vetron {

class TrayHost;
class TrayMenu;

// The application: the one model, the main window with its gate (agreement, activation, main
// screen), the menu-bar icon with its menu once the desktop has a tray, the notices about
// protection, and the start-up duties. Closing the window keeps the application running in the
// tray. Without a tray, closing it quits while protection is off; while protection is wanted the
// client stays to keep it up (and to undo it at a switch-off), says so in a notice, and a later
// start brings its window back.
class VetronMacApp : public QObject
{
    Q_OBJECT

public:
    struct Options
    {
        AppModel::Options model;
        // Whether the model switches protection on by itself on an enrolled Mac.
        bool autoConnect = true;
        Platform::LaunchAtLogin launchAtLogin = Platform::LaunchAtLogin::system();
        std::function<void(const QString &)> log;
        // Whether the desktop shows tray icons; when not given, the icon comes once TrayHost
        // sees a tray.
        std::optional<bool> trayAvailable;
        ProtectionNotices::Timings notices;
        // Whether start() shows the window; closed, it waits for the menu-bar icon.
        bool showWindow = true;
    };

    static constexpr int windowWidth = 620;
    static constexpr int windowHeight = 800;

    explicit VetronMacApp(Options options, QObject *parent = nullptr);
    ~VetronMacApp() override;

    // Builds the window and, where there is a tray, the menu-bar icon, then runs the start-up
    // duties. False, with the reason on standard error, when the window cannot be built.
    bool start();

    AppModel &model() { return *m_model; }
    QQuickWindow *window() const { return m_window; }
    TrayMenu *trayMenu() const { return m_tray.get(); }
    AppDelegate &delegate() { return *m_delegate; }

    // Opens the main window (again, after it was closed), raises it and activates the application.
    void showWindow();

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    void showTray();
    void windowClosed();

    std::optional<bool> m_trayAvailable;
    bool m_showsWindow;
    ProtectionNotices::Timings m_noticeTimings;
    std::unique_ptr<AppModel> m_model;
    QQmlEngine m_engine;
    QPointer<QQuickWindow> m_window;
    std::unique_ptr<TrayMenu> m_tray;
    TrayHost *m_trayHost = nullptr;
    DesktopNotifier m_notifier;
    std::unique_ptr<ProtectionNotices> m_notices;
    std::unique_ptr<AppDelegate> m_delegate;
};

} // namespace Vetron
