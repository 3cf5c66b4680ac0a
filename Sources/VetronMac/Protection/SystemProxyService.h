#pragma once

#include "Foundation/Cancellation.h"
#include "Foundation/Error.h"
#include "Platform/ToolPaths.h"
#include "Protection/ProxyBackup.h"
#include "Protection/SystemProxy.h"

#include <QCoroTask>
#include <QHash>
#include <QObject>

#include <functional>
#include <memory>
#include <optional>

namespace Vetron {

enum class ProxyErrorCase { noNetworkServices, backupMissing };
QString describe(ProxyErrorCase which);
using ProxyError = CaseError<ProxyErrorCase>;

// Points the web and secure-web proxies of every enabled network service at 127.0.0.1 and the
// tunnel's local port, and puts the user's own settings back. The user's settings are saved once,
// before the first switch, to "proxy-backup.json"; "proxy-owned" marks the switch as ours and
// names the port. Every change is one shell script run once with administrator rights, so the
// user sees at most one password prompt per switch. The two files are the whole state. `enable`
// and `restore` take turns: one that begins while the other waits for the password dialog runs
// after it, so a switch-on's script can never land after the switch-off's restore.
class SystemProxyService : public SystemProxy
{
    Q_OBJECT

public:
    using LogFunction = std::function<void(const QString &line)>;

    // `log` receives the line that names what a restore could not put back exactly; the system
    // log when empty.
    explicit SystemProxyService(ToolPaths tools = {}, QObject *parent = nullptr, LogFunction log = {});
    ~SystemProxyService() override;

    // Does nothing (and asks for no password) when every service already points at `port`
    // and the ownership file names it.
    QCoro::Task<> enable(quint16 port) override;

    // Puts the saved settings back and removes both files; does nothing when neither exists.
    // A saved service that no longer exists is skipped. Without a readable backup, every proxy
    // of an enabled service that points at our port (the ownership file's, else the enrolled
    // configuration's) is switched off instead, and the user's other proxies are left alone.
    // Either way the log gets one line naming what was not restored exactly. The password is
    // asked only when there is something to change. Fails only when a tool run fails; both
    // files then stay.
    QCoro::Task<> restore() override;

    QCoro::Task<QStringList> networkServices();
    QCoro::Task<ProxyEndpoint> endpoint(QString service, bool secure);
    QCoro::Task<QStringList> bypass(QString service);
    QCoro::Task<> privileged(QString script);
    // Both proxies of every service (and, `withBypass`, its bypass list), the tool runs side by side.
    QCoro::Task<QList<ServiceProxyBackup>> readServices(QStringList services, bool withBypass);

    // Key-colon-value lines of a query's output; the key is untrimmed, the value trimmed of
    // blanks and tabs. Lines without a colon are skipped; a repeated key keeps its last value.
    static QHash<QString, QString> dictionary(QStringView text);

    // The lines that put one saved endpoint back; `quotedService` is already shell-quoted. A
    // switched-off proxy that had a server gets its server and port back before it goes off.
    QStringList restoreCommands(
        const QString &quotedService, const ProxyEndpoint &endpoint, bool secure) const;

private:
    // Suspends until every `enable` or `restore` begun earlier has ended; the returned flag is
    // to be cancelled when the caller's own operation ends.
    QCoro::Task<std::shared_ptr<CancellationToken>> takeTurn();
    QCoro::Task<> switchOn(quint16 port);
    QCoro::Task<> putBack();

    // What a restore changes, and the log line's text when that is not the user's settings exactly.
    struct Restoration
    {
        QStringList commands;
        QString note;
    };
    QCoro::Task<Restoration> savedSettingsBack(QList<ServiceProxyBackup> backup);
    // Without a readable backup: our proxies of every enabled service switched off.
    QCoro::Task<Restoration> proxiesOffWithoutBackup(std::optional<quint16> port);
    struct OursOff
    {
        QStringList commands;
        QStringList services; // those with a proxy on our port
    };
    // The commands that switch off each proxy of `services` that points at 127.0.0.1 and `port`.
    QCoro::Task<OursOff> ourProxiesOff(QStringList services, quint16 port);
    QCoro::Task<QString> listing();
    QString networksetupLine(const QString &option, const QString &arguments) const;

    ToolPaths m_tools;
    LogFunction m_log;
    std::shared_ptr<CancellationToken> m_lastTurn; // cancelled once the latest operation has ended
    // Cancelled when the service goes away: a suspended operation checks it before it touches
    // the service again.
    std::shared_ptr<CancellationToken> m_alive = CancellationToken::create();
};

} // namespace Vetron
