#pragma once

#include <QDBusConnection>
#include <QProcess>
#include <QString>
#include <QTemporaryDir>

namespace Vetron::LocalStack {

// A dbus-daemon of its own with a permissive configuration, standing in for the system bus of
// a child that is given address(), with python3-dbusmock's logind on it, which announces the end
// of a sleep as logind does.
class PrivateSystemBus
{
public:
    PrivateSystemBus();
    ~PrivateSystemBus();

    PrivateSystemBus(const PrivateSystemBus &) = delete;
    PrivateSystemBus &operator=(const PrivateSystemBus &) = delete;

    // Starts the daemon and takes the name; false with the reason in error().
    bool start();
    QString error() const { return m_error; }
    // For DBUS_SYSTEM_BUS_ADDRESS.
    QString address() const { return m_address; }

    // logind's PrepareForSleep(false): the computer has woken.
    bool announceWake();

private:
    bool fail(const QString &message);

    QTemporaryDir m_directory;
    QProcess m_daemon;
    QProcess m_logind;
    QString m_address;
    QString m_connectionName;
    QString m_error;
};

} // namespace Vetron::LocalStack
