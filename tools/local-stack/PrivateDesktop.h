#pragma once

#include <QProcess>
#include <QString>
#include <QStringList>
#include <QTemporaryDir>

namespace Vetron::LocalStack {

// A desktop session of its own for the GSettings proxy keys: a session dbus-daemon started with
// this process's environment, so that the dconf service it starts on demand keeps its settings
// under this process's HOME, and a dconf profile of its own whose administrator database can lock
// keys. start() points this process (and its children) at both: call it before anything uses
// GSettings, and only with a HOME that is not the user's own.
class PrivateDesktop
{
public:
    PrivateDesktop();
    ~PrivateDesktop();

    PrivateDesktop(const PrivateDesktop &) = delete;
    PrivateDesktop &operator=(const PrivateDesktop &) = delete;

    // False with the reason in error().
    bool start();
    QString error() const { return m_error; }
    QString address() const { return m_address; }

    // Runs `program` (gsettings, dconf) in the session as another program would: its standard
    // output, trimmed, or an empty text with error() set when it fails.
    QString run(const QString &program, const QStringList &arguments);
    // Locks the dconf `keys` ("/system/proxy/mode") in the administrator database, at their
    // current defaults.
    bool lock(const QStringList &keys);

private:
    bool fail(const QString &message);

    QTemporaryDir m_directory;
    QProcess m_daemon;
    QString m_address;
    QString m_error;
    void *m_connection = nullptr; // GIO's session bus connection, held while the bus runs
};

} // namespace Vetron::LocalStack
