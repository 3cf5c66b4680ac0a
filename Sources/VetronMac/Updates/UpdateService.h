#pragma once

#include "BuildConstants.h"
#include "Foundation/Cancellation.h"
#include "Foundation/ServerAddresses.h"
#include "Platform/ToolPaths.h"
#include "Updates/MacReleaseManifest.h"
#include "Updates/ReleaseChecks.h"
#include "Updates/UpdateInstallOutcome.h"
#include "Updates/UpdateScreenState.h"

#include <QCoroTask>

#include <chrono>
#include <memory>

// Self-update from signed releases on the account portal: the manifest check with its
// signature and version rule, then download, digest check, installation for the current user
// and the relaunch into the new bundle.
namespace Vetron::UpdateService {

struct Options
{
    ServerAddresses servers;
    ToolPaths tools;
    QString releaseKey = QString::fromUtf8(BuildConstants::releasePublicKey); // base64 PKCS#1 DER, in lines
    std::chrono::milliseconds timeout { 20000 };
    // The release image may be hundreds of megabytes: its download may take this long in all,
    // while `timeout` still bounds any silence.
    std::chrono::milliseconds downloadDeadline { std::chrono::minutes(30) };
};

// available, failed, idle (also when `cancel` fires) or current. Never fails.
QCoro::Task<UpdateScreenState> check(
    QString current, Options options = {}, std::shared_ptr<CancellationToken> cancel = nullptr);

// Downloads, checks, mounts and installs a verified release. Never fails.
QCoro::Task<UpdateInstallOutcome> install(
    MacReleaseManifest manifest, Options options = {}, std::shared_ptr<CancellationToken> cancel = nullptr);

// The script that waits for process `pid` to end and then opens `bundle`.
QString relaunchScript(qint64 pid, const QString &bundle, const ToolPaths &tools = {});

// Starts the relaunch script for this process, detached; returns at once.
void scheduleRelaunch(const QString &bundle, const ToolPaths &tools = {});

} // namespace Vetron::UpdateService
