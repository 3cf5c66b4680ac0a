#include "Protection/TunnelService.h"

#include "Foundation/AtomicFile.h"
#include "Foundation/ClientPaths.h"
#include "Foundation/ProcessRunner.h"
#include "Platform/SystemLog.h"
#include "Protection/TunnelProtocolSupport.h"
#include "Protection/TunnelStateTexts.h"

#include <QFile>
#include <QRandomGenerator>
#include <QScopeGuard>

using namespace Qt::StringLiterals;

namespace Vetron {
namespace {

namespace Texts = TunnelStateTexts;

QByteArray readDataFile(const QString &path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        throw FileError::fromFile(u"Не удалось прочитать файл"_s, file);
    return file.readAll();
}

// A configuration that passed the completeness test may still be unusable: ports beyond what
// TCP allows would silently wrap, and a user or host beginning with "-" would reach ssh as an
// option.
ClientConfig usableConfig(ClientConfig config)
{
    const auto isPort = [](qint64 port) { return port >= 1 && port <= 65535; };
    if (!isPort(config.sshPort) || !isPort(config.localPort) || !isPort(config.remotePort)
        || config.sshUser.startsWith(u'-') || config.sshHost.startsWith(u'-'))
        throw TunnelError(TunnelError::Case::invalidConfiguration);
    return config;
}

} // namespace

TunnelService::TunnelService(StateCallback stateChanged, Options options, QObject *parent)
    : QObject(parent)
    , m_proxy(new SystemProxyService(options.tools, this, options.log))
    , m_stateChanged(std::move(stateChanged))
    , m_reconnectDelay(options.timings.initialReconnectDelay)
    , m_tools(std::move(options.tools))
    , m_timings(options.timings)
    , m_log(options.log ? std::move(options.log) : Platform::writeSystemLog)
{
}

TunnelService::~TunnelService()
{
    m_alive->cancel();
    if (m_monitorToken)
        m_monitorToken->cancel();
}

void TunnelService::report(ProtectionState state, QStringView detail)
{
    // Whatever path leads here, traffic is not claimed protected while it may still go out
    // directly.
    if (state == ProtectionState::protected_ && !proxiesAreOurs())
        return;
    if (m_stateChanged)
        m_stateChanged(state, detail.toString());
}

void TunnelService::throwUnlessCurrent(const Generation &generation)
{
    if (!generation.current())
        throw CancelledError();
}

QCoro::Task<> TunnelService::enable()
{
    m_requested = true;
    ++m_generation;
    const Generation generation = this->generation();
    report(ProtectionState::connecting, Texts::connecting);

    std::exception_ptr failure;
    try {
        try {
            m_config = usableConfig(decodeJson<ClientConfig>(readDataFile(ClientPaths::config())));
        } catch (const TunnelError &) {
            m_config.reset();
            throw;
        }
        m_mapKey = QString::fromUtf8(readDataFile(ClientPaths::mapKey())).trimmed();
        co_await m_proxy->enable(quint16(m_config->localPort));
        throwUnlessCurrent(generation);
        m_proxiesSwitchedIn = generation.number;
        co_await connect();
    } catch (...) {
        failure = std::current_exception();
    }
    // A switch-off or another switch-on that began meanwhile owns ssh and the state now.
    if (!failure || !generation.current())
        co_return;

    co_await stopProcess();
    if (generation.current())
        report(ProtectionState::blocked, Texts::notSentDirectlyPrefix.toString() + describeError(failure));
}

QCoro::Task<bool> TunnelService::disable()
{
    m_requested = false;
    ++m_generation;
    const Generation generation = this->generation();
    if (m_monitorToken) {
        m_monitorToken->cancel();
        m_monitorToken.reset();
    }
    co_await stopProcess();
    if (!generation.current())
        co_return false;

    std::exception_ptr failure;
    try {
        co_await m_proxy->restore();
    } catch (...) {
        failure = std::current_exception();
    }
    if (!generation.current())
        co_return false;
    if (failure) {
        report(ProtectionState::blocked, Texts::restoreFailedPrefix.toString() + describeError(failure));
        co_return false;
    }
    report(ProtectionState::disabled, Texts::disabled);
    co_return true;
}

QCoro::Task<> TunnelService::connect()
{
    const Generation generation = this->generation();
    if (!m_config)
        throw TunnelError(TunnelError::Case::notActivated);
    if (m_connecting == generation.number)
        co_return;
    m_connecting = generation.number;
    const auto done = qScopeGuard([this, generation]() {
        if (!generation.alive->isCancelled() && m_connecting == generation.number)
            m_connecting.reset();
    });

    co_await stopProcess();
    throwUnlessCurrent(generation);
    if (!m_config)
        throw TunnelError(TunnelError::Case::notActivated);
    const ClientConfig config = *m_config;
    co_await stopLeftoverSsh(config);
    throwUnlessCurrent(generation);
    const QUuid id = QUuid::createUuid();
    m_connectionID = id;

    if (TunnelProtocolSupport::localPortIsBusy(quint16(config.localPort))) {
        report(ProtectionState::blocked, Texts::portBusy);
        throw TunnelError(TunnelError::Case::portBusy);
    }

    const QPointer<QProcess> process = new QProcess(this);
    process->setProgram(m_tools.ssh);
    process->setArguments(sshArguments(config));
    process->setStandardInputFile(QProcess::nullDevice());
    process->setStandardOutputFile(QProcess::nullDevice());
    m_stderrReader = QObject::connect(process, &QProcess::readyReadStandardError, this,
                                      [this, process]() { readStandardError(process); });
    QObject::connect(process, &QProcess::finished, this, [self = QPointer(this), id]() {
        if (self)
            self->terminated(id);
    });

    try {
        co_await ProcessRunner::launch(*process);
    } catch (...) {
        if (!generation.alive->isCancelled())
            releaseProcess(process);
        throw;
    }
    throwIfCancelled(generation.alive); // the service took its child with it
    if (!generation.current() || m_connectionID != id) {
        // Stopped or replaced while it was starting: this child is nobody's any more.
        process->terminate();
        releaseProcess(process);
        throw CancelledError();
    }
    m_process = process;
    try {
        AtomicFile::write(ClientPaths::sshPid(), QByteArray::number(process->processId()),
                          AtomicFile::ownerOnly);
    } catch (const FileError &) {
        // Only a later run's clean-up after a crash depends on it.
    }

    const auto port = quint16(config.localPort);
    co_await awaitForward(port, process);
    throwUnlessCurrent(generation);
    for (int tries = 0;;) {
        if (m_process != process || process->state() != QProcess::Running) {
            if (!m_lastSSHError.isEmpty())
                m_log(u"Ветрон: ssh завершился — "_s + m_lastSSHError);
            throw TunnelError(TunnelError::Case::sshStopped);
        }
        const bool answered = co_await canary(port);
        throwUnlessCurrent(generation);
        if (answered) {
            // The forward is this ssh's: another program on the port would have made it exit.
            m_provenLaunch = id;
            m_provenPort = port;
            m_reconnectDelay = m_timings.initialReconnectDelay;
            co_await unlock(config);
            throwUnlessCurrent(generation);
            startMonitor();
            report(ProtectionState::protected_, Texts::protectedNow);
            co_return;
        }
        co_await sleepUnlessCancelled(generation.alive, m_timings.canaryInterval);
        throwUnlessCurrent(generation);
        if (++tries >= m_timings.canaryTries) {
            co_await stopProcess();
            throw TunnelError(TunnelError::Case::serverUnavailable);
        }
    }
}

QCoro::Task<> TunnelService::terminated(QUuid id)
{
    const Generation generation = this->generation();
    // While a switch-on's proxy step is under way it replaces ssh itself; after the step failed
    // nothing comes back until the user switches on again.
    if (id != m_connectionID || !m_requested || !proxiesAreOurs())
        co_return;
    // A connect in progress sees its own ssh end and its caller reports; a reconnect already
    // under way takes this exit into its own attempt.
    if (m_connecting == generation.number || m_reconnecting == generation.number)
        co_return;
    m_reconnecting = generation.number;
    const auto done = qScopeGuard([this, generation]() {
        if (!generation.alive->isCancelled() && m_reconnecting == generation.number)
            m_reconnecting.reset();
    });
    report(ProtectionState::blocked, Texts::interrupted);

    co_await sleepUnlessCancelled(generation.alive, takeReconnectWait());
    if (!generation.current())
        co_return;

    co_await reconnect(Texts::reconnectFailed.toString());
}

QCoro::Task<> TunnelService::reconnect(QString failureDetail)
{
    const Generation generation = this->generation();
    std::exception_ptr failure;
    try {
        co_await connect();
    } catch (...) {
        failure = std::current_exception();
    }
    if (!failure || !generation.current())
        co_return;
    co_await stopProcess();
    // A busy port has already been reported by connect itself.
    if (generation.current() && errorCase<TunnelError>(failure) != TunnelError::Case::portBusy)
        report(ProtectionState::blocked, failureDetail);
}

std::chrono::milliseconds TunnelService::takeReconnectWait()
{
    const double delay = m_reconnectDelay;
    m_reconnectDelay = std::min(2 * delay, m_timings.maxReconnectDelay);
    const double factor = 0.8 + 0.4 * QRandomGenerator::global()->generateDouble();
    return std::chrono::milliseconds(qRound64(delay * factor * 1000));
}

} // namespace Vetron
