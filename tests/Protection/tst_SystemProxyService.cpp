#include "Foundation/ClientPaths.h"
#include "Foundation/Models.h"
#include "Foundation/ProcessRunner.h"
#include "Protection/NetworksetupOutput.h"
#include "Protection/SystemProxyService.h"
#include "TestSupport/AwaitTask.h"
#include "TestSupport/StandIns.h"
#include "TestSupport/TestFiles.h"
#include "TestSupport/TestProfile.h"

#include <QDir>
#include <QFile>
#include <QTest>

using namespace Qt::StringLiterals;
using namespace Vetron;
using Vetron::Test::awaitTask;
using Vetron::Test::readFile;
using Vetron::Test::StandIns;
using Vetron::Test::writeFile;

namespace {

// A name that reaches networksetup intact only when the scripts quote it right for the shell and
// for the AppleScript literal; anything it made run would land in the working directory.
const QString nastyName = u"Bob's \"Phone\" \\ $(touch pwned) `touch pwned2`; ok"_s;

bool pointsAtLocalPort(const QJsonObject &service, int port)
{
    const QJsonObject local = StandIns::endpoint(true, u"127.0.0.1"_s, port);
    return service.value(u"web"_s).toObject() == local && service.value(u"secure"_s).toObject() == local;
}

// Whether `service` is back to `original` as far as a restore can bring it: every proxy that had
// a server has it again, in its old state; one without a server is off; the bypass list is back.
bool restoredTo(const QJsonObject &service, const QJsonObject &original)
{
    for (const QString &key : { u"web"_s, u"secure"_s }) {
        const QJsonObject now = service.value(key).toObject();
        const QJsonObject before = original.value(key).toObject();
        if (before.value(u"server"_s).toString().isEmpty() ? now.value(u"enabled"_s).toBool() : now != before)
            return false;
    }
    return service.value(u"bypass"_s) == original.value(u"bypass"_s);
}

} // namespace

class SystemProxyServiceTest : public QObject
{
    Q_OBJECT

    QTemporaryDir m_workingDirectory;
    std::unique_ptr<StandIns> m_standIns;
    std::unique_ptr<SystemProxyService> m_proxy;
    QStringList m_log;

    QJsonArray usersSettings() const
    {
        return {
            StandIns::service(u"Wi-Fi"_s, true, StandIns::endpoint(true, u"corp.example"_s, 8080),
                StandIns::endpoint(false, u"old.example"_s, 3128), { u"*.local"_s, u"169.254/16"_s }),
            StandIns::service(u"Thunderbolt Bridge"_s, false),
            StandIns::service(nastyName, true, StandIns::endpoint(true, u"it's \"odd\" $(x)"_s, 3128),
                StandIns::endpoint(false), { u"a'b.example"_s, u"$(touch pwned3)"_s }),
        };
    }

private Q_SLOTS:
    void initTestCase()
    {
        // Anything the scripts might wrongly execute would land here.
        QVERIFY(QDir::setCurrent(m_workingDirectory.path()));
    }

    void init()
    {
        Test::removeTemporaryTree(ClientPaths::root());
        m_standIns = std::make_unique<StandIns>();
        m_standIns->setServices(usersSettings());
        m_log.clear();
        m_proxy = std::make_unique<SystemProxyService>(
            m_standIns->tools(), nullptr, [this](const QString &line) { m_log << line; });
    }

    void cleanup() { QVERIFY(QDir(m_workingDirectory.path()).isEmpty()); }

