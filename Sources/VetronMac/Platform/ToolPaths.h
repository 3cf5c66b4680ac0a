#pragma once

#include <QString>

#include <initializer_list>

namespace Vetron {

// Absolute paths of the system tools the client drives. The defaults are where macOS keeps
// them; tests and other platforms inject their own set (stand-ins in a directory, say).
// Nothing here is ever read from the environment.
struct ToolPaths
{
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
    // A Linux desktop's: Plasma's settings files, NSS's certificate stores of the browsers.
    QString kwriteconfig = QStringLiteral("/usr/bin/kwriteconfig5");
    QString kreadconfig = QStringLiteral("/usr/bin/kreadconfig5");
    QString certutil = QStringLiteral("/usr/bin/certutil");
    // A Linux desktop's installation of an update: the authentication prompt that runs the
    // package installer as the administrator, and the opener of a folder.
    QString pkexec = QStringLiteral("/usr/bin/pkexec");
    QString aptGet = QStringLiteral("/usr/bin/apt-get");
    QString xdgOpen = QStringLiteral("/usr/bin/xdg-open");

    // The system's own tools, with the macOS-only ones (security, networksetup, osascript,
    // hdiutil, installer, open) and those that need an administrator or a desktop (pkexec,
    // xdg-open) taken from `folder` under their own names: stand-ins that speak the same
    // interfaces where the system has none.
    static ToolPaths withStandIns(const QString &folder)
    {
        ToolPaths paths;
        for (QString *tool : { &paths.security, &paths.networksetup, &paths.osascript, &paths.hdiutil,
                 &paths.installer, &paths.open, &paths.pkexec, &paths.xdgOpen })
            *tool = folder + u'/' + tool->section(u'/', -1);
        return paths;
    }
};

} // namespace Vetron
