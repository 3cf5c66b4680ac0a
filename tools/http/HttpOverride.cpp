#include "HttpOverride.h"

#include "HttpConnection.h"

#include <QPointer>
#include <QTimer>

namespace Vetron::Tools {

void respondWithOverride(HttpConnection *connection, const std::optional<HttpOverride> &override,
    std::function<HttpResponse()> usual)
{
    const QPointer<HttpConnection> target(connection);
    auto reply = [target, override, usual = std::move(usual)] {
        if (!target)
            return;
        if (override && override->delivery == HttpOverride::Delivery::notHttp) {
            target->respondRaw(override->body);
            return;
        }
        const HttpResponse response = override && override->status != 0
            ? HttpResponse::raw(override->status, override->body)
            : usual();
        if (override && override->delivery != HttpOverride::Delivery::whole)
            target->respondPartially(
                response, override->partBytes, override->delivery == HttpOverride::Delivery::stallAfterPart);
        else
            target->respond(response);
    };
    if (override && override->delayMs > 0)
        QTimer::singleShot(override->delayMs, connection, reply);
    else
        reply();
}

} // namespace Vetron::Tools
