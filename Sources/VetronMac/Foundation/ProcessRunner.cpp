#include "Foundation/ProcessRunner.h"

#include "Foundation/SystemErrorTexts.h"

#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QFileInfo>
#include <QPointer>

#include <cerrno>
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

namespace {

QString launchFailureReason(const QString &executable, QProcess::ProcessError error)
{
    const QFileInfo program(executable);
    if (!program.exists())
        return SystemErrorTexts::forErrno(ENOENT);
    if (!program.isFile() || !program.isExecutable())
        return SystemErrorTexts::forErrno(EACCES);
    return SystemErrorTexts::forProcess(error);
}

} // namespace

ProcessLaunchError::ProcessLaunchError(QString executable, QProcess::ProcessError error)
    : Error(
        u"Не удалось запустить программу "_s + executable + u": "_s + launchFailureReason(executable, error))
    , m_executable(std::move(executable))
    , m_error(error)
{
}

namespace {

// Awaits one moment in a started process's life: that it runs, or that it has exited. Either
// wait also ends when the process fails to launch. The caller is resumed from the event loop,
// never from inside QProcess's own signal emission, so it may destroy the QProcess at once.
class ProcessMoment
{
public:
    enum Moment { running, exited };

    ProcessMoment(QProcess &process, Moment moment)
        : m_process(process)
        , m_moment(moment)
    {
    }

    bool await_ready() const noexcept
    {
        if (m_process.state() == QProcess::NotRunning)
            return true;
        return m_moment == running && m_process.state() == QProcess::Running;
    }

    void await_suspend(std::coroutine_handle<> caller)
    {
        auto resumed = std::make_shared<bool>(false);
        auto resumeOnce = [caller, resumed]() {
            if (!std::exchange(*resumed, true))
                caller.resume();
        };
        if (m_moment == running)
            QObject::connect(&m_process, &QProcess::started, &m_process, resumeOnce, Qt::QueuedConnection);
        else
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
    Moment m_moment;
};

void throwIfNotLaunched(const QProcess &process)
{
    if (process.error() == QProcess::FailedToStart)
        throw ProcessLaunchError(process.program(), process.error());
}

// The children started here; entries go null as their QProcess objects are destroyed.
QList<QPointer<QProcess>> &children()
{
    static QList<QPointer<QProcess>> list;
    return list;
}

// Runs as the application quits: the only place where waiting blocks, bounded to about two
// seconds in all.
void endChildren()
{
    QList<QPointer<QProcess>> running;
    for (const QPointer<QProcess> &child : std::exchange(children(), {})) {
        if (child && child->state() != QProcess::NotRunning)
            running << child;
    }
    for (const QPointer<QProcess> &child : running)
        child->terminate();
    const QDeadlineTimer politeness(1000);
    for (const QPointer<QProcess> &child : running) {
        if (child && child->state() != QProcess::NotRunning)
            child->waitForFinished(int(politeness.remainingTime()));
    }
    for (const QPointer<QProcess> &child : running) {
        if (child && child->state() != QProcess::NotRunning) {
            child->kill();
            child->waitForFinished(1000);
        }
    }
}

void track(QProcess &process)
{
    static QPointer<QCoreApplication> watched;
    QCoreApplication *application = QCoreApplication::instance();
    if (application && watched != application) {
        watched = application;
        QObject::connect(application, &QCoreApplication::aboutToQuit, application, &endChildren);
    }
    children().removeAll(nullptr);
    children().append(&process);
}

} // namespace

namespace ProcessRunner {

QCoro::Task<ProcessOutput> run(QString executable, QStringList arguments, std::optional<QByteArray> input)
{
    QProcess process;
    process.setProgram(executable);
    process.setArguments(arguments);
    if (!input)
        process.setInputChannelMode(QProcess::ForwardedInputChannel);

    track(process);
    process.start();
    if (input) {
        // Written from the event loop as the child reads; the pipe closes once all is written.
        process.write(*input);
        process.closeWriteChannel();
    }
    co_await ProcessMoment(process, ProcessMoment::exited);
    throwIfNotLaunched(process);

    // A child killed by a signal reports the signal's number, which is never 0.
    const int status = process.exitCode();
    const QByteArray standardError = process.readAllStandardError();
    if (process.exitStatus() != QProcess::NormalExit || status != 0)
        throw ProcessError(executable, status == 0 ? -1 : status, QString::fromUtf8(standardError));
    co_return ProcessOutput { process.readAllStandardOutput(), standardError };
}

QCoro::Task<> launch(QProcess &process)
{
    track(process);
    process.start();
    co_await ProcessMoment(process, ProcessMoment::running);
    throwIfNotLaunched(process);
}

} // namespace ProcessRunner
} // namespace Vetron
