#include "Account/PortalAccountClient.h"

#include "Account/AccountErrors.h"
#include "Account/DeviceCredentialStore.h"
#include "Foundation/WebExchange.h"

#include <QNetworkAccessManager>

using namespace Qt::StringLiterals;
using namespace std::chrono_literals;

namespace Vetron {

PortalAccountClient::PortalAccountClient(ServerAddresses servers, QObject *parent)
    : QObject(parent)
    , m_endpoint(ServerAddresses::withPath(servers.portalBase, u"api/v1/device/summary"_s))
{
}

QCoro::Task<DeviceSummary> PortalAccountClient::summary()
{
    QNetworkRequest request(m_endpoint);
    const QString token = co_await DeviceCredentialStore::read();
    request.setRawHeader("Authorization", "Bearer " + token.toUtf8());

    const auto client = WebExchange::directClient(60s);
    const WebAnswer answer = co_await WebExchange::send(*client, request);
    if (answer.status == 401)
        throw AccountError(AccountError::Case::credentialExpired);
    if (answer.status != 200)
        throw AccountError(AccountError::Case::serverFailure);
    co_return decodeJson<DeviceSummary>(answer.body);
}

} // namespace Vetron
