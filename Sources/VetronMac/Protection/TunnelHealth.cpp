// The tunnel's probes, its health monitor and the recovery after sleep.

#include "Protection/TunnelService.h"

#include "BuildConstants.h"
#include "Protection/TunnelProtocolSupport.h"
#include "Protection/TunnelStateTexts.h"

#include <QDeadlineTimer>
#include <QNetworkAccessManager>
#include <QUrlQuery>

using namespace Qt::StringLiterals;

namespace Vetron {
namespace {

namespace Texts = TunnelStateTexts;

QUrl statusAddress()
{
    return QUrl(u"http://"_s + QLatin1StringView(BuildConstants::statusHost) + u"/"_s);
}

// GET of the status pseudo-host through the tunnel; no answer at all counts as no answer.
QCoro::Task<std::optional<WebAnswer>> askStatus(quint16 port, std::chrono::milliseconds timeout, QUrl address)
{
    const auto client = WebExchange::proxiedClient(port, timeout);
    try {
        co_return co_await WebExchange::send(*client, QNetworkRequest(address));
    } catch (const NetworkError &) {
        co_return std::nullopt;
    }
}

} // namespace

QCoro::Task<bool> TunnelService::canary(quint16 port)
{
    const QString nonce = QUuid::createUuid().toString(QUuid::WithoutBraces).remove(u'-');
    QUrl address = statusAddress();
    address.setQuery(u"nonce="_s + nonce);
    const auto answer = co_await askStatus(port, m_timings.canaryTimeout, address);
    co_return answer && answer->status == 200 && QString::fromUtf8(answer->body).contains(nonce);
}

QCoro::Task<> TunnelService::awaitForward(quint16 port, QPointer<QProcess> process)
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

QCoro::Task<bool> TunnelService::mapIsUnlocked(quint16 port)
{
    const auto answer = co_await askStatus(port, m_timings.mapStateTimeout, statusAddress());
    co_return answer && answer->status == 200 && TunnelProtocolSupport::mapIsUnlocked(answer->body);
}

QCoro::Task<> TunnelService::unlock(ClientConfig config)
{
    const QUrl address(u"http://"_s + config.unlockHost + u"/"_s, QUrl::StrictMode);
    if (!address.isValid() || address.host().isEmpty())
        throw TunnelError(TunnelError::Case::invalidConfiguration);

    requireOwnForward(quint16(config.localPort));
    QNetworkRequest request(address);
    request.setTransferTimeout(int(m_timings.requestLimit.count()));
    request.setRawHeader("X-Anon-Key", m_mapKey.toUtf8());
    const auto client = WebExchange::proxiedClient(quint16(config.localPort), m_timings.clientTimeout);
    const WebAnswer answer = co_await WebExchange::send(*client, request);
    if (!TunnelProtocolSupport::acceptsUnlock(answer.status, answer.body))
        throw TunnelError(TunnelError::Case::serverUnavailable);
}

void TunnelService::startMonitor()
{
    if (m_monitorToken)
        return;
    m_monitorToken = CancellationToken::create();
    monitor(m_monitorToken);
}

QCoro::Task<> TunnelService::monitor(std::shared_ptr<CancellationToken> token)
{
    // The token is cancelled by `disable` and when the service goes away; after every wait it is
    // checked before the service is touched again. A pass whose generation was superseded while
    // it waited claims nothing.
    bool failureReported = false;
    const auto reportFailure = [this, &failureReported](QStringView detail) {
        failureReported = true;
        report(ProtectionState::blocked, detail);
    };
    const auto reportProtected = [this, &failureReported]() {
        failureReported = false;
        report(ProtectionState::protected_, Texts::protectedNow);
    };
    for (;;) {
        co_await sleepUnlessCancelled(token, m_timings.monitorInterval);
        if (token->isCancelled())
            co_return;
        // A switch-on whose proxy step is under way or failed is not the monitor's to repair.
        if (!m_requested || !m_config || !proxiesAreOurs())
            continue;
        // A connect or a reconnect after an ssh exit is under way: its ssh is not ready to be
        // judged, its back-off is not to be cut short, and its own outcome will be reported.
        if (m_connecting || m_reconnecting)
            continue;
        const Generation generation = this->generation();
        const ClientConfig config = *m_config;

        if (isProcessRunning()) {
            // What was learnt about one ssh says nothing once another has taken its place.
            const QPointer<QProcess> probed = m_process;
            const auto stale = [&]() {
                return token->isCancelled() || !generation.current() || m_process != probed;
            };
            const bool unlocked = co_await mapIsUnlocked(quint16(config.localPort));
            if (token->isCancelled())
                co_return;
            if (stale())
                continue;
            if (unlocked) {
                m_reconnectDelay = m_timings.initialReconnectDelay;
                // Recovered without an unlock (the map stayed open while the server failed).
                if (failureReported)
                    reportProtected();
                continue;
            }
            bool accepted = true;
            try {
                co_await unlock(config);
            } catch (...) {
                accepted = false;
            }
            if (token->isCancelled())
                co_return;
            if (stale())
                continue;
            if (accepted)
                reportProtected();
            else
                reportFailure(Texts::serverUnavailable);
            continue;
        }

        std::exception_ptr failure;
        try {
            co_await connect();
        } catch (...) {
            failure = std::current_exception();
        }
        if (token->isCancelled())
            co_return;
        if (!generation.current())
            continue;
        if (!failure) {
            reportProtected();
            continue;
        }
        if (errorCase<TunnelError>(failure) == TunnelError::Case::portBusy) {
            co_await sleepUnlessCancelled(token, m_timings.portBusyRetry);
        } else {
            reportFailure(Texts::tryingToRecover);
            co_await sleepUnlessCancelled(token, takeReconnectWait());
        }
    }
}

QCoro::Task<> TunnelService::systemDidWake()
{
    const Generation generation = this->generation();
    // A switch-on under way (its password dialog may be open) ends by itself; one whose proxy
    // step failed stays blocked until the user switches on again.
    if (!m_requested || !m_config || !proxiesAreOurs() || m_connecting)
        co_return;
    if (isProcessRunning()) {
        const bool answered = co_await canary(quint16(m_config->localPort));
        if (!generation.current() || answered)
            co_return;
    }
    report(ProtectionState::connecting, Texts::afterSleep);

    co_await reconnect(Texts::tryingToRecover.toString());
}

} // namespace Vetron
