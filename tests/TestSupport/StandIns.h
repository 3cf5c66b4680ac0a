#pragma once

#include "Platform/ToolPaths.h"

#include <QJsonArray>
#include <QJsonObject>
#include <QTemporaryDir>

namespace Vetron::Test {

// The stand-ins for the macOS tools and the state directory they share with one test. Creating
// it points VETRON_STANDIN_STATE (inherited by every child) at a fresh directory.
class StandIns
{
public:
    StandIns();

    // The system's own tools, with the macOS-only ones replaced by the stand-ins.
    ToolPaths tools() const;

    // networksetup's services: [{"name","enabled","web","secure","bypass"}, …].
    void setServices(const QJsonArray &services) const;
    QJsonArray services() const;
    QJsonObject serviceNamed(const QString &name) const;

    // Each call's arguments of one stand-in ("networksetup", "security", …), oldest first.
    QList<QStringList> calls(const QString &tool) const;
    // Each script run through the administrator prompt, oldest first.
    QStringList privilegedScripts() const;

    void setPasswordRefused(bool refused) const;
    // While held, the password dialog stays open: osascript waits before it runs its script.
    void setPasswordDialogHeld(bool held) const;
    // While held, an installer call is under way: it waits, logged, before it installs.
    void setInstallerHeld(bool held) const;
    // Makes every call of `tool` with one of `options` (its first argument) fail.
    void setFailingOptions(const QString &tool, const QStringList &options) const;

    // security's state: {"certificates":[{keychain, sha1, pem, trust}]}.
    QJsonObject securityState() const;

    static QJsonObject endpoint(bool enabled, const QString &server = {}, int port = 0);
    static QJsonObject service(const QString &name, bool enabled = true,
        const QJsonObject &web = endpoint(false), const QJsonObject &secure = endpoint(false),
        const QStringList &bypass = {});

private:
    QTemporaryDir m_state;
};

} // namespace Vetron::Test
