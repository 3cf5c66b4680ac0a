#pragma once

#include <QByteArray>
#include <QJsonObject>
#include <QList>

#include <utility>

namespace Vetron::Tools {

// An answer to one request, before it is framed for the wire.
struct HttpResponse
{
    int status = 200;
    QByteArray contentType;
    QByteArray body;
    // Further header lines, in order.
    QList<std::pair<QByteArray, QByteArray>> headers {};

    static HttpResponse json(int status, const QJsonObject &object);
    // A plain-text answer; a line ending is added when the text has none.
    static HttpResponse text(int status, QByteArray text);
    // A body handed over as is: typed as JSON when it parses as JSON, as plain text otherwise.
    static HttpResponse raw(int status, QByteArray body);

    // Status line, headers and body. Content-Length frames every answer that may carry a body
    // (1xx, 204 and 304 carry none and get no length); `headOnly` answers a HEAD request.
    QByteArray serialize(bool closeAfter, bool headOnly = false) const;
};

QByteArray reasonPhrase(int status);

} // namespace Vetron::Tools
