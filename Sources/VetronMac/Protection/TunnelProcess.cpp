// The ssh child: its arguments, its standard error, stopping it, and ending one that an earlier
// run of the client left behind.

#include "Protection/TunnelService.h"

#include "Foundation/ClientPaths.h"
#include "Foundation/ScriptQuoting.h"
#include "Platform/ProcessArguments.h"
#include "Protection/SshStandardError.h"

#include <QFile>

#include <csignal>

using namespace Qt::StringLiterals;

namespace Vetron {

QCoro::Task<> TunnelService::stopProcess()
{
    const auto alive = m_alive;
    m_connectionID = QUuid::createUuid();
    QObject::disconnect(m_stderrReader);

    const QPointer<QProcess> process = m_process;
    m_process.clear();
    if (!process)
        co_return;
    QFile::remove(ClientPaths::sshPid());
    if (process->state() != QProcess::NotRunning) {
        process->terminate();
        // Built before the co_await: GCC 12 mishandles such temporaries inside the expression.
        std::function<bool()> ended = [process]() {
            return !process || process->state() == QProcess::NotRunning;
        };
        co_await waitUntil(std::move(ended));
        if (alive->isCancelled() || !process)
            co_return;
    }
    releaseProcess(process);
}

QCoro::Task<> TunnelService::waitUntil(std::function<bool()> ended)
{
    const auto alive = m_alive;
    const TunnelTimings timings = m_timings;
    for (int check = 0; check < timings.stopChecks && !ended(); ++check) {
        if (!co_await sleepUnlessCancelled(alive, timings.stopCheckInterval))
            co_return;
    }
}

QCoro::Task<> TunnelService::stopLeftoverSsh(ClientConfig config)
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

void TunnelService::releaseProcess(QProcess *process)
{
    // No stronger signal than the polite one: a child that has not ended yet is let go of when
    // it does.
    if (process->state() == QProcess::NotRunning)
        process->deleteLater();
    else
        QObject::connect(process, &QProcess::finished, process, &QObject::deleteLater);
}

void TunnelService::readStandardError(QProcess *process)
{
    const QString line = SshStandardError::lastLine(process->readAllStandardError());
    if (!line.isEmpty())
        m_lastSSHError = line;
}

QStringList TunnelService::sshArguments(const ClientConfig &config)
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
