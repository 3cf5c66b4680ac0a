#pragma once

#include "Foundation/Models.h"
#include "Foundation/ServerAddresses.h"

#include <QCoroTask>
#include <QObject>

namespace Vetron {

// Fetches this device's summary (device, subscription, usage) from the account portal with the
// device token as bearer credential. Requests go straight to the portal, never through any
// proxy, since the system proxies may point at the client's own tunnel.
class PortalAccountClient : public QObject
{
    Q_OBJECT

public:
    explicit PortalAccountClient(ServerAddresses servers = {}, QObject *parent = nullptr);

    const QUrl &endpoint() const { return m_endpoint; }

    // Throws DeviceCredentialError without a token (nothing is sent), AccountError
    // (credentialExpired for 401, serverFailure for any other status but 200), NetworkError or
    // DecodingError.
    QCoro::Task<DeviceSummary> summary();

private:
    QUrl m_endpoint;
};

} // namespace Vetron
