#pragma once

#include "Foundation/JsonCodec.h"

#include <QString>
#include <QStringList>

namespace Vetron {

// One proxy setting of one network service.
struct ProxyEndpoint
{
    bool enabled = false;
    QString server;  // empty when none
    qint64 port = 0; // 0 when none or unreadable

    static ProxyEndpoint decode(const JsonReader &reader);
    QJsonObject toJson() const;

    friend bool operator==(const ProxyEndpoint &, const ProxyEndpoint &) = default;
};

// The saved proxy settings of one network service, as kept in "proxy-backup.json".
struct ServiceProxyBackup
{
    QString name;
    ProxyEndpoint web;
    ProxyEndpoint secure;
    QStringList bypass;

    static ServiceProxyBackup decode(const JsonReader &reader);
    QJsonObject toJson() const;

    friend bool operator==(const ServiceProxyBackup &, const ServiceProxyBackup &) = default;
};

} // namespace Vetron