    void switchOnAndOffRestoresEveryServiceExactly()
    {
        QVERIFY(awaitTask(m_proxy->enable(18080)).value);
        QVERIFY(pointsAtLocalPort(m_standIns->serviceNamed(u"Wi-Fi"_s), 18080));
        QVERIFY(pointsAtLocalPort(m_standIns->serviceNamed(nastyName), 18080));
        QCOMPARE(m_standIns->serviceNamed(u"Thunderbolt Bridge"_s), usersSettings().at(1).toObject());
        QCOMPARE(readFile(ClientPaths::proxyOwned()), QByteArray("18080"));
        QCOMPARE(m_standIns->privilegedScripts().size(), 1);
        QVERIFY(
            m_standIns->privilegedScripts().first().startsWith(u"set -e; "_s)); // stops at the first failure

        const auto backup = decodeJsonList<ServiceProxyBackup>(readFile(ClientPaths::proxyBackup()));
        QCOMPARE(backup.size(), 2);
        QCOMPARE(backup.at(0).name, u"Wi-Fi"_s);
        QCOMPARE(backup.at(0).web, (ProxyEndpoint { true, u"corp.example"_s, 8080 }));
        QCOMPARE(backup.at(1).name, nastyName);
        QCOMPARE(backup.at(1).bypass, (QStringList { u"a'b.example"_s, u"$(touch pwned3)"_s }));

        QVERIFY(awaitTask(m_proxy->restore()).value);
        QCOMPARE(m_standIns->privilegedScripts().size(), 2);
        QVERIFY(restoredTo(m_standIns->serviceNamed(u"Wi-Fi"_s), usersSettings().at(0).toObject()));
        QVERIFY(restoredTo(m_standIns->serviceNamed(nastyName), usersSettings().at(2).toObject()));
        QVERIFY(!QFile::exists(ClientPaths::proxyOwned()));
        QVERIFY(!QFile::exists(ClientPaths::proxyBackup()));
        QVERIFY(m_log.isEmpty());
        // A switched-off proxy gets its old server back, not ours.
        QCOMPARE(m_standIns->serviceNamed(u"Wi-Fi"_s).value(u"secure"_s).toObject(),
            StandIns::endpoint(false, u"old.example"_s, 3128));

        // Nothing left to restore: no second prompt.
        QVERIFY(awaitTask(m_proxy->restore()).value);
        QCOMPARE(m_standIns->privilegedScripts().size(), 2);
    }

    // A second switch-on to the port the ownership file names asks for the password only when a
    // service has come off the tunnel meanwhile, and then points it back at the tunnel.
    void secondSwitchOnToTheSamePortPointsStrayServicesBack_data()
    {
        QTest::addColumn<QString>("meanwhile");
        QTest::addColumn<int>("prompts");
        QTest::addRow("nothing changed") << QString() << 1;
        QTest::addRow("a service added") << u"add"_s << 2;
        QTest::addRow("a secure proxy reset by the user") << u"reset"_s << 2;
    }

    void secondSwitchOnToTheSamePortPointsStrayServicesBack()
    {
        QFETCH(QString, meanwhile);
        QFETCH(int, prompts);
        QVERIFY(awaitTask(m_proxy->enable(18080)).value);
        QVERIFY(writeFile(ClientPaths::proxyOwned(), "18080\n"));
        QJsonArray services = m_standIns->services();
        if (meanwhile == u"add"_s)
            services.append(StandIns::service(u"USB LAN"_s));
        if (meanwhile == u"reset"_s) {
            QJsonObject wifi = services.at(0).toObject();
            wifi.insert(u"secure"_s, StandIns::endpoint(false));
            services.replace(0, wifi);
        }
        m_standIns->setServices(services);

        QVERIFY(awaitTask(m_proxy->enable(18080)).value);
        QCOMPARE(m_standIns->privilegedScripts().size(), prompts);
        for (const QJsonValue value : m_standIns->services()) {
            const QJsonObject service = value.toObject();
            if (service.value(u"enabled"_s).toBool())
                QVERIFY2(pointsAtLocalPort(service, 18080), qPrintable(service.value(u"name"_s).toString()));
        }

        // Another port switches again but keeps the first backup.
        const QByteArray backup = readFile(ClientPaths::proxyBackup());
        QVERIFY(awaitTask(m_proxy->enable(18081)).value);
        QCOMPARE(m_standIns->privilegedScripts().size(), prompts + 1);
        QCOMPARE(readFile(ClientPaths::proxyBackup()), backup);
        QVERIFY(pointsAtLocalPort(m_standIns->serviceNamed(u"Wi-Fi"_s), 18081));
    }

    void cancelledPasswordChangesNothingButKeepsTheBackup()
    {
        m_standIns->setPasswordRefused(true);
        const auto refused = awaitTask(m_proxy->enable(18080));
        QVERIFY(refused.errorAs<ProcessError>());
        QVERIFY(refused.errorDescription().contains(u"User canceled"_s));
        QCOMPARE(m_standIns->services(), usersSettings());
        QVERIFY(QFile::exists(ClientPaths::proxyBackup()));
        QVERIFY(!QFile::exists(ClientPaths::proxyOwned()));

        // The settings change before the next try: the first backup still holds the user's own.
        QJsonArray changed = usersSettings();
        changed[0]
            = StandIns::service(u"Wi-Fi"_s, true, StandIns::endpoint(false), StandIns::endpoint(false));
        m_standIns->setServices(changed);
        m_standIns->setPasswordRefused(false);
        QVERIFY(awaitTask(m_proxy->enable(18080)).value);
        QVERIFY(awaitTask(m_proxy->restore()).value);
        QVERIFY(restoredTo(m_standIns->serviceNamed(u"Wi-Fi"_s), usersSettings().at(0).toObject()));
    }

