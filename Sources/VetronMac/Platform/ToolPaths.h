#pragma once

#include <QString>

namespace Vetron {

// Absolute paths of the system tools the client drives. The defaults are where macOS keeps
// them; tests and other platforms inject their own set (stand-ins in a directory, say).
// Nothing here is ever read from the environment.
struct ToolPaths {
    QString ssh = QStringLiteral("/usr/bin/ssh");
    QString sshKeygen = QStringLiteral("/usr/bin/ssh-keygen");
    QString openssl = QStringLiteral("/usr/bin/openssl");
    QString security = QStringLiteral("/usr/bin/security");
    QString networksetup = QStringLiteral("/usr/sbin/networksetup");
    QString osascript = QStringLiteral("/usr/bin/osascript");
    QString hdiutil = QStringLiteral("/usr/bin/hdiutil");
    QString installer = QStringLiteral("/usr/sbin/installer");
    QString sh = QStringLiteral("/bin/sh");
    QString kill = QStringLiteral("/bin/kill");
    QString sleep = QStringLiteral("/bin/sleep");
    QString open = QStringLiteral("/usr/bin/open");
};

} // namespace Vetron
