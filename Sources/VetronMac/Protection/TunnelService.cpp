#include "Protection/TunnelService.h"

#include "Foundation/ClientPaths.h"
#include "Platform/SystemLog.h"
#include "Protection/SystemProxyService.h"
#include "Protection/TunnelProtocolSupport.h"
#include "Protection/TunnelStateTexts.h"
#ifndef Q_OS_MACOS
#include "Platform/BrowserCertificateStores.h"
#include "Protection/DesktopProxyService.h"
#endif

#include <QFile>
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

SystemProxy *makeSystemProxy(const TunnelService::Options &options, QObject *parent)
{
#ifndef Q_OS_MACOS
    if (options.system == SystemBackend::desktop)
        return new DesktopProxyService(
            options.tools, DesktopProxyService::sessionIsPlasma(), parent, options.log);
#endif
    return new SystemProxyService(options.tools, parent, options.log);
}

} // namespace

TunnelService::TunnelService(StateCallback stateChanged, Options options, QObject *parent)
    : QObject(parent)
    , m_timings(options.timings)
    , m_proxy(makeSystemProxy(options, this))
    , m_ssh(new TunnelProcess(options.tools, options.timings, this))
    , m_system(options.system)
    , m_certutil(options.tools.certutil)
    , m_stateChanged(std::move(stateChanged))
    , m_log(options.log ? std::move(options.log) : Platform::writeSystemLog)
{
    QObject::connect(m_ssh, &TunnelProcess::exited, this, [this](QUuid launch) { terminated(launch); });
}

TunnelService::~TunnelService()
{
    m_alive->cancel();
    m_health.stopMonitor();
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
            m_credentials.config
                = usableConfig(decodeJson<ClientConfig>(readDataFile(ClientPaths::config())));
        } catch (const TunnelError &) {
            m_credentials.config.reset();
            throw;
        }
        m_credentials.mapKey = QString::fromUtf8(readDataFile(ClientPaths::mapKey())).trimmed();
#ifndef Q_OS_MACOS
        if (m_system == SystemBackend::desktop) {
            // Browser profiles made since enrollment get the server's authority too. Without it
            // they only refuse the server's pages; nothing goes out unprotected.
            try {
                co_await BrowserCertificateStores::trust(ClientPaths::serverCA(), m_certutil, m_log);
            } catch (const Error &error) {
                m_log(u"Ветрон: "_s + error.description());
            }
            throwUnlessCurrent(generation);
        }
#endif
        co_await m_proxy->enable(quint16(m_credentials.config->localPort));
        throwUnlessCurrent(generation);
        m_proxiesSwitchedIn = generation.number;
        co_await connect();
    } catch (...) {
        failure = std::current_exception();
    }
    // A switch-off or another switch-on that began meanwhile owns ssh and the state now.
    if (!failure || !generation.current())
        co_return;

    co_await m_ssh->stop();
    if (generation.current())
        report(ProtectionState::blocked, Texts::notSentDirectlyPrefix.toString() + describeError(failure));
}

QCoro::Task<bool> TunnelService::disable()
{
    m_requested = false;
    ++m_generation;
    const Generation generation = this->generation();
    m_health.stopMonitor();
    co_await m_ssh->stop();
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
    if (!m_credentials.config)
        throw TunnelError(TunnelError::Case::notActivated);
    if (m_connecting == generation.number)
        co_return;
    m_connecting = generation.number;
    const auto done = qScopeGuard([this, generation]() {
        if (!generation.alive->isCancelled() && m_connecting == generation.number)
            m_connecting.reset();
    });

    co_await m_ssh->stop();
    throwUnlessCurrent(generation);
    if (!m_credentials.config)
        throw TunnelError(TunnelError::Case::notActivated);
    const ClientConfig config = *m_credentials.config;
    co_await m_ssh->stopLeftover(config);
    throwUnlessCurrent(generation);
    const QUuid id = m_ssh->beginLaunch();

    if (TunnelProtocolSupport::localPortIsBusy(quint16(config.localPort))) {
        report(ProtectionState::blocked, Texts::portBusy);
        throw TunnelError(TunnelError::Case::portBusy);
    }

    const QPointer<QProcess> process = co_await m_ssh->launch(config, id);
    throwIfCancelled(generation.alive); // the service took its child with it
    if (!generation.current() || !m_ssh->isLaunch(id)) {
        // Stopped or replaced while it was starting: this child is nobody's any more.
        m_ssh->discard(process);
        throw CancelledError();
    }
    m_ssh->adopt(process);

    const auto port = quint16(config.localPort);
    co_await m_ssh->awaitForward(port, process);
    throwUnlessCurrent(generation);
    for (int tries = 0;;) {
        if (!m_ssh->runs(process)) {
            if (!m_ssh->lastError().isEmpty())
                m_log(u"Ветрон: ssh завершился — "_s + m_ssh->lastError());
            throw TunnelError(TunnelError::Case::sshStopped);
        }
        const bool answered = co_await m_health.canary(port);
        throwUnlessCurrent(generation);
        if (answered) {
            // The forward is this ssh's: another program on the port would have made it exit.
            m_ssh->proveForward(id, port);
            m_backoff.reset();
            co_await m_control.unlock(config);
            throwUnlessCurrent(generation);
            m_health.startMonitor();
            report(ProtectionState::protected_, Texts::protectedNow);
            co_return;
        }
        co_await sleepUnlessCancelled(generation.alive, m_timings.canaryInterval);
        throwUnlessCurrent(generation);
        if (++tries >= m_timings.canaryTries) {
            co_await m_ssh->stop();
            throw TunnelError(TunnelError::Case::serverUnavailable);
        }
    }
}

QCoro::Task<> TunnelService::terminated(QUuid launch)
{
    const Generation generation = this->generation();
    // While a switch-on's proxy step is under way it replaces ssh itself; after the step failed
    // nothing comes back until the user switches on again.
    if (!m_ssh->isLaunch(launch) || !m_requested || !proxiesAreOurs())
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

    co_await sleepUnlessCancelled(generation.alive, m_backoff.takeWait());
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
    co_await m_ssh->stop();
    // A busy port has already been reported by connect itself.
    if (generation.current() && errorCase<TunnelError>(failure) != TunnelError::Case::portBusy)
        report(ProtectionState::blocked, failureDetail);
}

QCoro::Task<> TunnelService::systemDidWake()
{
    return m_health.systemDidWake();
}

} // namespace Vetron