    void leftoverLocalProxyIsNotSavedAsTheUsersOwn()
    {
        // A proxy still on our port from a run whose files were lost.
        QJsonArray leftover = usersSettings();
        leftover[0] = StandIns::service(u"Wi-Fi"_s, true, StandIns::endpoint(true, u"127.0.0.1"_s, 18080),
            StandIns::endpoint(true, u"127.0.0.1"_s, 18080));
        m_standIns->setServices(leftover);
        QVERIFY(awaitTask(m_proxy->enable(18080)).value);
        const auto backup = decodeJsonList<ServiceProxyBackup>(readFile(ClientPaths::proxyBackup()));
        QCOMPARE(backup.at(0).web, ProxyEndpoint {});
        QCOMPARE(backup.at(0).secure, ProxyEndpoint {});

        QVERIFY(awaitTask(m_proxy->restore()).value);
        const QJsonObject wifi = m_standIns->serviceNamed(u"Wi-Fi"_s);
        QCOMPARE(wifi.value(u"web"_s).toObject().value(u"enabled"_s).toBool(), false);
        QCOMPARE(wifi.value(u"secure"_s).toObject().value(u"enabled"_s).toBool(), false);
    }

    // Whatever became of a saved service or of the files while protected, the switch-off
    // succeeds: what can be restored exactly is, what points at our port is switched off, the
    // user's own proxies elsewhere stay, and the log says what was not restored exactly.
    void switchOffSucceedsWhateverBecameOfTheSavedState_data()
    {
        QTest::addColumn<QString>("damage");
        QTest::addColumn<int>("prompts"); // the switch-on's included
        QTest::addColumn<QString>("logged");
        const QString both = u"Wi-Fi, "_s + nastyName;
        QTest::addRow("a saved service removed") << u"remove odd"_s << 2 << nastyName;
        QTest::addRow("every saved service removed") << u"remove both"_s << 1 << both;
        QTest::addRow("a saved service disabled") << u"disable wifi"_s << 2 << QString();
        QTest::addRow("backup corrupt") << u"corrupt backup"_s << 2 << both;
        QTest::addRow("backup deleted") << u"delete backup"_s << 2 << both;
        QTest::addRow("both files lost, port from config")
            << u"corrupt backup, delete ownership"_s << 2 << both;
        QTest::addRow("both files lost, no port known")
            << u"corrupt backup, delete ownership, delete config"_s << 1 << u"порт защиты неизвестен"_s;
    }

    void switchOffSucceedsWhateverBecameOfTheSavedState()
    {
        QFETCH(QString, damage);
        QFETCH(int, prompts);
        QFETCH(QString, logged);
        ClientPaths::prepare();
        ClientConfig config;
        config.localPort = 18080;
        if (!damage.contains(u"delete config"_s))
            QVERIFY(writeFile(ClientPaths::config(), encodeJson(config)));
        QVERIFY(awaitTask(m_proxy->enable(18080)).value);

        // While protected the user points one proxy at a local tool of their own.
        QJsonArray services = m_standIns->services();
        QJsonObject odd = m_standIns->serviceNamed(nastyName);
        odd.insert(u"secure"_s, StandIns::endpoint(true, u"127.0.0.1"_s, 8888));
        services[2] = odd;
        if (damage == u"remove odd"_s)
            services.removeAt(2);
        if (damage == u"remove both"_s)
            services = QJsonArray { services.at(1) };
        if (damage == u"disable wifi"_s) {
            QJsonObject wifi = services.at(0).toObject();
            wifi.insert(u"enabled"_s, false);
            services[0] = wifi;
        }
        m_standIns->setServices(services);
        if (damage.contains(u"corrupt backup"_s))
            QVERIFY(writeFile(ClientPaths::proxyBackup(), "[{\"name\":\"Wi-Fi\"}]"));
        if (damage.contains(u"delete backup"_s))
            QVERIFY(QFile::remove(ClientPaths::proxyBackup()));
        if (damage.contains(u"delete ownership"_s))
            QVERIFY(QFile::remove(ClientPaths::proxyOwned()));
        const QJsonArray before = m_standIns->services();

        QVERIFY(awaitTask(m_proxy->restore()).value);
        QCOMPARE(m_standIns->privilegedScripts().size(), prompts);
        QVERIFY(!QFile::exists(ClientPaths::proxyOwned()));
        QVERIFY(!QFile::exists(ClientPaths::proxyBackup()));
        QCOMPARE(m_standIns->serviceNamed(u"Thunderbolt Bridge"_s), usersSettings().at(1).toObject());
        if (logged.isEmpty()) {
            QVERIFY2(m_log.isEmpty(), qPrintable(m_log.join(u'\n')));
        } else {
            QCOMPARE(m_log.size(), 1);
            QVERIFY2(m_log.first().startsWith(u"Ветрон: "_s) && m_log.first().contains(logged),
                qPrintable(m_log.first()));
        }

        const QJsonObject wifi = m_standIns->serviceNamed(u"Wi-Fi"_s);
        const QJsonObject oddNow = m_standIns->serviceNamed(nastyName);
        if (!damage.contains(u"backup"_s)) {
            QVERIFY(wifi.isEmpty() || restoredTo(wifi, usersSettings().at(0).toObject()));
            QVERIFY(oddNow.isEmpty() || restoredTo(oddNow, usersSettings().at(2).toObject()));
        } else if (prompts == 1) {
            QCOMPARE(m_standIns->services(), before); // nothing is known to be ours
        } else {
            const auto isOff = [](const QJsonObject &service, const QString &key) {
                return !service.value(key).toObject().value(u"enabled"_s).toBool();
            };
            QVERIFY(isOff(wifi, u"web"_s) && isOff(wifi, u"secure"_s) && isOff(oddNow, u"web"_s));
            QCOMPARE(oddNow.value(u"secure"_s).toObject(), StandIns::endpoint(true, u"127.0.0.1"_s, 8888));
            QCOMPARE(wifi.value(u"bypass"_s), before.at(0).toObject().value(u"bypass"_s));
        }
    }

