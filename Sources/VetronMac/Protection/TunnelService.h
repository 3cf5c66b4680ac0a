#pragma once

#include "Foundation/Cancellation.h"
#include "Foundation/Models.h"
#include "Foundation/ProtectionState.h"
#include "Foundation/WebExchange.h"
#include "Platform/ToolPaths.h"
#include "Protection/SystemProxyService.h"
#include "Protection/TunnelError.h"

#include <QCoroTask>
#include <QObject>
#include <QPointer>
#include <QProcess>
#include <QUrl>
#include <QUuid>

#include <chrono>
#include <functional>
#include <memory>
#include <optional>

namespace Vetron {

// Intervals and limits of the tunnel. The defaults are the product's; tests shorten them.
struct TunnelTimings {
    std::chrono::milliseconds canaryInterval { 500 };
    int canaryTries = 30;
    std::chrono::milliseconds canaryTimeout { 2000 };
    std::chrono::milliseconds mapStateTimeout { 3000 };
    std::chrono::milliseconds clientTimeout { 8000 };  // client limit of unlock and control requests
    std::chrono::milliseconds requestLimit { 60000 }; // their own per-request limit
    std::chrono::milliseconds monitorInterval { 10000 };
    std::chrono::milliseconds portBusyRetry { 30000 };
    std::chrono::milliseconds stopCheckInterval { 100 };
    int stopChecks = 30;
    double initialReconnectDelay = 2.0; // seconds
    double maxReconnectDelay = 60.0;    // seconds
};

// Switches protection on and off: the system proxies (through SystemProxyService), the ssh
// child with its local forward, the proof that the server answers through it, the map unlock,
// the health monitor and recovery after faults and sleep, and the control requests that travel
// through the tunnel. Fail-closed: nothing here points the proxies anywhere but the local port,
// and only `disable` restores them. Every outcome is reported through the one state callback;
// `enable`, `disable` and `systemDidWake` never fail towards their caller.
class TunnelService : public QObject
{
    Q_OBJECT

public:
    using StateCallback = std::function<void(ProtectionState state, const QString &detail)>;

    struct Options {
        ToolPaths tools;
        TunnelTimings timings;
        std::function<void(const QString &line)> log; // the system log when empty
    };

    explicit TunnelService(StateCallback stateChanged, Options options = {}, QObject *parent = nullptr);
    ~TunnelService() override;

    QCoro::Task<> enable();
    // True when the user's proxies are back; false when the restore failed (reported as
    // `blocked`) or another switch began meanwhile.
    QCoro::Task<bool> disable();
    QCoro::Task<> systemDidWake();

    // Control requests through the tunnel. They carry the map key, so they leave only through
    // this client's own ssh once a canary has answered through it; otherwise they fail at once,
    // sending nothing, as a refused connection does. They fail with TunnelError (notActivated
    // before anything is sent, serverUnavailable for any status but 200), NetworkError or
    // DecodingError.
    QCoro::Task<ProtectionSettings> settings();
    QCoro::Task<> save(ProtectionSettings settings);
    QCoro::Task<> purgeMap();
    QCoro::Task<QList<ProtectedSession>> sessions();
    QCoro::Task<ProtectedSessionDetail> session(QString id);
    QCoro::Task<> sessionCommand(QString action, QString id, std::optional<QString> title);
    QCoro::Task<WebAnswer> authorizedRequest(QUrl url);

    // The steps the operations above are made of.
    QCoro::Task<> connect();
    QCoro::Task<> terminated(QUuid id);
    QCoro::Task<> stopProcess();
    QCoro::Task<bool> canary(quint16 port);
    // Suspends until the local forward of `process` listens, at most one canary interval, or
    // until that ssh has stopped.
    QCoro::Task<> awaitForward(quint16 port, QPointer<QProcess> process);
    QCoro::Task<bool> mapIsUnlocked(quint16 port);
    // Sends the map key, so it goes only where the control requests may go.
    QCoro::Task<> unlock(ClientConfig config);
    void startMonitor();

