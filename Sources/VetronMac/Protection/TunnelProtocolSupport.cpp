#include "Protection/TunnelProtocolSupport.h"

#include <QJsonDocument>
#include <QJsonObject>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

using namespace Qt::StringLiterals;

namespace Vetron::TunnelProtocolSupport {
namespace {

// The boolean under `key` of a JSON object body, if there is one.
std::optional<bool> booleanMember(const QByteArray &body, QLatin1StringView key)
{
    const QJsonValue value = QJsonDocument::fromJson(body).object().value(key);
    if (!value.isBool())
        return std::nullopt;
    return value.toBool();
}

} // namespace

bool localPortIsBusy(quint16 port)
{
    const int fd = ::socket(AF_INET, SOCK_STREAM, 0);
    if (fd < 0)
        return false;
    const int on = 1;
    ::setsockopt(fd, SOL_SOCKET, SO_REUSEADDR, &on, sizeof on);
    sockaddr_in address {};
    address.sin_family = AF_INET;
    address.sin_port = htons(port);
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    const bool busy = ::bind(fd, reinterpret_cast<const sockaddr *>(&address), sizeof address) != 0;
    ::close(fd);
    return busy;
}

bool acceptsUnlock(int status, const QByteArray &body)
{
    if (status < 300)
        return true;
    return booleanMember(body, "unlocked"_L1).value_or(false);
}

bool mapIsUnlocked(const QByteArray &body)
{
    return booleanMember(body, "map_unlocked"_L1).value_or(false);
}

} // namespace Vetron::TunnelProtocolSupport
