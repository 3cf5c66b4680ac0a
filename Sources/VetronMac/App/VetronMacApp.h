#pragma once

#include "App/AppDelegate.h"
#include "App/AppModel.h"

#include <QObject>
#include <QPointer>
#include <QQmlEngine>
#include <QQuickWindow>

#include <memory>

namespace Vetron {

class TrayMenu;

// The application: the one model, the main window with its gate (agreement, activation, main
// screen), the menu-bar icon with its menu, and the start-up duties. Closing the window keeps
// the application in the menu bar; where the desktop has no tray, closing it quits.
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
        // Whether the desktop shows tray icons; the system's answer when not given.
        std::optional<bool> trayAvailable;
        // Whether start() shows the window; closed, it waits for the menu-bar icon.
        bool showWindow = true;
    };

    static constexpr int windowWidth = 620;
    static constexpr int windowHeight = 800;

    explicit VetronMacApp(Options options, QObject *parent = nullptr);
    ~VetronMacApp() override;

    // Builds the window and the menu-bar icon, then runs the start-up duties. False, with the
    // reason on standard error, when the window cannot be built.
    bool start();

    AppModel &model() { return *m_model; }
    QQuickWindow *window() const { return m_window; }
    TrayMenu *trayMenu() const { return m_tray.get(); }
    AppDelegate &delegate() { return *m_delegate; }

    // Opens the main window (again, after it was closed), raises it and activates the application.
    void showWindow();

private:
    bool m_trayAvailable;
    bool m_showsWindow;
    std::unique_ptr<AppModel> m_model;
    QQmlEngine m_engine;
    QPointer<QQuickWindow> m_window;
    std::unique_ptr<TrayMenu> m_tray;
    std::unique_ptr<AppDelegate> m_delegate;
};

} // namespace Vetron
