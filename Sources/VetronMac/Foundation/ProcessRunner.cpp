#include "Foundation/ProcessRunner.h"

#include <coroutine>
#include <memory>

using namespace Qt::StringLiterals;

namespace Vetron {

ProcessError::ProcessError(QString executable, int status, QString standardError)
    : Error(u"Команда "_s + executable + u" завершилась с кодом "_s + QString::number(status) + u": "_s
            + standardError)
    , m_executable(std::move(executable))
    , m_status(status)
    , m_standardError(std::move(standardError))
{
}

ProcessLaunchError::ProcessLaunchError(QString executable, QProcess::ProcessError error, QString platformMessage)
    : Error(std::move(platformMessage))
    , m_executable(std::move(executable))
    , m_error(error)
{
}

namespace {

// Awaits the end of a started process: its exit, or its failure to launch. The caller is
// resumed from the event loop, never from inside QProcess's own signal emission, so the frame
// that owns the QProcess may destroy it as soon as it runs again.
class ProcessEnd
{
public:
    explicit ProcessEnd(QProcess &process)
        : m_process(process)
    {
    }

    bool await_ready() const noexcept { return m_process.state() == QProcess::NotRunning; }

    void await_suspend(std::coroutine_handle<> caller)
    {
        auto resumed = std::make_shared<bool>(false);
        auto resumeOnce = [caller, resumed]() {
            if (std::exchange(*resumed, true))
                return;
            caller.resume();
        };
        QObject::connect(&m_process, &QProcess::finished, &m_process, resumeOnce, Qt::QueuedConnection);
        QObject::connect(
            &m_process, &QProcess::errorOccurred, &m_process,
            [resumeOnce](QProcess::ProcessError error) {
                if (error == QProcess::FailedToStart)
                    resumeOnce();
            },
            Qt::QueuedConnection);
    }

    void await_resume() const noexcept { }

private:
    QProcess &m_process;
};

} // namespace

namespace ProcessRunner {

QCoro::Task<ProcessOutput> run(QString executable, QStringList arguments, std::optional<QByteArray> input)
{
    QProcess process;
    process.setProgram(executable);
    process.setArguments(arguments);
    if (!input)
        process.setInputChannelMode(QProcess::ForwardedInputChannel);

    process.start();
    if (input) {
        // Written from the event loop as the child reads; the pipe closes once all is written.
        process.write(*input);
        process.closeWriteChannel();
    }
    co_await ProcessEnd(process);

    if (process.error() == QProcess::FailedToStart)
        throw ProcessLaunchError(executable, process.error(), process.errorString());

    // A child killed by a signal reports the signal's number, which is never 0.
    const int status = process.exitCode();
    const QByteArray standardError = process.readAllStandardError();
    if (process.exitStatus() != QProcess::NormalExit || status != 0)
        throw ProcessError(executable, status == 0 ? -1 : status, QString::fromUtf8(standardError));
    co_return ProcessOutput { process.readAllStandardOutput(), standardError };
}

} // namespace ProcessRunner
} // namespace Vetron
