#pragma once

#include <QByteArray>

// Pure helpers of the tunnel: the local port check and the parsers of the server's answers.
namespace Vetron::TunnelProtocolSupport {

// Whether 127.0.0.1:`port` cannot be bound (with address reuse), i.e. another program holds it.
// A socket that cannot even be opened counts as free.
bool localPortIsBusy(quint16 port);

// Whether an unlock answer accepts the key: any status below 300; otherwise only a JSON object
// whose "unlocked" is the boolean true.
bool acceptsUnlock(int status, const QByteArray &body);

// Whether a status answer reports the map unlocked: a JSON object whose "map_unlocked" is the
// boolean true. Anything else counts as locked.
bool mapIsUnlocked(const QByteArray &body);

} // namespace Vetron::TunnelProtocolSupport
