#pragma once

#include "Foundation/Models.h"
#include "Foundation/WebExchange.h"
#include "Protection/TunnelTimings.h"

#include <QCoroTask>
#include <QUrl>

#include <optional>

namespace Vetron {

class TunnelProcess;

// What a switch-on read from the data directory: the enrolled configuration and the map key.
struct TunnelCredentials
{
    std::optional<ClientConfig> config;
    QString mapKey;
};

// The requests that carry the map key: the unlock and the control requests to the protection
// server. They leave only through this client's own ssh once a canary has answered through it;
// otherwise they fail at once, sending nothing, as a refused connection does. The control
// requests fail with TunnelError (notActivated before anything is sent, serverUnavailable for any
// status but 200), NetworkError or DecodingError.
class TunnelControl
{
public:
    TunnelControl(
        const TunnelProcess &ssh, const TunnelCredentials &credentials, const TunnelTimings &timings);

    QCoro::Task<ProtectionSettings> settings();
    QCoro::Task<> save(ProtectionSettings settings);
    QCoro::Task<> purgeMap();
    QCoro::Task<QList<ProtectedSession>> sessions();
    QCoro::Task<ProtectedSessionDetail> session(QString id);
    QCoro::Task<> sessionCommand(QString action, QString id, std::optional<QString> title);

    // Sends the map key to the unlock host of `config`; TunnelError serverUnavailable unless the
    // server accepts it.
    QCoro::Task<> unlock(ClientConfig config);

private:
    QCoro::Task<WebAnswer> sendAuthorized(QUrl url, QByteArray verb = "GET", QByteArray body = {});
    QCoro::Task<WebAnswer> sendAuthorizedOk(QUrl url, QByteArray verb = "GET", QByteArray body = {});

    const TunnelProcess &m_ssh;
    const TunnelCredentials &m_credentials;
    const TunnelTimings &m_timings;
};

} // namespace Vetron
