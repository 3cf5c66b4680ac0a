#include "Protection/ProxyBackup.h"

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

} // namespace Vetron
