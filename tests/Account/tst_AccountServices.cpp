#include "Account/DeviceCredentialMigration.h"
#include "Account/DeviceCredentialStore.h"
#include "Account/PortalAccountClient.h"
#include "Foundation/ClientPaths.h"

#include "AccountServer.h"
#include "TestSupport/AwaitTask.h"
#include "TestSupport/StandIns.h"
#include "TestSupport/TestCertificates.h"
#include "TestSupport/TestProfile.h"

#include <QDir>
#include <QFile>
#include <QJsonDocument>
#include <QNetworkProxy>
#include <QProcess>
#include <QTcpServer>
#include <QTest>

using namespace Qt::StringLiterals;
using namespace Vetron;
using Vetron::Test::StandIns;
using Vetron::Test::awaitTask;

// The device credential exchange and the portal summary against a local HTTPS server.
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
        QStringList arguments { u"-q"_s, u"-t"_s, u"ed25519"_s, u"-N"_s, u""_s, u"-f"_s, ClientPaths::privateKey() };
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
            << QByteArray(R"({"device":{"name":"Mac","status":"ok"},"usage":{"requests":1,"masked_entities":1,)"
                          R"("blocked":0},"subscription":{"status":"active","period_end":"2026-03-01T00:00:00.000Z"}})")
            << u"Не удалось прочитать данные: поле «subscription.period_end» должно быть датой и временем вида "
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

    void summaryIgnoresTheSystemProxyPointedAtADeadPort()
    {
        QTcpServer dead;
        QVERIFY(dead.listen(QHostAddress::LocalHost));
        const quint16 port = dead.serverPort();
        dead.close();
        QNetworkProxy::setApplicationProxy(QNetworkProxy(QNetworkProxy::HttpProxy, u"127.0.0.1"_s, port));
        qputenv("https_proxy", "http://127.0.0.1:" + QByteArray::number(port));
        DeviceCredentialStore::write(u"tok-1"_s);
        m_server->acceptDeviceToken(u"tok-1"_s);
        PortalAccountClient client(servers());
        const auto outcome = awaitTask(client.summary());
        QNetworkProxy::setApplicationProxy(QNetworkProxy::NoProxy);
        qunsetenv("https_proxy");
        QVERIFY2(outcome.value, qPrintable(outcome.errorDescription()));
    }

    void migrationClaimsATokenWithASignedChallenge()
    {
        makeDeviceKeys();
        QVERIFY(awaitTask(DeviceCredentialMigration::migrateIfNeeded(servers(), m_standIns->tools())).value == true);
        QCOMPARE(awaitTask(DeviceCredentialStore::read()).value, u"claimed-token-1"_s);
        const auto claim = m_server->requests().last();
        QCOMPARE(claim.path, u"/api/device-credential/claim"_s);
        const QJsonObject fields = QJsonDocument::fromJson(claim.body).object();
        QVERIFY(fields.value(u"signature"_s).toString().startsWith(u"-----BEGIN SSH SIGNATURE-----"_s));
        QVERIFY(proofFiles().isEmpty());

        // With a token in place nothing more is sent.
        m_server->clearRequests();
        QVERIFY(awaitTask(DeviceCredentialMigration::migrateIfNeeded(servers(), m_standIns->tools())).value == true);
        QVERIFY(m_server->requests().isEmpty());
    }

    void migrationWithoutKeysOrWithARefusedClaimGivesFalse()
    {
        QVERIFY(awaitTask(DeviceCredentialMigration::migrateIfNeeded(servers(), m_standIns->tools())).value == false);
        QVERIFY(m_server->requests().isEmpty());

        makeDeviceKeys();
        m_server->setOverride(u"/api/device-credential/claim"_s, 409, "{}");
        QVERIFY(awaitTask(DeviceCredentialMigration::migrateIfNeeded(servers(), m_standIns->tools())).value == false);
        QVERIFY(proofFiles().isEmpty());
        QVERIFY(!QFile::exists(DeviceCredentialStore::file()));
    }
};

QTEST_GUILESS_MAIN(AccountServicesTest)
#include "tst_AccountServices.moc"
