#pragma once

#include "App/AppModel.h"
#include "Protection/TunnelService.h"
#include "ProtectionServer.h"
#include "SshServer.h"
#include "TestSupport/StandIns.h"
#include "TestSupport/TunnelServiceAccess.h"

#include <QList>
#include <QString>

#include <memory>

namespace Vetron::Test {

// Everything a tunnel needs, for real: the stand-in proxy tools, a protection server, an sshd
// that forwards to it, and an enrolled data directory pointing at that sshd. The data
// directory is ClientPaths::root(), so a test process sets XDG_DATA_HOME before its first use.
class TunnelFixture
{
public:
    struct Report
    {
        ProtectionState state;
        QString detail;
    };

    static constexpr char mapKey[] = "0123456789abcdef0123456789abcdef0123456789abcdef0123456789abcdef";
    static constexpr char unlockHost[] = "unlock.vetron.test";

    TunnelFixture();
    ~TunnelFixture();

    // Fast intervals for tests; a test may change them before makeService().
    static TunnelTimings fastTimings();
    // A session as the protection server keeps it, `mapping` being its saved replacements.
    static QJsonObject session(const QString &id, const QString &title, const QJsonArray &mapping = {});

    // Starts the servers and writes the data directory; false with a reason in `error()`.
    bool start();
    TunnelService &makeService(TunnelTimings timings = fastTimings());
    // What makeService builds a service with, for owners that build their own.
    TunnelService::Options serviceOptions(TunnelTimings timings = fastTimings());
    // Points a model's tools at the stand-ins and gives its tunnel `timings` and this fixture's log.
    void prepare(AppModelOptions &options, TunnelTimings timings = fastTimings());
    // The tunnel service a model owns, for a test that drives it below the model.
    static TunnelService &tunnelOf(AppModel &model);

    TunnelService &service() { return *m_service; }
    StandIns &standIns() { return m_standIns; }
    Tools::ProtectionServer &server() { return m_server; }
    LocalStack::SshServer &sshd() { return *m_sshd; }
    quint16 localPort() const { return m_localPort; }
    const QString &error() const { return m_error; }

    const QList<Report> &reports() const { return m_reports; }
    QStringList logLines() const { return m_log; }
    void clearReports() { m_reports.clear(); }

    // Runs the event loop until a report with `state` (and, when given, `detail`) arrives.
    bool waitForReport(ProtectionState state, const QString &detail = {}, int timeoutMs = 20000);
    // Whether every enabled network service points at 127.0.0.1 and the local port.
    bool proxiesPointAtTunnel() const;

private:
    StandIns m_standIns;
    Tools::ProtectionServer m_server;
    std::unique_ptr<LocalStack::SshServer> m_sshd;
    std::unique_ptr<TunnelService> m_service;
    quint16 m_localPort = 0;
    QList<Report> m_reports;
    QStringList m_log;
    QString m_error;
};

} // namespace Vetron::Test
