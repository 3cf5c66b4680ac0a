#pragma once

#include "HttpResponse.h"

#include <QByteArray>

#include <functional>
#include <optional>

namespace Vetron::Tools {

class HttpConnection;

// A canned answer that takes the place of a stand-in's usual one, to inject faults: `status` and
// `body` after `delayMs`. Status 0 keeps the usual answer and only delays it. With a delivery
// other than `whole`, only the headers (with the full Content-Length) and the first `partBytes`
// of the body go out; the connection is then cut, or kept open without another byte. With
// `notHttp` the body alone goes out, unframed, and the connection closes.
struct HttpOverride
{
    enum class Delivery { whole, cutAfterPart, stallAfterPart, notHttp };

    int status = 0;
    QByteArray body;
    int delayMs = 0;
    Delivery delivery = Delivery::whole;
    qsizetype partBytes = 0;
};

// Answers the request waiting on `connection` with the override, or with what `usual` gives when
// there is none or its status is 0, after the override's delay. `usual` runs when the answer goes
// out, so a delayed answer reflects the state of that moment. Nothing is sent once the connection
// is gone.
void respondWithOverride(HttpConnection *connection, const std::optional<HttpOverride> &override,
    std::function<HttpResponse()> usual);

} // namespace Vetron::Tools
