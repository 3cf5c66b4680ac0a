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
        if (override && override->status != 0)
            target->respond(HttpResponse::raw(override->status, override->body));
        else
            target->respond(usual());
    };
    if (override && override->delayMs > 0)
        QTimer::singleShot(override->delayMs, connection, reply);
    else
        reply();
}

} // namespace Vetron::Tools
