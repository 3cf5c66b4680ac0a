#include "TestSupport/TunnelFixture.h"

#include "Foundation/ClientPaths.h"
#include "TestSupport/AwaitTask.h"
#include "TestSupport/TestProfile.h"

#include <QDir>
#include <QTest>

using namespace Qt::StringLiterals;
using namespace std::chrono_literals;

namespace Vetron::Test {

TunnelFixture::TunnelFixture()
{
    removeTemporaryTree(ClientPaths::root());
    m_standIns.setServices({
        StandIns::service(u"Wi-Fi"_s, true, StandIns::endpoint(true, u"corp.example"_s, 8080),
            StandIns::endpoint(false), { u"*.local"_s }),
        StandIns::service(u"Ethernet"_s),
    });
    m_server.setMapKey(QString::fromLatin1(mapKey));
    m_server.setUnlockHost(QString::fromLatin1(unlockHost));
}

TunnelFixture::~TunnelFixture()
{
    // Switch off the way the user does, so that neither the monitor nor ssh outlives the test.
    if (m_service)
        awaitTask(m_service->disable());
    m_service.reset();
    // Let the service's suspended operations (the monitor's sleep, a pending request) see that
    // it is gone and finish, so no coroutine outlives the test.
    QTest::qWait(100);
    m_sshd.reset();
    removeTemporaryTree(ClientPaths::root());
}

TunnelTimings TunnelFixture::fastTimings()
{
    TunnelTimings timings;
    timings.canaryInterval = 50ms;
    timings.canaryTries = 100;
    timings.monitorInterval = 150ms;
    timings.portBusyRetry = 200ms;
    timings.stopCheckInterval = 20ms;
    timings.initialReconnectDelay = 0.1;
    timings.maxReconnectDelay = 0.4;
    return timings;
}

QJsonObject TunnelFixture::session(const QString &id, const QString &title, const QJsonArray &mapping)
{
    return { { u"id"_s, id }, { u"kind"_s, u"chat"_s }, { u"title"_s, title },
        { u"created_at"_s, 1'772'708'850 }, { u"last_used_at"_s, 1'772'712'450 }, { u"requests"_s, 12 },
        { u"replacements"_s, 4 }, { u"bypass"_s, false }, { u"mapping"_s, mapping } };
}

bool TunnelFixture::start()
{
    if (!m_server.listen()) {
        m_error = u"the protection server does not listen"_s;
        return false;
    }
    m_sshd = std::make_unique<LocalStack::SshServer>(m_server.port());
    if (!m_sshd->start()) {
        m_error = m_sshd->lastError();
        return false;
    }
    m_localPort = LocalStack::SshServer::pickFreePort();
    m_sshd->installClientFiles(
        ClientPaths::root(), m_localPort, QString::fromLatin1(mapKey), QString::fromLatin1(unlockHost));
    return true;
}

TunnelService::Options TunnelFixture::serviceOptions(TunnelTimings timings)
{
    TunnelService::Options options;
    options.tools = m_standIns.tools();
    options.timings = timings;
    options.log = [this](const QString &line) { m_log << line; };
    return options;
}

void TunnelFixture::prepare(AppModelOptions &options, TunnelTimings timings)
{
    options.environment.tools = m_standIns.tools();
    options.tunnelTimings = timings;
    options.tunnelLog = [this](const QString &line) { m_log << line; };
}

TunnelService &TunnelFixture::tunnelOf(AppModel &model)
{
    return *model.findChild<TunnelService *>();
}

TunnelService &TunnelFixture::makeService(TunnelTimings timings)
{
    m_service.reset();
    m_service = std::make_unique<TunnelService>(
        [this](ProtectionState state, const QString &detail) {
            m_reports.append({ state, detail });
        },
        serviceOptions(timings));
    return *m_service;
}

bool TunnelFixture::waitForReport(ProtectionState state, const QString &detail, int timeoutMs)
{
    const auto seen = [&]() {
        for (const Report &report : std::as_const(m_reports)) {
            if (report.state == state && (detail.isEmpty() || report.detail == detail))
                return true;
        }
        return false;
    };
    return QTest::qWaitFor(seen, timeoutMs);
}

bool TunnelFixture::proxiesPointAtTunnel() const
{
    const QJsonObject local = StandIns::endpoint(true, u"127.0.0.1"_s, m_localPort);
    for (const QJsonValue &value : m_standIns.services()) {
        const QJsonObject service = value.toObject();
        if (service.value(u"web"_s).toObject() != local || service.value(u"secure"_s).toObject() != local)
            return false;
    }
    return true;
}

} // namespace Vetron::Test
