#pragma once

#include "Foundation/Cancellation.h"
#include "Foundation/Models.h"
#include "Foundation/ProtectionState.h"
#include "Platform/ToolPaths.h"
#include "Protection/ReconnectBackoff.h"
#include "Protection/SystemProxy.h"
#include "Protection/TunnelControl.h"
#include "Protection/TunnelError.h"
#include "Protection/TunnelHealth.h"
#include "Protection/TunnelProcess.h"
#include "Protection/TunnelTimings.h"

#include <QCoroTask>
#include <QObject>
#include <QUuid>

#include <functional>
#include <memory>
#include <optional>

namespace Vetron {

namespace Test {
struct TunnelServiceAccess;
}

struct TunnelServiceOptions
{
    ToolPaths tools;
    SystemBackend system = SystemBackend::tools;
    TunnelTimings timings;
    std::function<void(const QString &line)> log; // the system log when empty
};

// Switches protection on and off: the system proxies (through a SystemProxy), the ssh
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

    using Options = TunnelServiceOptions;

    explicit TunnelService(StateCallback stateChanged, Options options = {}, QObject *parent = nullptr);
    ~TunnelService() override;

    QCoro::Task<> enable();
    // True when the user's proxies are back; false when the restore failed (reported as
    // `blocked`) or another switch began meanwhile.
    QCoro::Task<bool> disable();
    QCoro::Task<> systemDidWake();

    // Control requests through the tunnel, with the map key (see TunnelControl).
    QCoro::Task<ProtectionSettings> settings() { return m_control.settings(); }
    QCoro::Task<> save(ProtectionSettings settings) { return m_control.save(std::move(settings)); }
    QCoro::Task<> purgeMap() { return m_control.purgeMap(); }
    QCoro::Task<QList<ProtectedSession>> sessions() { return m_control.sessions(); }
    QCoro::Task<ProtectedSessionDetail> session(QString id) { return m_control.session(std::move(id)); }
    QCoro::Task<> sessionCommand(QString action, QString id, std::optional<QString> title)
    {
        return m_control.sessionCommand(std::move(action), std::move(id), std::move(title));
    }

private:
    // What an operation took when it began. It stays current while the service exists and no
    // switch-on or switch-off has begun since; an operation that is no longer current ends
    // quietly, touching neither the state reports nor ssh.
    struct Generation
    {
        const TunnelService *service;
        std::shared_ptr<CancellationToken> alive;
        quint64 number;

        bool current() const { return !alive->isCancelled() && service->m_generation == number; }
    };
    Generation generation() const { return { this, m_alive, m_generation }; }
    static void throwUnlessCurrent(const Generation &generation);

    // The monitor repairs the connection through the steps below; tests reach the steps that
    // have no behaviour of their own to go through.
    friend class TunnelHealth;
    friend struct Test::TunnelServiceAccess;

    // Stops ssh and starts it again with the forward, proves it with canaries and unlocks the map.
    QCoro::Task<> connect();
    // An ssh exit: reported and, after a back-off, rebuilt while protection is wanted.
    QCoro::Task<> terminated(QUuid launch);

    void report(ProtectionState state, QStringView detail);
    // `protected` is claimed only while the proxy step of the current switch-on has succeeded:
    // before it, or after it failed, the proxies may still send traffic out directly.
    bool proxiesAreOurs() const { return m_proxiesSwitchedIn == m_generation; }
    // Connects again; on failure stops ssh and reports `failureDetail` (a busy port excepted).
    QCoro::Task<> reconnect(QString failureDetail);

    TunnelTimings m_timings;
    SystemProxy *m_proxy;
    TunnelProcess *m_ssh;
    SystemBackend m_system;
    QString m_certutil;
    TunnelCredentials m_credentials;
    TunnelControl m_control { *m_ssh, m_credentials, m_timings };
    TunnelHealth m_health { *this };
    ReconnectBackoff m_backoff { m_timings };
    std::optional<quint64> m_connecting;   // the generation whose connect is in progress
    std::optional<quint64> m_reconnecting; // the generation whose reconnect after an ssh exit runs
    bool m_requested = false;
    quint64 m_generation = 0;                   // advanced by every enable and disable
    std::optional<quint64> m_proxiesSwitchedIn; // the generation whose proxy step succeeded
    StateCallback m_stateChanged;
    std::function<void(const QString &)> m_log;
    // Cancelled when the service goes away: every suspended operation checks it before it
    // touches the service again.
    std::shared_ptr<CancellationToken> m_alive = CancellationToken::create();
};

} // namespace Vetron
