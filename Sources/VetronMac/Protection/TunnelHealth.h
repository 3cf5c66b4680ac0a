#pragma once

#include "Foundation/Cancellation.h"

#include <QCoroTask>

#include <memory>

namespace Vetron {

class TunnelService;

// The checks that the tunnel works, the health monitor and the recovery after sleep. Belongs to
// one TunnelService, whose connection it judges and repairs through the service's own steps.
class TunnelHealth
{
public:
    explicit TunnelHealth(TunnelService &service);
    ~TunnelHealth();

    // Whether the status pseudo-host echoes a fresh nonce through the forward on `port`.
    QCoro::Task<bool> canary(quint16 port);
    QCoro::Task<bool> mapIsUnlocked(quint16 port);

    // Starts the monitor unless it runs; it wakes every monitor interval until `stopMonitor`.
    void startMonitor();
    void stopMonitor();
    bool monitorRuns() const { return m_monitorToken != nullptr; }
    // How many times a monitor has woken, whether or not it had anything to check.
    quint64 passes() const { return m_passes; }

    // After sleep: a tunnel whose canary still answers is left alone, any other is rebuilt.
    QCoro::Task<> systemDidWake();

private:
    QCoro::Task<> monitor(std::shared_ptr<CancellationToken> token);

    TunnelService &m_service;
    std::shared_ptr<CancellationToken> m_monitorToken;
    quint64 m_passes = 0;
};

} // namespace Vetron
