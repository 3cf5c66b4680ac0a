#include "Protection/ProxyBackup.h"

#include "Foundation/ClientPaths.h"
#include "Foundation/Models.h"

#include <QFile>

using namespace Qt::StringLiterals;

namespace Vetron {

ProxyEndpoint ProxyEndpoint::decode(const JsonReader &r)
{
    return {
        .enabled = r.required<bool>(u"enabled"),
        .server = r.required<QString>(u"server"),
        .port = r.required<qint64>(u"port"),
    };
}

QJsonObject ProxyEndpoint::toJson() const
{
    return JsonWriter().put(u"enabled"_s, enabled).put(u"server"_s, server).put(u"port"_s, port).object();
}

ServiceProxyBackup ServiceProxyBackup::decode(const JsonReader &r)
{
    return {
        .name = r.required<QString>(u"name"),
        .web = r.required<ProxyEndpoint>(u"web"),
        .secure = r.required<ProxyEndpoint>(u"secure"),
        .bypass = r.required<QStringList>(u"bypass"),
    };
}

QJsonObject ServiceProxyBackup::toJson() const
{
    return JsonWriter()
        .put(u"name"_s, name)
        .put(u"web"_s, web)
        .put(u"secure"_s, secure)
        .put(u"bypass"_s, bypass)
        .object();
}

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
