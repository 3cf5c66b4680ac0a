#pragma once

#include "Foundation/Cancellation.h"
#include "Foundation/Error.h"
#include "Platform/ToolPaths.h"
#include "Protection/ProxyBackup.h"

#include <QCoroTask>
#include <QHash>
#include <QObject>

#include <memory>

namespace Vetron {

class ProxyError : public Error
{
public:
    enum class Case { noNetworkServices, backupMissing };

    explicit ProxyError(Case which);

    Case which() const noexcept { return m_case; }

private:
    Case m_case;
};

// Points the web and secure-web proxies of every enabled network service at 127.0.0.1 and the
// tunnel's local port, and puts the user's own settings back. The user's settings are saved once,
// before the first switch, to "proxy-backup.json"; "proxy-owned" marks the switch as ours and
// names the port. Every change is one shell script run once with administrator rights, so the
// user sees one password prompt per switch. The two files are the whole state. `enable` and
// `restore` take turns: one that begins while the other waits for the password dialog runs after
// it, so a switch-on's script can never land after the switch-off's restore.
class SystemProxyService : public QObject
{
    Q_OBJECT

public:
    explicit SystemProxyService(ToolPaths tools = {}, QObject *parent = nullptr);
    ~SystemProxyService() override;

    // Does nothing (and asks for no password) when every service already points at `port`
    // and the ownership file names it.
    QCoro::Task<> enable(quint16 port);

    // Does nothing when neither file exists; fails with backupMissing when the backup is gone.
    QCoro::Task<> restore();

    QCoro::Task<QStringList> networkServices();
    QCoro::Task<ProxyEndpoint> endpoint(QString service, bool secure);
    QCoro::Task<QStringList> bypass(QString service);
    QCoro::Task<> privileged(QString script);
    // Both proxies of every service (and, `withBypass`, its bypass list), the tool runs side by side.
    QCoro::Task<QList<ServiceProxyBackup>> readServices(QStringList services, bool withBypass);

    // Key-colon-value lines of a query's output; the key is untrimmed, the value trimmed of
    // blanks and tabs. Lines without a colon are skipped; a repeated key keeps its last value.
    static QHash<QString, QString> dictionary(QStringView text);

    // Wraps `text` in single quotes for /bin/sh, each inner quote written as '\''.
    static QString shellQuoted(const QString &text);

    // The lines that put one saved endpoint back; `quotedService` is already shell-quoted. A
    // switched-off proxy that had a server gets its server and port back before it goes off.
    QStringList restoreCommands(const QString &quotedService, const ProxyEndpoint &endpoint, bool secure) const;

    // The AppleScript that runs `script` through the administrator password dialog.
    static QString appleScriptFor(const QString &script);

private:
    // Suspends until every `enable` or `restore` begun earlier has ended; the returned flag is
    // to be cancelled when the caller's own operation ends.
    QCoro::Task<std::shared_ptr<CancellationToken>> takeTurn();
    QCoro::Task<> switchOn(quint16 port);
    QCoro::Task<> putBack();
    QString networksetupLine(const QString &option, const QString &arguments) const;

    ToolPaths m_tools;
    std::shared_ptr<CancellationToken> m_lastTurn; // cancelled once the latest operation has ended
    // Cancelled when the service goes away: a suspended operation checks it before it touches
    // the service again.
    std::shared_ptr<CancellationToken> m_alive = CancellationToken::create();
};

} // namespace Vetron
