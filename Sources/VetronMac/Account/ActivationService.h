#pragma once

#include "BuildConstants.h"
#include "Foundation/ServerAddresses.h"
#include "Platform/SystemBackend.h"
#include "Platform/ToolPaths.h"

#include <QCoroTask>
#include <QString>

// Enrols this Mac with a one-time key from the user's web account: a key pair of its own, the
// tunnel configuration, the server's CA trusted in the login keychain (on a Linux desktop, in the
// browsers' certificate stores), the pinned SSH host key, a fresh map key and the device token.
// All or nothing: files are built in a private scratch directory and moved into place only after
// the CA is trusted; a later failure takes the moved files, the CA and the token away again.
namespace Vetron::ActivationService {

struct Options
{
    ServerAddresses servers;
    ToolPaths tools;
    QString pinnedHostKey = QString::fromUtf8(BuildConstants::sshHostKey); // "ssh-ed25519 AAAA…"
    SystemBackend system = SystemBackend::tools;
};

// Throws ActivationError, ProcessError for a failing tool, or the platform's file, decoding or
// network error, unchanged.
QCoro::Task<> activate(QString code, Options options = {});

// The number of characters a person sees in `text` (grapheme clusters, not code units).
qsizetype perceivedLength(const QString &text);

// `byteCount` bytes from the secure random source as lowercase hex; ActivationError::randomFailure
// when the source fails.
QString randomHex(int byteCount);

// The known_hosts line that pins `hostKey` for `host` at `port`.
QString knownHostsLine(const QString &host, qint64 port, const QString &hostKey);

} // namespace Vetron::ActivationService
