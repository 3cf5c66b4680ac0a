#include "Account/ActivationService.h"
#include "Account/DeviceCredentialMigration.h"
#include "Account/DeviceCredentialStore.h"
#include "Account/PortalAccountClient.h"
#include "AccountServer.h"
#include "Foundation/ClientPaths.h"
#include "TestSupport/AwaitTask.h"
#include "TestSupport/DeadPort.h"
#include "TestSupport/StandIns.h"
#include "TestSupport/TestCertificates.h"
#include "TestSupport/TestProfile.h"
#include "Updates/UpdateService.h"

#include <QDir>
#include <QFile>
#include <QJsonDocument>
#include <QProcess>
#include <QTest>

using namespace Qt::StringLiterals;
using namespace Vetron;
using Vetron::Test::awaitTask;
using Vetron::Test::StandIns;

// The device credential exchange, the portal summary and the way every exchange with the two
// servers goes past the system's proxies, against a local HTTPS server.
class AccountServicesTest : public QObject
{
    Q_OBJECT

    std::unique_ptr<Tools::AccountServer> m_server;
    std::unique_ptr<StandIns> m_standIns;

    ServerAddresses servers() const { return { m_server->baseUrl(), m_server->baseUrl() }; }

    // The device key pair of an enrolled Mac, made by the real ssh-keygen.
    void makeDeviceKeys()
    {
        ClientPaths::prepare();
        QStringList arguments { u"-q"_s, u"-t"_s, u"ed25519"_s, u"-N"_s, u""_s, u"-f"_s,
            ClientPaths::privateKey() };
        QCOMPARE(QProcess::execute(u"/usr/bin/ssh-keygen"_s, arguments), 0);
    }

    QStringList proofFiles() const
    {
        return QDir(QDir::tempPath()).entryList({ u"vetron-device-proof-*"_s }, QDir::Files);
    }

private Q_SLOTS:
    void init()
    {
        Test::removeTemporaryTree(ClientPaths::root());
        m_standIns = std::make_unique<StandIns>();
        DeviceCredentialStore::forgetLegacyCheck();
        QVERIFY(m_server = Test::startAccountServer());
    }

    void summaryTellsAnExpiredBindingFromOtherFailures_data()
    {
        QTest::addColumn<int>("status");
        QTest::addColumn<QByteArray>("body");
        QTest::addColumn<QString>("description");
        QTest::addRow("401") << 401 << QByteArray("{}") << u"Привязка этого компьютера устарела."_s;
        QTest::addRow("403") << 403 << QByteArray("{}") << u"Не удалось получить информацию с сервера."_s;
        QTest::addRow("fractional date")
            << 200
            << QByteArray(
                   R"({"device":{"name":"Mac","status":"ok"},"usage":{"requests":1,"masked_entities":1,)"
                   R"("blocked":0},"subscription":{"status":"active","period_end":"2026-03-01T00:00:00.000Z"}})")
            << u"Не удалось прочитать данные: поле «subscription.period_end» должно быть датой и временем "
               u"вида "
               u"2026-03-01T00:00:00Z."_s;
    }

    void summaryTellsAnExpiredBindingFromOtherFailures()
    {
        QFETCH(int, status);
        QFETCH(QByteArray, body);
        QFETCH(QString, description);
        DeviceCredentialStore::write(u"tok-1"_s);
        m_server->setOverride(u"/api/v1/device/summary"_s, status, body);
        PortalAccountClient client(servers());
        QCOMPARE(awaitTask(client.summary()).errorDescription(), description);
    }

    // The system's proxies may lead to the client's own tunnel, dead: every exchange with the
    // enrollment server and the portal still goes straight to the server.
    void exchangesIgnoreTheSystemProxyPointedAtADeadPort_data()
    {
        QTest::addColumn<QString>("path");
        QTest::addRow("enrollment") << u"/api/enroll"_s;
        QTest::addRow("account summary") << u"/api/v1/device/summary"_s;
        QTest::addRow("update check") << u"/api/v1/releases/macos/stable"_s;
        QTest::addRow("update download") << u"/static/releases/Vetron-macOS.dmg"_s;
    }

    void exchangesIgnoreTheSystemProxyPointedAtADeadPort()
    {
        QFETCH(QString, path);
        const Test::DeadPort tunnel;
        QVERIFY(tunnel.port() != 0);
        const Test::DeadSystemProxy proxy(tunnel.port());
        DeviceCredentialStore::write(u"tok-1"_s);
        m_server->setOverride(path, 403, "{}"); // an answer, whatever the exchange

        // Qt never sends a request for a loopback address or "localhost" through a proxy; the
        // unspecified address reaches the same local server and is not exempt.
        QUrl base = m_server->baseUrl();
        base.setHost(u"0.0.0.0"_s);
        const ServerAddresses remote { base, base };
        const UpdateService::Options updates { remote, m_standIns->tools() };
        if (path == u"/api/enroll"_s) {
            const ActivationService::Options enrollment { remote, m_standIns->tools() };
            awaitTask(ActivationService::activate(u"VTRN-2F9K-77QA-P0XZ-11"_s, enrollment));
        } else if (path == u"/api/v1/device/summary"_s) {
            PortalAccountClient client(remote);
            awaitTask(client.summary());
        } else if (path == u"/api/v1/releases/macos/stable"_s) {
            awaitTask(UpdateService::check(u"1.0.0"_s, updates));
        } else {
            const MacReleaseManifest release { u"1.4.2"_s, base.toString() + path, QString(64, u'0'), {},
                std::nullopt, std::nullopt };
            awaitTask(UpdateService::install(release, updates));
        }
        QCOMPARE(m_server->requests().size(), 1);
        QCOMPARE(m_server->requests().first().path, path);
    }

    void migrationClaimsATokenWithASignedChallenge()
    {
        makeDeviceKeys();
        QVERIFY(awaitTask(DeviceCredentialMigration::migrateIfNeeded(servers(), m_standIns->tools())).value
            == true);
        QCOMPARE(awaitTask(DeviceCredentialStore::read()).value, u"claimed-token-1"_s);
        const auto claim = m_server->requests().last();
        QCOMPARE(claim.path, u"/api/device-credential/claim"_s);
        const QJsonObject fields = QJsonDocument::fromJson(claim.body).object();
        QVERIFY(fields.value(u"signature"_s).toString().startsWith(u"-----BEGIN SSH SIGNATURE-----"_s));
        QVERIFY(proofFiles().isEmpty());

        // With a token in place nothing more is sent.
        m_server->clearRequests();
        QVERIFY(awaitTask(DeviceCredentialMigration::migrateIfNeeded(servers(), m_standIns->tools())).value
            == true);
        QVERIFY(m_server->requests().isEmpty());
    }

    void migrationWithoutKeysOrWithARefusedClaimGivesFalse()
    {
        QVERIFY(awaitTask(DeviceCredentialMigration::migrateIfNeeded(servers(), m_standIns->tools())).value
            == false);
        QVERIFY(m_server->requests().isEmpty());

        makeDeviceKeys();
        m_server->setOverride(u"/api/device-credential/claim"_s, 409, "{}");
        QVERIFY(awaitTask(DeviceCredentialMigration::migrateIfNeeded(servers(), m_standIns->tools())).value
            == false);
        QVERIFY(proofFiles().isEmpty());
        QVERIFY(!QFile::exists(DeviceCredentialStore::file()));
    }
};

QTEST_GUILESS_MAIN(AccountServicesTest)
#include "tst_AccountServices.moc"