    void serviceAddedAfterTheBackupIsSwitchedOffOnRestore()
    {
        QVERIFY(awaitTask(m_proxy->enable(18080)).value);
        QJsonArray grown = m_standIns->services();
        grown.append(StandIns::service(u"USB LAN"_s));
        m_standIns->setServices(grown);
        QVERIFY(awaitTask(m_proxy->enable(18081)).value);
        QVERIFY(pointsAtLocalPort(m_standIns->serviceNamed(u"USB LAN"_s), 18081));
        QVERIFY(awaitTask(m_proxy->restore()).value);
        // Nothing was saved for it, and nothing listens on the local port any more.
        const QJsonObject added = m_standIns->serviceNamed(u"USB LAN"_s);
        QVERIFY(!added.value(u"web"_s).toObject().value(u"enabled"_s).toBool());
        QVERIFY(!added.value(u"secure"_s).toObject().value(u"enabled"_s).toBool());
        QVERIFY(restoredTo(m_standIns->serviceNamed(u"Wi-Fi"_s), usersSettings().at(0).toObject()));
        QCOMPARE(m_log.size(), 1);
        QVERIFY2(m_log.first().contains(u"USB LAN"_s), qPrintable(m_log.first()));
    }

    void failuresBeforeTheSwitchChangeNothing()
    {
        m_standIns->setFailingOptions(u"networksetup"_s, { u"-getproxybypassdomains"_s });
        QVERIFY(awaitTask(m_proxy->enable(18080)).errorAs<ProcessError>());
        QVERIFY(!QFile::exists(ClientPaths::proxyBackup()));
        QVERIFY(m_standIns->privilegedScripts().isEmpty());

        m_standIns->setFailingOptions(u"networksetup"_s, {});
        m_standIns->setServices({ StandIns::service(u"Wi-Fi"_s, false) });
        const auto outcome = awaitTask(m_proxy->enable(18080));
        QVERIFY(outcome.errorAs<ProxyError>());
        QCOMPARE(outcome.errorDescription(), u"Не найдены сетевые подключения macOS."_s);
    }

    void queryOutputParsing()
    {
        const auto values
            = SystemProxyService::dictionary(u"Enabled: Yes\nServer: host:8080\nPort:\t 80 \nno colon here\n"
                                             u" Spaced : x\nPort: 81\n\n"_s);
        QCOMPARE(values.value(u"Server"_s), u"host:8080"_s);
        QCOMPARE(values.value(u" Spaced "_s), u"x"_s);
        QCOMPARE(values.value(u"Port"_s), u"81"_s);
        QCOMPARE(values.size(), 4);
        // A port networksetup would refuse on restore is no port.
        QCOMPARE(NetworksetupOutput::endpoint(u"Enabled: Yes\nServer: h\nPort: 18088080\n"_s).port, 0);
        QCOMPARE(NetworksetupOutput::endpoint(u"Enabled: Yes\nServer: h\nPort: -1\n"_s).port, 0);
        QCOMPARE(NetworksetupOutput::endpoint(u"Enabled: Yes\nServer: h\nPort: 65535\n"_s).port, 65535);
    }
};

QTEST_GUILESS_MAIN(SystemProxyServiceTest)
#include "tst_SystemProxyService.moc"
