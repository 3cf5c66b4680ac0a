#pragma once

#include <QString>
#include <QStringList>

// The client's per-user data directory and the fixed files in it.

namespace Vetron::ClientPaths {

// The data directory: the platform's per-user application data location with "Vetron"
// appended. Computed once, at first use, and the same for the whole run.
const QString &root();

const QString &config();             // "config.json": the tunnel configuration
const QString &privateKey();         // "anontun": the device's OpenSSH private key (0600)
const QString &publicKey();          // "anontun.pub"
const QString &mapKey();             // "anon-map.key": the map key, 64 lowercase hex characters
const QString &knownHosts();         // "known_hosts": the pinned host key of the SSH server
const QString &serverCA();           // "server-ca.pem": the protection server's certificate authority
const QString &proxyBackup();        // "proxy-backup.json": the user's own proxy settings
const QString &proxyOwned();         // "proxy-owned": marker that the client has taken over the proxies
const QString &desktopProxyBackup(); // "desktop-proxy-backup.json": the Linux desktop's own proxy settings
const QString &desktopProxyOwned();  // "desktop-proxy-owned": the same marker for the desktop's settings
const QString &sshPid();             // "ssh.pid": the process id of the ssh the client started last
const QString &instanceLock();       // "vetron.lock": locked by the running client for its whole life
const QString &instanceSocket();     // "vetron.socket": where the running client hears later starts

// The seven files that enrollment installs together, in the order it installs them.
const QStringList &enrollmentSet();

// The six files that a completely enrolled Mac must have, in the order they are checked.
const QStringList &coreSet();

// Creates `root` (and any missing parents) with permissions 0700. A directory that already
// exists is accepted as it is. Throws FileError with the system's reason.
void prepare();

// Creates `directory` with permissions 0700 (its missing parents with the usual ones). An
// existing directory is left as it is when `existingIsFine`, and is an error otherwise.
// Throws FileError with the system's reason.
void createPrivateDirectory(const QString &directory, bool existingIsFine);

// Whether `directory` holds a complete enrollment: every file of the core set present and
// non-empty, and a configuration with host, user, three ports of at least 1 and an unlock
// host. Never fails; every problem is `false`. Nothing is cached.
bool hasCompleteActivation(const QString &directory);

} // namespace Vetron::ClientPaths
