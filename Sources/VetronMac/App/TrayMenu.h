#pragma once

#include "App/LicenseAcceptance.h"
#include "Foundation/ProtectionState.h"

#include <QIcon>
#include <QObject>
#include <QPointer>
#include <QString>

#include <functional>
#include <memory>

class QAction;
class QMenu;
class QSystemTrayIcon;

namespace Vetron {

class AppModel;

// The protection item's label: only `protected` offers to switch off.
QString trayProtectionLabel(ProtectionState state);
// Whether the protection item can be chosen: not while an operation runs, not before enrollment.
bool trayProtectionEnabled(bool busy, bool activated);
// Whether the items that open a section of the main screen can be chosen: only once the window
// shows that screen, with the Mac enrolled and the agreement accepted.
bool traySectionsEnabled(bool activated, bool agreementAccepted);

// The menu-bar icon with its menu: open the window, switch protection, settings, updates and
// quit. Labels and enablement follow the model and the agreement at once (the section items wait
// for the main screen); every action starts its operation on
// the model and returns. The window and the icon's picture belong to the application, which
// hands them in as callbacks.
class TrayMenu : public QObject
{
    Q_OBJECT

public:
    using IconProvider = std::function<QIcon(ProtectionState)>;

    // `showWindow` opens the main window (or brings it forward) and activates the application;
    // without `icon` a plain drawn shield stands in.
    TrayMenu(
        AppModel &model, std::function<void()> showWindow, IconProvider icon = {}, QObject *parent = nullptr);
    ~TrayMenu() override;

    QSystemTrayIcon *trayIcon() const { return m_tray; }
    QMenu *menu() const { return m_menu.get(); }

    // A simple shield drawn in code, one shade per state, for when no picture is supplied.
    static QIcon fallbackIcon(ProtectionState state);

private:
    void refresh();
    void refreshIcon();
    QAction *addItem(const QString &objectName, const QString &label, void (TrayMenu::*action)());
    void openWindow();
    void switchProtection();
    void openSettings();
    void openUpdates();
    void quit();

    QPointer<AppModel> m_model;
    std::function<void()> m_showWindow;
    IconProvider m_icon;
    std::unique_ptr<QMenu> m_menu; // a QMenu has no QObject parent outside a widget tree
    QSystemTrayIcon *m_tray = nullptr;
    QAction *m_protection = nullptr;
    QList<QAction *> m_sections;
    LicenseAcceptance m_agreement;
};

} // namespace Vetron
