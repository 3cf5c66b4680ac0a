#include "Foundation/ClientPaths.h"
#include "Protection/TunnelService.h"

#include "TestSupport/AwaitTask.h"
#include "TestSupport/TunnelFixture.h"

#include <QFile>
#include <QTcpServer>
#include <QTest>

#include <csignal>

using namespace Qt::StringLiterals;
using namespace std::chrono_literals;
using namespace Vetron;
using Vetron::Test::TunnelFixture;
using Vetron::Test::awaitTask;

namespace {

const QString connectingText = u"Устанавливаем защищённое соединение…"_s;
const QString protectedText = u"Личные данные заменяются перед отправкой"_s;
const QString disabledText = u"Защита выключена"_s;
const QString interruptedText = u"Защищённое соединение прервано. Повторяем подключение…"_s;
const QString serverDownText = u"Сервер защиты временно недоступен. Данные напрямую не отправляются."_s;
const QString portBusyText = u"Локальный порт занят другой программой"_s;

void writeFile(const QString &path, const QByteArray &contents)
{
    QFile file(path);
    QVERIFY(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
    file.write(contents);
}

} // namespace

class TunnelServiceTest : public QObject
{
    Q_OBJECT

    QTemporaryDir m_home;
    std::unique_ptr<TunnelFixture> m_fixture;

    // Switches protection on and checks that it got there.
    bool switchOn()
    {
        const auto outcome = awaitTask(m_fixture->service().enable());
        return outcome.finished && m_fixture->waitForReport(ProtectionState::protected_, protectedText, 1);
    }

    QString reportTrail() const
    {
        QStringList trail;
        for (const auto &report : m_fixture->reports())
            trail << toText(report.state) + u": "_s + report.detail;
        return trail.join(u" | "_s);
    }

private Q_SLOTS:
    void initTestCase() { qputenv("XDG_DATA_HOME", QFile::encodeName(m_home.path())); }

    void init()
    {
        m_fixture = std::make_unique<TunnelFixture>();
        QVERIFY2(m_fixture->start(), qPrintable(m_fixture->error()));
        m_fixture->makeService();
    }

    void cleanup()
    {
        if (QTest::currentTestFailed())
            qWarning("reports: %s", qPrintable(reportTrail()));
        m_fixture.reset();
    }

    void switchOnThroughTheRealTunnelAndOffAgain()
    {
        TunnelService &service = m_fixture->service();
        QVERIFY(awaitTask(service.enable()).finished);
        QCOMPARE(m_fixture->reports().size(), 2);
        QCOMPARE(m_fixture->reports().at(0).state, ProtectionState::connecting);
        QCOMPARE(m_fixture->reports().at(0).detail, connectingText);
        QCOMPARE(m_fixture->reports().at(1).state, ProtectionState::protected_);
        QCOMPARE(m_fixture->reports().at(1).detail, protectedText);

        QVERIFY(m_fixture->proxiesPointAtTunnel());
        QCOMPARE(m_fixture->standIns().privilegedScripts().size(), 1);
        QVERIFY(m_fixture->server().mapUnlocked());
        QVERIFY(service.isProcessRunning());
        QVERIFY(service.hasMonitor());
        bool unlockCarriedKey = false;
        for (const auto &request : m_fixture->server().requests()) {
            if (request.url.host() == QLatin1StringView(TunnelFixture::unlockHost))
                unlockCarriedKey = request.headers.value("x-anon-key") == TunnelFixture::mapKey;
        }
        QVERIFY(unlockCarriedKey);

        m_fixture->clearReports();
        QVERIFY(awaitTask(service.disable()).finished);
        QCOMPARE(m_fixture->reports().size(), 1);
        QCOMPARE(m_fixture->reports().first().detail, disabledText);
        QCOMPARE(m_fixture->reports().first().state, ProtectionState::disabled);
        QVERIFY(!service.isProcessRunning());
        QVERIFY(!service.hasMonitor());
        QCOMPARE(m_fixture->standIns().serviceNamed(u"Wi-Fi"_s).value(u"web"_s).toObject(),
                 Test::StandIns::endpoint(true, u"corp.example"_s, 8080));
        QVERIFY(!QFile::exists(ClientPaths::proxyOwned()));
        QVERIFY(!QFile::exists(ClientPaths::proxyBackup()));

        // Nothing comes after a switch-off, whatever the monitor interval.
        QTest::qWait(400);
        QCOMPARE(m_fixture->reports().size(), 1);
    }

    void secondSwitchOnAsksNoPasswordAndReplacesSshQuietly()
    {
        TunnelService &service = m_fixture->service();
        QVERIFY(switchOn());
        const qint64 firstSsh = service.processId();
        m_fixture->clearReports();

        QVERIFY(awaitTask(service.enable()).finished);
        QCOMPARE(m_fixture->standIns().privilegedScripts().size(), 1);
        QVERIFY(service.processId() != firstSsh);
        QCOMPARE(::kill(pid_t(firstSsh), 0), -1); // the old ssh is gone
        QTest::qWait(300);
        // Stopping the old ssh from inside never looked like an interruption.
        for (const auto &report : m_fixture->reports())
            QVERIFY2(report.detail != interruptedText, qPrintable(reportTrail()));
        QCOMPARE(m_fixture->reports().last().state, ProtectionState::protected_);
    }

