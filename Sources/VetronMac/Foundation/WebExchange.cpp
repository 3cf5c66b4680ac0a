#include "Foundation/WebExchange.h"

#include "Foundation/SystemErrorTexts.h"

#include <QCoroNetworkReply>
#include <QJsonDocument>
#include <QNetworkAccessManager>
#include <QNetworkProxy>
#include <QTimer>

using namespace Qt::StringLiterals;

namespace Vetron {

NetworkError::NetworkError(QNetworkReply::NetworkError code)
    : NetworkError(code, SystemErrorTexts::forNetwork(code))
{
}

NetworkError::NetworkError(QNetworkReply::NetworkError code, QString description)
    : Error(std::move(description))
    , m_code(code)
{
}

namespace WebExchange {
namespace {

std::unique_ptr<QNetworkAccessManager> clientWith(
    const QNetworkProxy &proxy, std::chrono::milliseconds timeout)
{
    auto client = std::make_unique<QNetworkAccessManager>();
    client->setProxy(proxy);
    client->setTransferTimeout(int(timeout.count()));
    client->setRedirectPolicy(QNetworkRequest::NoLessSafeRedirectPolicy);
    return client;
}

// Content errors (201–299) and server errors (401–499) only mirror an HTTP status that did
// arrive; every other code means the exchange itself broke.
bool mirrorsStatus(QNetworkReply::NetworkError code)
{
    return (code >= 201 && code <= 299) || (code >= 401 && code <= 499);
}

// Abort emits `finished` at once, and the awaiting coroutine resumes inside that emission;
// deleting the reply later keeps it alive until abort() and its callers have returned.
struct DeleteLater
{
    void operator()(QObject *object) const { object->deleteLater(); }
};

// The shorter of two limits where 0 means none.
int shorterLimit(int a, int b)
{
    if (a <= 0)
        return b;
    if (b <= 0)
        return a;
    return std::min(a, b);
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

QCoro::Task<WebAnswer> send(QNetworkAccessManager &client, QNetworkRequest request, QByteArray verb,
    QByteArray body, std::shared_ptr<CancellationToken> cancel, qint64 bodyLimit,
    std::chrono::milliseconds deadlineAfter)
{
    // Qt's own transfer timeout only notices silence; the deadline bounds the whole exchange.
    const int limit = shorterLimit(client.transferTimeout(), request.transferTimeout());
    request.setTransferTimeout(limit);

    // A plain GET, not a custom verb, so that answers without HTTP (a file) are read too.
    const std::unique_ptr<QNetworkReply, DeleteLater> reply(verb == "GET" && body.isEmpty()
            ? client.get(request)
            : client.sendCustomRequest(request, verb, body));
    bool timedOut = false;
    bool tooLarge = false;
    // A child of the reply, so that it, too, outlives the abort it triggers.
    auto *deadline = new QTimer(reply.get());
    deadline->setSingleShot(true);
    QObject::connect(deadline, &QTimer::timeout, reply.get(), [&timedOut, &reply] {
        timedOut = true;
        reply->abort();
    });
    const int wholeLimit = deadlineAfter.count() > 0 ? int(deadlineAfter.count()) : limit;
    if (wholeLimit > 0)
        deadline->start(wholeLimit);
    QObject::connect(reply.get(), &QNetworkReply::downloadProgress, reply.get(),
        [&tooLarge, &reply, bodyLimit](qint64 received, qint64 total) {
            if (received > bodyLimit || total > bodyLimit) {
                tooLarge = true;
                reply->abort();
            }
        });
    if (cancel) {
        QObject::connect(cancel.get(), &CancellationToken::cancelled, reply.get(), &QNetworkReply::abort);
        if (cancel->isCancelled())
            reply->abort();
    }
    co_await reply.get();
    deadline->stop();

    const QNetworkReply::NetworkError error = reply->error();
    if (tooLarge)
        throw NetworkError(QNetworkReply::ProtocolFailure, u"Ответ сервера больше допустимого."_s);
    if (cancel && cancel->isCancelled())
        throw NetworkError(QNetworkReply::OperationCanceledError);
    // Also Qt's transfer timer ends a reply as cancelled.
    if (timedOut || error == QNetworkReply::OperationCanceledError)
        throw NetworkError(QNetworkReply::TimeoutError);

    const QVariant status = reply->attribute(QNetworkRequest::HttpStatusCodeAttribute);
    if (error != QNetworkReply::NoError && (!mirrorsStatus(error) || !status.isValid()))
        throw NetworkError(error);
    co_return WebAnswer { status.isValid() ? status.toInt() : 0, reply->readAll() };
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
