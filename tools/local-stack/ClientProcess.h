#pragma once

#include <QFile>
#include <QObject>
#include <QProcess>
#include <QString>
#include <QStringList>
#include <QTimer>

#include <sys/types.h>

namespace Vetron::LocalStack {

// The client binary run as a child, headless (offscreen), in a private profile: its home, XDG
// folders and temporary folder all under `profile`, never the user's. Each protection state line
// it echoes ("Ветрон: <state> — <text>") is collected as it comes. Its output goes to a file in
// the profile that is read as it grows, so that a client it starts in its place (the relaunch
// after an update), which writes to the same file, is heard as well. A running child is killed
// when this object goes.
class ClientProcess : public QObject
{
    Q_OBJECT

public:
    // `environment` is added to the profile's own variables.
    ClientProcess(
        QString program, QString profile, QProcessEnvironment environment, QObject *parent = nullptr);
    ~ClientProcess() override;

    void start(const QStringList &arguments);
    // SIGKILL: no clean-up of any kind, as after a crash.
    void kill();
    bool isRunning() const { return m_process.state() != QProcess::NotRunning; }
    pid_t pid() const { return pid_t(m_process.processId()); }
    int exitCode() const { return m_process.exitCode(); }

    // The client's data folder in the profile.
    QString dataDirectory() const;
    QStringList reports() const { return m_reports; }
    // Everything it printed, both channels, for failure messages (read as it grows: a moment late).
    QByteArray output() const { return m_output; }

Q_SIGNALS:
    void reported(const QString &line);
    // The child has ended (not a client it started in its place).
    void ended();

private:
    void read();

    QString m_profile;
    QProcess m_process;
    QFile m_log;
    QTimer m_reading;
    QByteArray m_output;
    QByteArray m_pending;
    QStringList m_reports;
};

} // namespace Vetron::LocalStack
