#include "Protection/ProxyOwnership.h"

#include "Foundation/ClientPaths.h"
#include "Foundation/Models.h"

#include <QFile>

namespace Vetron {

QString ownershipPort(const QString &path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return {};
    return QString::fromUtf8(file.readAll()).trimmed();
}

std::optional<quint16> ourProxyPort(const QString &path)
{
    const auto portNumber = [](qint64 number) {
        return number >= 1 && number <= 65535 ? std::optional(quint16(number)) : std::nullopt;
    };
    bool numeric = false;
    const qint64 owned = ownershipPort(path).toLongLong(&numeric);
    if (const std::optional<quint16> port = numeric ? portNumber(owned) : std::nullopt)
        return port;
    QFile file(ClientPaths::config());
    if (!file.open(QIODevice::ReadOnly))
        return std::nullopt;
    try {
        return portNumber(decodeJson<ClientConfig>(file.readAll()).localPort);
    } catch (const DecodingError &) {
        return std::nullopt;
    }
}

} // namespace Vetron
