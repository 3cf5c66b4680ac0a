#include "Foundation/WebExchange.h"

#include <QCoroNetworkReply>
#include <QJsonDocument>
#include <QNetworkAccessManager>
#include <QNetworkProxy>

using namespace Qt::StringLiterals;

namespace Vetron {

NetworkError::NetworkError(QNetworkReply::NetworkError code, QString platformMessage)
    : Error(std::move(platformMessage))
    , m_code(code)
{
}

namespace WebExchange {
namespace {

std::unique_ptr<QNetworkAccessManager> clientWith(const QNetworkProxy &proxy, std::chrono::milliseconds timeout)
{
    auto client = std::make_unique<QNetworkAccessManager>();
    client->setProxy(proxy);
    client->setTransferTimeout(int(timeout.count()));
    client->setRedirectPolicy(QNetworkRequest::ManualRedirectPolicy);
    return client;
}

} // namespace

std::unique_ptr<QNetworkAccessManager> proxiedClient(quint16 port, std::chrono::milliseconds timeout)
{
    return clientWith(QNetworkProxy(QNetworkProxy::HttpProxy, u"127.0.0.1"_s, port), timeout);
}

std::unique_ptr<QNetworkAccessManager> directClient(std::chrono::milliseconds timeout)
{
    return clientWith(QNetworkProxy(QNetworkProxy::NoProxy), timeout);
}

QCoro::Task<WebAnswer> send(QNetworkAccessManager &client, QNetworkRequest request, QByteArray verb, QByteArray body,
                            std::shared_ptr<CancellationToken> cancel)
{
    // The request's own limit may be longer than the client's; the shorter one applies.
    const int clientLimit = client.transferTimeout();
    if (request.transferTimeout() == 0 || (clientLimit > 0 && clientLimit < request.transferTimeout()))
        request.setTransferTimeout(clientLimit);

    std::unique_ptr<QNetworkReply> reply(client.sendCustomRequest(request, verb, body));
    if (cancel) {
        QObject::connect(cancel.get(), &CancellationToken::cancelled, reply.get(), &QNetworkReply::abort);
        if (cancel->isCancelled())
            reply->abort();
    }
    co_await reply.get();

    const QVariant status = reply->attribute(QNetworkRequest::HttpStatusCodeAttribute);
    if (!status.isValid())
        throw NetworkError(reply->error(), reply->errorString());
    // A reply that broke off after its status line is closed; its body is then empty.
    co_return WebAnswer { status.toInt(), reply->isOpen() ? reply->readAll() : QByteArray() };
}

QCoro::Task<WebAnswer> postJson(QUrl address, QJsonObject fields, std::chrono::milliseconds timeout)
{
    QNetworkRequest request(address);
    request.setHeader(QNetworkRequest::ContentTypeHeader, u"application/json"_s);
    const auto client = directClient(timeout);
    co_return co_await send(*client, request, "POST", QJsonDocument(fields).toJson(QJsonDocument::Compact));
}

} // namespace WebExchange
} // namespace Vetron
