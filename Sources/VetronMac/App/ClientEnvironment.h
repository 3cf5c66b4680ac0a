#pragma once

#include "Account/ActivationService.h"
#include "BuildConstants.h"
#include "Foundation/ServerAddresses.h"
#include "Platform/ToolPaths.h"
#include "Protection/TunnelService.h"
#include "Updates/UpdateService.h"

namespace Vetron {

// Where the client's outside world is: the two servers, the system tools and the SSH server's
// pinned host key. Put together once (the build's constants, a developer build's local stack, a
// test's stand-ins) and handed as a whole to every service the model drives.
struct ClientEnvironment
{
    ServerAddresses servers;
    ToolPaths tools;
    // Tools unless the platform's own settings are meant: tests and stand-ins never reach the
    // desktop of whoever runs them.
    SystemBackend system = SystemBackend::tools;
    QString pinnedHostKey = QString::fromUtf8(BuildConstants::sshHostKey); // "ssh-ed25519 AAAA…"
    // The client a Linux desktop's update installs and relaunches; this executable when empty.
    QString installedClient;

    // What the installed client changes: macOS through its tools, or a Linux desktop's own
    // settings.
    static constexpr SystemBackend platformBackend()
    {
#ifdef Q_OS_MACOS
        return SystemBackend::tools;
#else
        return SystemBackend::desktop;
#endif
    }

    ActivationService::Options activation() const
    {
        ActivationService::Options options;
        options.servers = servers;
        options.tools = tools;
        options.pinnedHostKey = pinnedHostKey;
        options.system = system;
        return options;
    }

    UpdateService::Options updates() const
    {
        UpdateService::Options options;
        options.servers = servers;
        options.tools = tools;
        options.system = system;
        options.installedClient = installedClient;
        return options;
    }

    TunnelService::Options tunnel(TunnelTimings timings, std::function<void(const QString &line)> log) const
    {
        TunnelService::Options options;
        options.tools = tools;
        options.system = system;
        options.timings = timings;
        options.log = std::move(log);
        return options;
    }
};

} // namespace Vetron