    // The 22 arguments of the ssh child for `config`.
    static QStringList sshArguments(const ClientConfig &config);

    // The next reconnect wait: the current delay with ±20 % jitter; the delay then doubles up
    // to its maximum.
    std::chrono::milliseconds takeReconnectWait();

    SystemProxyService &proxy() { return *m_proxy; }
    bool isRequested() const { return m_requested; }
    bool hasMonitor() const { return m_monitorToken != nullptr; }
    bool isProcessRunning() const { return m_process && m_process->state() == QProcess::Running; }
    qint64 processId() const { return m_process ? m_process->processId() : 0; }
    double reconnectDelay() const { return m_reconnectDelay; }
    const QString &lastSSHError() const { return m_lastSSHError; }
    const std::optional<ClientConfig> &config() const { return m_config; }

private:
    // What an operation took when it began. It stays current while the service exists and no
    // switch-on or switch-off has begun since; an operation that is no longer current ends
    // quietly, touching neither the state reports nor ssh.
    struct Generation {
        const TunnelService *service;
        std::shared_ptr<CancellationToken> alive;
        quint64 number;

        bool current() const { return !alive->isCancelled() && service->m_generation == number; }
    };
    Generation generation() const { return { this, m_alive, m_generation }; }
    static void throwUnlessCurrent(const Generation &generation);

    void report(ProtectionState state, QStringView detail);
    // `protected` is claimed only while the proxy step of the current switch-on has succeeded:
    // before it, or after it failed, the proxies may still send traffic out directly.
    bool proxiesAreOurs() const { return m_proxiesSwitchedIn == m_generation; }
    // Throws the refused connection's NetworkError unless the ssh running now is the one through
    // which a canary has answered on `port`: only then does no other program listen there.
    void requireOwnForward(quint16 port) const;
    void readStandardError(QProcess *process);
    void releaseProcess(QProcess *process);
    // Polls `ended` at the stop intervals until it holds, the checks run out or the service goes.
    QCoro::Task<> waitUntil(std::function<bool()> ended);
    // Ends an ssh that an earlier run of the client left behind on the local port: the process
    // named by the pid file, if its command line is exactly the one `config` launches.
    QCoro::Task<> stopLeftoverSsh(ClientConfig config);
    QCoro::Task<> monitor(std::shared_ptr<CancellationToken> token);
    // Connects again; on failure stops ssh and reports `failureDetail` (a busy port excepted).
    QCoro::Task<> reconnect(QString failureDetail);
    QCoro::Task<WebAnswer> sendAuthorized(QUrl url, QByteArray verb, QByteArray body);
    QCoro::Task<WebAnswer> sendAuthorizedOk(QUrl url, QByteArray verb = "GET", QByteArray body = {});

    SystemProxyService *m_proxy;
    QPointer<QProcess> m_process;
    std::optional<quint64> m_connecting;   // the generation whose connect is in progress
    std::optional<quint64> m_reconnecting; // the generation whose reconnect after an ssh exit runs
    QUuid m_connectionID = QUuid::createUuid();
    bool m_requested = false;
    quint64 m_generation = 0; // advanced by every enable and disable
    std::optional<quint64> m_proxiesSwitchedIn; // the generation whose proxy step succeeded
    QUuid m_provenLaunch;                       // the ssh launch a canary has answered through
    quint16 m_provenPort = 0;                   // and the port it answered on
    std::optional<ClientConfig> m_config;
    QString m_mapKey;
    std::shared_ptr<CancellationToken> m_monitorToken;
    StateCallback m_stateChanged;
    double m_reconnectDelay;
    QString m_lastSSHError;
    QMetaObject::Connection m_stderrReader;

    ToolPaths m_tools;
    TunnelTimings m_timings;
    std::function<void(const QString &)> m_log;
    // Cancelled when the service goes away: every suspended operation checks it before it
    // touches the service again.
    std::shared_ptr<CancellationToken> m_alive = CancellationToken::create();
};

} // namespace Vetron
