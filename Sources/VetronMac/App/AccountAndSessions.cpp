#include "App/AccountAndSessions.h"

#include "Account/PortalAccountClient.h"
#include "App/AccountSummaryLoad.h"
#include "Foundation/Error.h"
#include "Protection/TunnelService.h"

using namespace Qt::StringLiterals;

namespace Vetron {

AccountAndSessions::AccountAndSessions(ClientEnvironment environment, TunnelService *tunnel, QObject *parent)
    : QObject(parent)
    , m_environment(std::move(environment))
    , m_tunnel(tunnel)
    , m_accountClient(new PortalAccountClient(m_environment.servers, this))
{
}

void AccountAndSessions::setDevice(std::optional<DeviceInfo> device)
{
    m_device = std::move(device);
    Q_EMIT deviceChanged();
}

void AccountAndSessions::setSubscription(std::optional<SubscriptionInfo> subscription)
{
    m_subscription = std::move(subscription);
    Q_EMIT subscriptionChanged();
}

void AccountAndSessions::setUsage(UsageResponse usage)
{
    m_usage = usage;
    Q_EMIT usageChanged();
}

void AccountAndSessions::setAccountLoaded(bool loaded)
{
    m_accountLoaded = loaded;
    Q_EMIT accountLoadedChanged();
}

void AccountAndSessions::setAccountMessage(const QString &message)
{
    m_accountMessage = message;
    Q_EMIT accountMessageChanged();
}

void AccountAndSessions::setSessions(QList<ProtectedSession> sessions, QString message)
{
    m_sessions = std::move(sessions);
    Q_EMIT sessionsChanged();
    m_sessionsMessage = std::move(message);
    Q_EMIT sessionsMessageChanged();
}

QCoro::Task<> AccountAndSessions::loadAccount(std::shared_ptr<CancellationToken> token)
{
    QPointer self(this);
    setAccountLoaded(false);
    setAccountMessage(u"Получаем информацию по ключу этого Mac…"_s);
    const AccountSummaryOutcome outcome = co_await loadAccountSummary(m_accountClient, m_environment, token);
    if (!self)
        co_return;
    if (outcome.summary) {
        setDevice(outcome.summary->device);
        setSubscription(outcome.summary->subscription);
        setUsage(outcome.summary->usage);
        setAccountLoaded(true);
    }
    setAccountMessage(outcome.message);
}

QCoro::Task<> AccountAndSessions::loadSessions()
{
    QPointer self(this);
    QList<ProtectedSession> sessions;
    QString failure;
    try {
        sessions = co_await m_tunnel->sessions();
    } catch (...) {
        failure = describeError(std::current_exception());
    }
    if (self)
        setSessions(failure.isNull() ? sessions : QList<ProtectedSession>(), failure);
}

QCoro::Task<> AccountAndSessions::changeSession(QString action, QString id, std::optional<QString> title)
{
    QPointer self(this);
    co_await m_tunnel->sessionCommand(std::move(action), std::move(id), std::move(title));
    if (self)
        co_await loadSessions();
}

QCoro::Task<ProtectedSessionDetail> AccountAndSessions::revealSession(QString id)
{
    return m_tunnel->session(std::move(id));
}

} // namespace Vetron