    void overlappingConnectsAreHarmless()
    {
        TunnelService &service = m_fixture->service();
        QVERIFY(switchOn());
        auto first = service.connect();
        auto second = service.connect();
        QVERIFY(second.isReady());
        QVERIFY(awaitTask(std::move(second)).value);
        QVERIFY(awaitTask(std::move(first)).value);
        QVERIFY(service.isProcessRunning());
    }

    void sshKilledIsRebuiltWhileProxiesStayOnTheTunnel()
    {
        TunnelService &service = m_fixture->service();
        QVERIFY(switchOn());
        m_fixture->clearReports();
        QVERIFY(::kill(pid_t(service.processId()), SIGKILL) == 0);

        QVERIFY(m_fixture->waitForReport(ProtectionState::blocked, interruptedText));
        QVERIFY(m_fixture->proxiesPointAtTunnel());
        QVERIFY(m_fixture->waitForReport(ProtectionState::protected_, protectedText));
        QVERIFY(service.isProcessRunning());
        QCOMPARE(m_fixture->standIns().privilegedScripts().size(), 1);
    }

    void sshServerGoneBlocksUntilItReturns()
    {
        QVERIFY(switchOn());
        m_fixture->clearReports();
        m_fixture->sshd().stop();

        QVERIFY(m_fixture->waitForReport(ProtectionState::blocked, interruptedText));
        QVERIFY(m_fixture->waitForReport(ProtectionState::blocked,
                                         u"Соединение недоступно. Пробуем восстановить…"_s));
        QVERIFY(m_fixture->proxiesPointAtTunnel());
        QVERIFY(!m_fixture->reports().last().detail.isEmpty());
        QCOMPARE(m_fixture->reports().last().state, ProtectionState::blocked);

        m_fixture->clearReports();
        QVERIFY(m_fixture->sshd().restart());
        QVERIFY(m_fixture->waitForReport(ProtectionState::protected_, protectedText));
        QVERIFY(m_fixture->proxiesPointAtTunnel());
    }

    void protectionServerDownOrRefusingTheUnlockBlocksUntilItRecovers()
    {
        auto &server = m_fixture->server();
        QVERIFY(switchOn());
        const quint16 serverPort = server.port();
        m_fixture->clearReports();

        server.close();
        QVERIFY(m_fixture->waitForReport(ProtectionState::blocked, serverDownText));
        QVERIFY(m_fixture->service().isProcessRunning()); // ssh itself is fine
        QVERIFY(m_fixture->proxiesPointAtTunnel());

        // Back, but with the map locked and the unlock refused.
        server.setMapUnlocked(false);
        server.setOverride(QString::fromLatin1(TunnelFixture::unlockHost), 403, "Forbidden");
        QVERIFY(server.listen(serverPort));
        m_fixture->clearReports();
        QVERIFY(m_fixture->waitForReport(ProtectionState::blocked, serverDownText));

        server.clearOverrides();
        QVERIFY(m_fixture->waitForReport(ProtectionState::protected_, protectedText));
        QVERIFY(server.mapUnlocked());
    }

    void portTakenByAnotherProgramIsWaitedOut()
    {
        // A slower first reconnect leaves room to take the port once ssh has let go of it.
        TunnelTimings timings = TunnelFixture::fastTimings();
        timings.initialReconnectDelay = 1.0;
        timings.maxReconnectDelay = 1.0;
        TunnelService &service = m_fixture->makeService(timings);
        QVERIFY(switchOn());
        m_fixture->clearReports();

        QVERIFY(::kill(pid_t(service.processId()), SIGKILL) == 0);
        QTcpServer squatter;
        QVERIFY(QTest::qWaitFor([&]() { return squatter.listen(QHostAddress::LocalHost, m_fixture->localPort()); },
                                5000));
        QVERIFY(m_fixture->waitForReport(ProtectionState::blocked, portBusyText));
        QVERIFY(m_fixture->proxiesPointAtTunnel());
        QTest::qWait(500);
        for (const auto &report : m_fixture->reports())
            QVERIFY2(report.detail != u"Соединение недоступно. Данные напрямую не отправляются."_s,
                     qPrintable(reportTrail()));

        squatter.close();
        QVERIFY(m_fixture->waitForReport(ProtectionState::protected_, protectedText));
    }

    void portTakenAtSwitchOnIsReportedWithThePrefix()
    {
        QTcpServer squatter;
        QVERIFY(squatter.listen(QHostAddress::LocalHost, m_fixture->localPort()));
        QVERIFY(awaitTask(m_fixture->service().enable()).finished);
        QCOMPARE(m_fixture->reports().last().state, ProtectionState::blocked);
        QCOMPARE(m_fixture->reports().last().detail,
                 u"Данные напрямую не отправляются. Локальный порт занят другой программой."_s);
        QVERIFY(m_fixture->waitForReport(ProtectionState::blocked, portBusyText, 1));
        QVERIFY(m_fixture->proxiesPointAtTunnel());
    }

