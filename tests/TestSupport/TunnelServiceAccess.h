#pragma once

#include "Protection/TunnelService.h"

namespace Vetron::Test {

// The steps of a TunnelService that tests drive or watch directly: a connect of its own while
// another runs, the ssh stopped behind the service's back, what is running meanwhile, and the
// monitor passes and recoveries whose end proves time has passed.
struct TunnelServiceAccess
{
    static QCoro::Task<> connect(TunnelService &service) { return service.connect(); }
    static QCoro::Task<> stopSsh(TunnelService &service) { return service.m_ssh->stop(); }
    static bool isRequested(const TunnelService &service) { return service.m_requested; }
    static bool sshRuns(const TunnelService &service) { return service.m_ssh->isRunning(); }
    static qint64 sshProcessId(const TunnelService &service) { return service.m_ssh->processId(); }
    static quint64 monitorPasses(const TunnelService &service) { return service.m_health.passes(); }
    static bool monitorRuns(const TunnelService &service) { return service.m_health.monitorRuns(); }
    // Whether the recovery after an ssh exit is still under way (its back-off included).
    static bool isReconnecting(const TunnelService &service) { return service.m_reconnecting.has_value(); }
};

} // namespace Vetron::Test
