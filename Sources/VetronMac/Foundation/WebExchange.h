#pragma once

#include "Foundation/Cancellation.h"
#include "Foundation/Error.h"

#include <QByteArray>
#include <QCoroTask>
#include <QJsonObject>
#include <QNetworkReply>
#include <QNetworkRequest>

#include <chrono>
#include <memory>

class QNetworkAccessManager;

namespace Vetron {

// No complete HTTP answer came: refused connection, time limit, broken proxy, bad address, an
// answer cut off after its status line, one larger than the reader accepts. The description is
// a Russian sentence.
class NetworkError : public Error
{
public:
    explicit NetworkError(QNetworkReply::NetworkError code);
    NetworkError(QNetworkReply::NetworkError code, QString description);

    QNetworkReply::NetworkError code() const noexcept { return m_code; }

private:
    QNetworkReply::NetworkError m_code;
};

// A complete answer. `status` is the HTTP status, 0 for an answer that is not HTTP at all.
struct WebAnswer
{
    int status = 0;
    QByteArray body;
};

namespace WebExchange {

// The most a control answer, manifest or summary may hold, and the most a release image may.
inline constexpr qint64 smallBodyLimit = 8 * 1024 * 1024;
inline constexpr qint64 releaseBodyLimit = qint64(1024) * 1024 * 1024;

// A fresh web client that sends every request, plain or secure, through the HTTP proxy at
// 127.0.0.1:`port`, with `timeout` as its per-request time limit. Nothing is shared with other
// clients: no cookies, cache or credentials outlive it.
std::unique_ptr<QNetworkAccessManager> proxiedClient(quint16 port, std::chrono::milliseconds timeout);

// A fresh web client that never uses any proxy, neither the system's nor the environment's.
std::unique_ptr<QNetworkAccessManager> directClient(std::chrono::milliseconds timeout);

// Sends one request and suspends until its whole answer has arrived. The shorter of the
// client's and the request's time limits bounds the whole exchange, unless a longer `deadline`
// is given for a large body (the limit then only bounds silence); a body beyond `bodyLimit`
// bytes ends it. Redirects are followed, never from https to http. Throws NetworkError unless a
// complete answer came; an HTTP error status is an answer, not a failure. Cancelling `cancel`
// aborts the request (NetworkError with OperationCanceledError).
QCoro::Task<WebAnswer> send(QNetworkAccessManager &client, QNetworkRequest request, QByteArray verb = "GET",
    QByteArray body = {}, std::shared_ptr<CancellationToken> cancel = nullptr,
    qint64 bodyLimit = smallBodyLimit, std::chrono::milliseconds deadline = {});

// POSTs `fields` as compact JSON ("Content-Type: application/json") straight to `address`,
// through a fresh client that uses no proxy.
QCoro::Task<WebAnswer> postJson(QUrl address, QJsonObject fields, std::chrono::milliseconds timeout);

} // namespace WebExchange
} // namespace Vetron
