#include "Protection/TunnelHealth.h"

#include "BuildConstants.h"
#include "Protection/TunnelProtocolSupport.h"
#include "Protection/TunnelService.h"
#include "Protection/TunnelStateTexts.h"

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

TunnelHealth::TunnelHealth(TunnelService &service)
    : m_service(service)
{
}

TunnelHealth::~TunnelHealth()
{
    stopMonitor();
}

QCoro::Task<bool> TunnelHealth::canary(quint16 port)
{
    const QString nonce = QUuid::createUuid().toString(QUuid::WithoutBraces).remove(u'-');
    QUrl address = statusAddress();
    address.setQuery(u"nonce="_s + nonce);
    const auto answer = co_await askStatus(port, m_service.m_timings.canaryTimeout, address);
    co_return answer && answer->status == 200 && QString::fromUtf8(answer->body).contains(nonce);
}

QCoro::Task<bool> TunnelHealth::mapIsUnlocked(quint16 port)
{
    const auto answer = co_await askStatus(port, m_service.m_timings.mapStateTimeout, statusAddress());
    co_return answer && answer->status == 200 && TunnelProtocolSupport::mapIsUnlocked(answer->body);
}

void TunnelHealth::startMonitor()
{
    if (m_monitorToken)
        return;
    m_monitorToken = CancellationToken::create();
    monitor(m_monitorToken);
}

void TunnelHealth::stopMonitor()
{
    if (m_monitorToken) {
        m_monitorToken->cancel();
        m_monitorToken.reset();
    }
}

QCoro::Task<> TunnelHealth::monitor(std::shared_ptr<CancellationToken> token)
{
    // The token is cancelled by `disable` and when the service goes away; after every wait it is
    // checked before the service is touched again. A pass whose generation was superseded while
    // it waited claims nothing.
    TunnelService &s = m_service;
    bool failureReported = false;
    const auto reportFailure = [&s, &failureReported](QStringView detail) {
        failureReported = true;
        s.report(ProtectionState::blocked, detail);
    };
    const auto reportProtected = [&s, &failureReported]() {
        failureReported = false;
        s.report(ProtectionState::protected_, Texts::protectedNow);
    };
    for (;;) {
        co_await sleepUnlessCancelled(token, s.m_timings.monitorInterval);
        if (token->isCancelled())
            co_return;
        ++m_passes;
        // A switch-on whose proxy step is under way or failed is not the monitor's to repair.
        if (!s.m_requested || !s.m_credentials.config || !s.proxiesAreOurs())
            continue;
        // A connect or a reconnect after an ssh exit is under way: its ssh is not ready to be
        // judged, its back-off is not to be cut short, and its own outcome will be reported.
        if (s.m_connecting || s.m_reconnecting)
            continue;
        const TunnelService::Generation generation = s.generation();
        const ClientConfig config = *s.m_credentials.config;

        if (s.m_ssh->isRunning()) {
            // What was learnt about one ssh says nothing once another has taken its place.
            const QUuid probed = s.m_ssh->launchId();
            const auto stale = [&]() {
                return token->isCancelled() || !generation.current() || s.m_ssh->launchId() != probed;
            };
            const bool unlocked = co_await mapIsUnlocked(quint16(config.localPort));
            if (token->isCancelled())
                co_return;
            if (stale())
                continue;
            if (unlocked) {
                s.m_backoff.reset();
                // Recovered without an unlock (the map stayed open while the server failed).
                if (failureReported)
                    reportProtected();
                continue;
            }
            bool accepted = true;
            try {
                co_await s.m_control.unlock(config);
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
            co_await s.connect();
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
            co_await sleepUnlessCancelled(token, s.m_timings.portBusyRetry);
        } else {
            reportFailure(Texts::tryingToRecover);
            co_await sleepUnlessCancelled(token, s.m_backoff.takeWait());
        }
    }
}

QCoro::Task<> TunnelHealth::systemDidWake()
{
    TunnelService &s = m_service;
    const TunnelService::Generation generation = s.generation();
    // A switch-on under way (its password dialog may be open) ends by itself; one whose proxy
    // step failed stays blocked until the user switches on again.
    if (!s.m_requested || !s.m_credentials.config || !s.proxiesAreOurs() || s.m_connecting)
        co_return;
    if (s.m_ssh->isRunning()) {
        const bool answered = co_await canary(quint16(s.m_credentials.config->localPort));
        if (!generation.current() || answered)
            co_return;
    }
    s.report(ProtectionState::connecting, Texts::afterSleep);

    co_await s.reconnect(Texts::tryingToRecover.toString());
}

} // namespace Vetron
