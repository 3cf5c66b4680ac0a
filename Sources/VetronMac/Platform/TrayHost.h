#pragma once

#include <QCoroTask>
#include <QObject>

namespace Vetron {

// Tells when the desktop can show the client's tray icon. macOS always can. On Linux the icon is
// a StatusNotifierItem: there is a tray once org.kde.StatusNotifierWatcher is on the session bus
// with a host registered, which may happen long after the client started (a login item starts
// before the desktop's panel). Qt decides once per process whether its tray icons go to that
// watcher, so nothing may create one before `appeared`.
class TrayHost : public QObject
{
    Q_OBJECT

public:
    explicit TrayHost(QObject *parent = nullptr);

    // Starts looking, for the rest of the process; `appeared` follows once there is a tray (at
    // once, within this call, when there already is one the system says so without asking).
    void watch();
    bool present() const { return m_present; }

Q_SIGNALS:
    void appeared();

private Q_SLOTS:
    void setPresent();

private:
    QCoro::Task<> askWatcher();

    bool m_present = false;
};

} // namespace Vetron
