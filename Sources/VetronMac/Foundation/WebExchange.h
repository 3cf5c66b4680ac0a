#pragma once

#include "Foundation/Cancellation.h"
#include "Foundation/Error.h"

#include <QByteArray>
#include <QJsonObject>
#include <QCoroTask>
#include <QNetworkReply>
#include <QNetworkRequest>

#include <chrono>
#include <memory>

class QNetworkAccessManager;

namespace Vetron {

// No HTTP answer came: refused connection, time limit, broken proxy, bad address. Carries the
// platform's own words.
class NetworkError : public Error
{
public:
    NetworkError(QNetworkReply::NetworkError code, QString platformMessage);

    QNetworkReply::NetworkError code() const noexcept { return m_code; }

private:
    QNetworkReply::NetworkError m_code;
};

// An HTTP answer, whatever its status.
struct WebAnswer {
    int status = 0;
    QByteArray body;
};

namespace WebExchange {

// A fresh web client that sends every request, plain or secure, through the HTTP proxy at
// 127.0.0.1:`port`, with `timeout` as its per-request time limit. Nothing is shared with other
// clients: no cookies, cache or credentials outlive it.
std::unique_ptr<QNetworkAccessManager> proxiedClient(quint16 port, std::chrono::milliseconds timeout);

// A fresh web client that never uses any proxy, neither the system's nor the environment's.
std::unique_ptr<QNetworkAccessManager> directClient(std::chrono::milliseconds timeout);

// Sends one request and suspends until its answer. Throws NetworkError when no HTTP answer came;
// cancelling `cancel` aborts the request (OperationCanceledError).
QCoro::Task<WebAnswer> send(QNetworkAccessManager &client, QNetworkRequest request, QByteArray verb = "GET",
                            QByteArray body = {}, std::shared_ptr<CancellationToken> cancel = nullptr);

// POSTs `fields` as compact JSON ("Content-Type: application/json") straight to `address`,
// through a fresh client that uses no proxy.
QCoro::Task<WebAnswer> postJson(QUrl address, QJsonObject fields, std::chrono::milliseconds timeout);

} // namespace WebExchange
} // namespace Vetron
