#include "Protection/TunnelProcess.h"

#include "Foundation/AtomicFile.h"
#include "Foundation/ClientPaths.h"
#include "Foundation/ProcessRunner.h"
#include "Foundation/ScriptQuoting.h"
#include "Foundation/WebExchange.h"
#include "Platform/ProcessArguments.h"
#include "Protection/SshStandardError.h"
#include "Protection/TunnelProtocolSupport.h"

#include <QDeadlineTimer>
#include <QFile>

#include <csignal>

using namespace Qt::StringLiterals;

namespace Vetron {

TunnelProcess::TunnelProcess(ToolPaths tools, TunnelTimings timings, QObject *parent)
    : QObject(parent)
    , m_tools(std::move(tools))
    , m_timings(timings)
{
}

TunnelProcess::~TunnelProcess()
{
    m_alive->cancel();
}

QUuid TunnelProcess::beginLaunch()
{
    m_launch = QUuid::createUuid();
    return m_launch;
}

QCoro::Task<QPointer<QProcess>> TunnelProcess::launch(ClientConfig config, QUuid id)
{
    const auto alive = m_alive;
    const QPointer<QProcess> process = new QProcess(this);
    process->setProgram(m_tools.ssh);
    process->setArguments(sshArguments(config));
    process->setStandardInputFile(QProcess::nullDevice());
    process->setStandardOutputFile(QProcess::nullDevice());
    m_stderrReader = QObject::connect(
        process, &QProcess::readyReadStandardError, this, [this, process]() { readStandardError(process); });
    QObject::connect(process, &QProcess::finished, this, [this, id]() { Q_EMIT exited(id); });

    try {
        co_await ProcessRunner::launch(*process);
    } catch (...) {
        if (!alive->isCancelled())
            release(process);
        throw;
    }
    throwIfCancelled(alive); // this went away and took its child with it
    co_return process;
}

void TunnelProcess::adopt(QPointer<QProcess> process)
{
    m_process = process;
    try {
        AtomicFile::write(
            ClientPaths::sshPid(), QByteArray::number(process->processId()), AtomicFile::ownerOnly);
    } catch (const FileError &) {
        // Only a later run's clean-up after a crash depends on it.
    }
}

void TunnelProcess::discard(QProcess *process)
{
    process->terminate();
    release(process);
}

QCoro::Task<> TunnelProcess::awaitForward(quint16 port, QPointer<QProcess> process)
{
    // ssh listens on the forward only once it has logged in. A canary sent before that fails at
    // once and costs a whole interval; looking whether the port is taken yet costs next to nothing.
    const auto alive = m_alive;
    const QDeadlineTimer deadline(m_timings.canaryInterval);
    while (!deadline.hasExpired() && process && process->state() == QProcess::Running
        && !TunnelProtocolSupport::localPortIsBusy(port)) {
        if (!co_await sleepUnlessCancelled(alive, std::chrono::milliseconds(20)))
            co_return;
    }
}

QCoro::Task<> TunnelProcess::stop()
{
    const auto alive = m_alive;
    m_launch = QUuid::createUuid();
    QObject::disconnect(m_stderrReader);

    const QPointer<QProcess> process = m_process;
    m_process.clear();
    if (!process)
        co_return;
    QFile::remove(ClientPaths::sshPid());
    if (process->state() != QProcess::NotRunning) {
        process->terminate();
        // Built before the co_await: GCC 12 mishandles such temporaries inside the expression.
        std::function<bool()> ended
            = [process]() { return !process || process->state() == QProcess::NotRunning; };
        co_await waitUntil(std::move(ended));
        if (alive->isCancelled() || !process)
            co_return;
    }
    release(process);
}

QCoro::Task<> TunnelProcess::waitUntil(std::function<bool()> ended)
{
    const auto alive = m_alive;
    const TunnelTimings timings = m_timings;
    for (int check = 0; check < timings.stopChecks && !ended(); ++check) {
        if (!co_await sleepUnlessCancelled(alive, timings.stopCheckInterval))
            co_return;
    }
}

QCoro::Task<> TunnelProcess::stopLeftover(ClientConfig config)
{
    const auto alive = m_alive;
    QFile file(ClientPaths::sshPid());
    if (!file.open(QIODevice::ReadOnly))
        co_return;
    bool numeric = false;
    const qint64 pid = QString::fromUtf8(file.readAll()).trimmed().toLongLong(&numeric);
    file.close();

    // Only our own ssh, by its exact command line: a pid that is gone or now belongs to another
    // program is left alone.
    const QStringList ours = QStringList { m_tools.ssh } + sshArguments(config);
    const auto isOurs = [pid, ours]() { return Platform::processArguments(pid) == ours; };
    if (numeric && pid > 0 && isOurs()) {
        ::kill(pid_t(pid), SIGTERM);
        std::function<bool()> ended = [isOurs]() { return !isOurs(); };
        co_await waitUntil(std::move(ended));
        if (alive->isCancelled() || isOurs())
            co_return; // still there: the port check tells, and the next switch-on tries again
    }
    QFile::remove(ClientPaths::sshPid());
}

void TunnelProcess::proveForward(const QUuid &id, quint16 port)
{
    m_provenLaunch = id;
    m_provenPort = port;
}

void TunnelProcess::requireOwnForward(quint16 port) const
{
    // Without our ssh on the port any local program may listen there and collect the key.
    if (!isRunning() || m_provenLaunch != m_launch || m_provenPort != port)
        throw NetworkError(QNetworkReply::ConnectionRefusedError);
}

void TunnelProcess::release(QProcess *process)
{
    // No stronger signal than the polite one: a child that has not ended yet is let go of when
    // it does.
    if (process->state() == QProcess::NotRunning)
        process->deleteLater();
    else
        QObject::connect(process, &QProcess::finished, process, &QObject::deleteLater);
}

void TunnelProcess::readStandardError(QProcess *process)
{
    const QString line = SshStandardError::lastLine(process->readAllStandardError());
    if (!line.isEmpty())
        m_lastError = line;
}

QStringList TunnelProcess::sshArguments(const ClientConfig &config)
{
    const QString knownHosts = ScriptQuoting::doubleQuotedBody(ClientPaths::knownHosts());
    return {
        u"-i"_s,
        ClientPaths::privateKey(),
        u"-p"_s,
        QString::number(config.sshPort),
        u"-o"_s,
        u"IdentitiesOnly=yes"_s,
        u"-o"_s,
        u"HostKeyAlgorithms=ssh-ed25519"_s,
        u"-o"_s,
        u"StrictHostKeyChecking=yes"_s,
        u"-o"_s,
        u"UserKnownHostsFile=\""_s + knownHosts + u'"',
        u"-o"_s,
        u"ServerAliveInterval=15"_s,
        u"-o"_s,
        u"ServerAliveCountMax=3"_s,
        u"-o"_s,
        u"ExitOnForwardFailure=yes"_s,
        u"-N"_s,
        u"-L"_s,
        u"127.0.0.1:%1:127.0.0.1:%2"_s.arg(config.localPort).arg(config.remotePort),
        config.sshUser + u'@' + config.sshHost,
    };
}

} // namespace Vetron
