#pragma once

#include "BuildConstants.h"
#include "Foundation/Cancellation.h"
#include "Foundation/ServerAddresses.h"
#include "Platform/SystemBackend.h"
#include "Platform/ToolPaths.h"
#include "Updates/MacReleaseManifest.h"
#include "Updates/ReleaseChecks.h"
#include "Updates/UpdateInstallOutcome.h"
#include "Updates/UpdateScreenState.h"

#include <QCoroTask>

#include <chrono>
#include <memory>

// Self-update from signed releases on the account portal: the manifest check with its
// signature and version rule, then download, digest check, installation and the relaunch into
// the new client. On macOS (and against the stand-ins of its tools) the image's package is
// installed for the current user; on a Linux desktop the Debian package goes to the system's
// package installer through the desktop's authentication prompt, or, where there is none, its
// folder is opened with a word on how to install it.
namespace Vetron::UpdateService {

struct Options
{
    ServerAddresses servers;
    ToolPaths tools;
    SystemBackend system = SystemBackend::tools;
    QString releaseKey = QString::fromUtf8(BuildConstants::releasePublicKey); // base64 PKCS#1 DER, in lines
    std::chrono::milliseconds timeout { 20000 };
    // The release image may be hundreds of megabytes: its download may take this long in all,
    // while `timeout` still bounds any silence.
    std::chrono::milliseconds downloadDeadline { std::chrono::minutes(30) };
    // On a Linux desktop, the executable the package puts in place, which the relaunch runs;
    // this process's own when empty (the package replaces it where it stands).
    QString installedClient {};
};

// available, failed, idle (also when `cancel` fires) or current. Never fails.
QCoro::Task<UpdateScreenState> check(
    QString current, Options options = {}, std::shared_ptr<CancellationToken> cancel = nullptr);

// Downloads, checks and installs a verified release. Never fails.
QCoro::Task<UpdateInstallOutcome> install(
    MacReleaseManifest manifest, Options options = {}, std::shared_ptr<CancellationToken> cancel = nullptr);

// The script that waits for process `pid` to end and then opens `bundle` (macOS), or runs the
// executable `bundle` (a Linux desktop).
QString relaunchScript(qint64 pid, const QString &bundle, const ToolPaths &tools = {},
    SystemBackend system = SystemBackend::tools);

// Starts the relaunch script for this process, detached; returns at once.
void scheduleRelaunch(
    const QString &bundle, const ToolPaths &tools = {}, SystemBackend system = SystemBackend::tools);

// What pkexec's exit status says: the user dismissed the prompt, or there is no prompt to show.
inline constexpr int promptDismissed = 126;
inline constexpr int noPrompt = 127;

} // namespace Vetron::UpdateService