    void refusedUnlockAtSwitchOnStopsSshButKeepsTheProxies()
    {
        m_fixture->server().setOverride(QString::fromLatin1(TunnelFixture::unlockHost), 403, "Forbidden");
        TunnelService &service = m_fixture->service();
        QVERIFY(awaitTask(service.enable()).finished);
        QCOMPARE(m_fixture->reports().last().detail, u"Данные напрямую не отправляются. Сервер защиты не ответил."_s);
        QVERIFY(!service.isProcessRunning());
        QVERIFY(m_fixture->proxiesPointAtTunnel());
        QVERIFY(service.isRequested());

        // A switch-off still puts the user's proxies back.
        QVERIFY(awaitTask(service.disable()).finished);
        QCOMPARE(m_fixture->reports().last().detail, disabledText);
        QVERIFY(!m_fixture->proxiesPointAtTunnel());
    }

    void refusedHostKeyIsLoggedAndReported()
    {
        writeFile(ClientPaths::knownHosts(),
                  m_fixture->sshd().knownHostsLine().split(' ').first()
                      + " ssh-ed25519 AAAAC3NzaC1lZDI1NTE5AAAAIHd4k0bqYcSFVw1k1i3tzvCx0FGd0RdcJBRoX4EtB9Nr\n");
        QVERIFY(awaitTask(m_fixture->service().enable()).finished);
        QCOMPARE(m_fixture->reports().last().detail, u"Данные напрямую не отправляются. SSH-туннель завершился."_s);
        QCOMPARE(m_fixture->logLines().size(), 1);
        QVERIFY2(m_fixture->logLines().first().startsWith(u"Ветрон: ssh завершился — "_s),
                 qPrintable(m_fixture->logLines().first()));
        QVERIFY(m_fixture->service().lastSSHError().size() > 0);
    }

    void unusableConfigurationIsAClearFailure_data()
    {
        QTest::addColumn<QByteArray>("from");
        QTest::addColumn<QByteArray>("to");
        QTest::addRow("local port above 65535") << QByteArray("\"local_port\":") << QByteArray("\"local_port\":7");
        QTest::addRow("user as an option") << QByteArray("\"ssh_user\":\"") << QByteArray("\"ssh_user\":\"-oProxyCommand=x");
    }

    void unusableConfigurationIsAClearFailure()
    {
        QFETCH(QByteArray, from);
        QFETCH(QByteArray, to);
        QFile file(ClientPaths::config());
        QVERIFY(file.open(QIODevice::ReadOnly));
        QByteArray config = file.readAll();
        file.close();
        // "local_port":NNNNN becomes "local_port":7NNNNN, beyond any TCP port.
        config.replace(from, to);
        writeFile(ClientPaths::config(), config);
        QVERIFY(ClientPaths::hasCompleteActivation(ClientPaths::root()));

        QVERIFY(awaitTask(m_fixture->service().enable()).finished);
        QCOMPARE(m_fixture->reports().last().state, ProtectionState::blocked);
        QVERIFY(m_fixture->reports().last().detail.startsWith(u"Данные напрямую не отправляются. Настройки"_s));
        QVERIFY(m_fixture->standIns().privilegedScripts().isEmpty());
    }

    void wakeLeavesALiveTunnelAloneAndRebuildsADeadOne()
    {
        TunnelService &service = m_fixture->service();
        QVERIFY(switchOn());
        m_fixture->clearReports();
        QVERIFY(awaitTask(service.systemDidWake()).finished);
        QVERIFY(m_fixture->reports().isEmpty());

        // The server stops answering through a tunnel that still runs: rebuilt after the wake.
        m_fixture->server().setEchoNonce(false);
        QVERIFY(awaitTask(service.systemDidWake()).finished);
        QCOMPARE(m_fixture->reports().first().detail, u"Восстанавливаем защищённое соединение после сна…"_s);
        m_fixture->server().setEchoNonce(true);
        QVERIFY(m_fixture->waitForReport(ProtectionState::protected_, protectedText));
    }

    void switchOffDuringAReconnectWaitEndsIt()
    {
        TunnelTimings timings = TunnelFixture::fastTimings();
        timings.initialReconnectDelay = 0.5;
        TunnelService &service = m_fixture->makeService(timings);
        QVERIFY(switchOn());
        QVERIFY(::kill(pid_t(service.processId()), SIGKILL) == 0);
        QVERIFY(m_fixture->waitForReport(ProtectionState::blocked, interruptedText));
        QVERIFY(awaitTask(service.disable()).finished);
        m_fixture->clearReports();
        QTest::qWait(1000);
        QVERIFY2(m_fixture->reports().isEmpty(), qPrintable(reportTrail()));
        QVERIFY(!service.isProcessRunning());
    }
};

QTEST_GUILESS_MAIN(TunnelServiceTest)
#include "tst_TunnelService.moc"
