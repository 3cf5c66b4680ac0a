#pragma once

#include "Foundation/JsonCodec.h"

#include <QString>
#include <QStringList>

#include <optional>

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

// The port the ownership file at `path` names, or an empty text when it cannot be read.
QString ownershipPort(const QString &path);

// The port our proxies point at when a backup cannot tell what to put back: the one the
// ownership file at `path` names, else the enrolled configuration's local port.
std::optional<quint16> ourProxyPort(const QString &path);

} // namespace Vetron
