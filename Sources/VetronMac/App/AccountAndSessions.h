#pragma once

#include "App/ClientEnvironment.h"
#include "Foundation/Cancellation.h"
#include "Foundation/Models.h"

#include <QCoroTask>
#include <QObject>
#include <QPointer>

#include <optional>

namespace Vetron {

class PortalAccountClient;
class TunnelService;

// What the servers know about this Mac: the account portal's device, subscription and usage,
// and the protection server's list of protected sessions, each with the text of its last failed
// load. The session commands go through the tunnel; the list is reloaded after each.
class AccountAndSessions : public QObject
{
    Q_OBJECT

public:
    AccountAndSessions(ClientEnvironment environment, TunnelService *tunnel, QObject *parent = nullptr);

    const std::optional<DeviceInfo> &device() const { return m_device; }
    const std::optional<SubscriptionInfo> &subscription() const { return m_subscription; }
    const UsageResponse &usage() const { return m_usage; }
    bool accountLoaded() const { return m_accountLoaded; }
    const QString &accountMessage() const { return m_accountMessage; }
    const QList<ProtectedSession> &sessions() const { return m_sessions; }
    const QString &sessionsMessage() const { return m_sessionsMessage; }

    // Setters for the preview renderer's sample model; the running client never calls them.
    void setDevice(std::optional<DeviceInfo> device);
    void setSubscription(std::optional<SubscriptionInfo> subscription);
    void setUsage(UsageResponse usage);
    void setAccountLoaded(bool loaded);
    void setSessions(QList<ProtectedSession> sessions, QString message = {});

    // Cancelling `token` stops the load at its next step.
    QCoro::Task<> loadAccount(std::shared_ptr<CancellationToken> token);
    QCoro::Task<> loadSessions();
    // Sends one session command ("rename" with a title, "delete" without) and, once it succeeded,
    // reloads the list; a failed command throws and leaves the list as it was.
    QCoro::Task<> changeSession(QString action, QString id, std::optional<QString> title);
    QCoro::Task<ProtectedSessionDetail> revealSession(QString id);

Q_SIGNALS:
    void deviceChanged();
    void subscriptionChanged();
    void usageChanged();
    void accountLoadedChanged();
    void accountMessageChanged();
    void sessionsChanged();
    void sessionsMessageChanged();

private:
    void setAccountMessage(const QString &message);

    ClientEnvironment m_environment;
    QPointer<TunnelService> m_tunnel;
    PortalAccountClient *m_accountClient;
    std::optional<DeviceInfo> m_device;
    std::optional<SubscriptionInfo> m_subscription;
    UsageResponse m_usage;
    bool m_accountLoaded = false;
    QString m_accountMessage;
    QList<ProtectedSession> m_sessions;
    QString m_sessionsMessage;
};

} // namespace Vetron
