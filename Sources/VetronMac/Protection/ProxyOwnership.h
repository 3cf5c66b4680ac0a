#pragma once

#include <QString>

#include <optional>

// The ownership file that marks the system proxies as switched by the client, and the port it
// names.
namespace Vetron {

// The port the ownership file at `path` names, or an empty text when it cannot be read.
QString ownershipPort(const QString &path);

// The port our proxies point at when a backup cannot tell what to put back: the one the
// ownership file at `path` names, else the enrolled configuration's local port.
std::optional<quint16> ourProxyPort(const QString &path);

} // namespace Vetron
