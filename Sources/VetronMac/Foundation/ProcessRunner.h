#pragma once

#include "Foundation/Error.h"

#include <QByteArray>
#include <QCoroTask>
#include <QProcess>
#include <QStringList>

#include <optional>

namespace Vetron {

// A tool exited with a non-zero status (or was ended by a signal).
class ProcessError : public Error
{
public:
    ProcessError(QString executable, int status, QString standardError);

    const QString &executable() const noexcept { return m_executable; }
    int status() const noexcept { return m_status; }
    const QString &standardError() const noexcept { return m_standardError; }

private:
    QString m_executable;
    int m_status;
    QString m_standardError;
};

// A tool could not be started at all (missing, not executable). The description names the path
// and says why in Russian.
class ProcessLaunchError : public Error
{
public:
    ProcessLaunchError(QString executable, QProcess::ProcessError error);

    const QString &executable() const noexcept { return m_executable; }
    QProcess::ProcessError error() const noexcept { return m_error; }

private:
    QString m_executable;
    QProcess::ProcessError m_error;
};

struct ProcessOutput
{
    QByteArray standardOutput;
    QByteArray standardError;
};

// Every child started by `run` or `launch` is tracked; when the application quits
// (QCoreApplication::aboutToQuit) the ones still running get the polite termination signal, and
// those that have not ended within a second are killed, so that no child outlives the client.
namespace ProcessRunner {

// Runs the program at the absolute path `executable` with exactly `arguments` (no shell, no
// search path) and suspends until it exits, draining both output pipes meanwhile. When `input`
// is given it is the child's whole standard input; otherwise the child shares the
// application's. Status 0 returns both outputs; any other status throws ProcessError; a failed
// launch throws ProcessLaunchError. No time limit applies.
QCoro::Task<ProcessOutput> run(
    QString executable, QStringList arguments, std::optional<QByteArray> input = std::nullopt);

// Starts the prepared `process` and suspends until it runs. For long-lived children that the
// caller watches itself; throws ProcessLaunchError when it cannot start. `process` must outlive
// the wait.
QCoro::Task<> launch(QProcess &process);

} // namespace ProcessRunner
} // namespace Vetron
