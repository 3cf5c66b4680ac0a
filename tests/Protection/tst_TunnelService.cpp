#include "BuildConstants.h"
#include "Foundation/ClientPaths.h"
#include "Protection/TunnelProtocolSupport.h"
#include "Protection/TunnelService.h"
#include "TestSupport/AwaitTask.h"
#include "TestSupport/TestFiles.h"
#include "TestSupport/TunnelFixture.h"

#include <QFile>
#include <QJsonArray>
#include <QProcess>
#include <QScopeGuard>
#include <QTcpServer>
#include <QTest>
#include <QTimer>

#include <csignal>

using namespace Qt::StringLiterals;
using namespace std::chrono_literals;
using namespace Vetron;
using Vetron::Test::awaitTask;
using Vetron::Test::readFile;
using Vetron::Test::TunnelFixture;
using Vetron::Test::writeFile;

namespace {

const QString protectedText = u"Личные данные заменяются перед отправкой"_s;
const QString disabledText = u"Защита выключена"_s;
const QString interruptedText = u"Защищённое соединение прервано. Повторяем подключение…"_s;
const QString notSentPrefix = u"Данные напрямую не отправляются. "_s;

} // namespace

class TunnelServiceTest : public QObject
{
    Q_OBJECT

    std::unique_ptr<TunnelFixture> m_fixture;

    // Switches protection on and checks that it got there.
    bool switchOn()
    {
        const auto outcome = awaitTask(m_fixture->service().enable());
        return outcome.finished && m_fixture->waitForReport(ProtectionState::protected_, protectedText, 1);
    }

    // Awaits `task` and collects every ssh the service ran meanwhile.
    QList<qint64> sshSeenDuring(QCoro::Task<> task)
    {
        QList<qint64> seen;
        QTimer probe;
        probe.setInterval(5);
        QObject::connect(&probe, &QTimer::timeout, [&]() {
            const qint64 pid = Test::TunnelServiceAccess::sshProcessId(m_fixture->service());
            if (pid && !seen.contains(pid))
                seen << pid;
        });
        probe.start();
        [[maybe_unused]] const auto outcome = awaitTask(std::move(task));
        return seen;
    }

    // Whether the user's own web proxy on Wi-Fi is back.
    bool usersProxyRestored() const
    {
        return m_fixture->standIns().serviceNamed(u"Wi-Fi"_s).value(u"web"_s).toObject()
            == Test::StandIns::endpoint(true, u"corp.example"_s, 8080);
    }

    // Waits until the monitor has woken `passes` more times: proof that time passed for a check
    // that nothing happened.
    bool monitorPassed(int passes)
    {
        const TunnelService &service = m_fixture->service();
        const quint64 until = Test::TunnelServiceAccess::monitorPasses(service) + quint64(passes);
        return QTest::qWaitFor(
            [&]() { return Test::TunnelServiceAccess::monitorPasses(service) >= until; }, 20000);
    }

    QString reportTrail() const
    {
        QStringList trail;
        for (const auto &report : m_fixture->reports())
            trail << toText(report.state) + u": "_s + report.detail;
        return trail.join(u" | "_s);
    }

private Q_SLOTS:
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

    void secondSwitchOnAsksNoPasswordAndReplacesSshQuietly()
    {
        TunnelService &service = m_fixture->service();
        QVERIFY(switchOn());
        const qint64 firstSsh = Test::TunnelServiceAccess::sshProcessId(service);
        m_fixture->clearReports();

        QVERIFY(awaitTask(service.enable()).finished);
        QCOMPARE(m_fixture->standIns().privilegedScripts().size(), 1);
        QVERIFY(Test::TunnelServiceAccess::sshProcessId(service) != firstSsh);
        QCOMPARE(::kill(pid_t(firstSsh), 0), -1); // the old ssh is gone
        QVERIFY(monitorPassed(2));
        // Stopping the old ssh from inside never looked like an interruption.
        QVERIFY2(!reportTrail().contains(interruptedText), qPrintable(reportTrail()));
        QCOMPARE(m_fixture->reports().last().state, ProtectionState::protected_);
    }

    void overlappingConnectsAreHarmless()
    {
        TunnelService &service = m_fixture->service();
        QVERIFY(switchOn());
        auto first = Test::TunnelServiceAccess::connect(service);
        auto second = Test::TunnelServiceAccess::connect(service);
        QVERIFY(second.isReady());
        QVERIFY(awaitTask(std::move(second)).value);
        QVERIFY(awaitTask(std::move(first)).value);
        QVERIFY(Test::TunnelServiceAccess::sshRuns(service));
    }

    void failedSwitchOnBlocksWithItsReason_data()
    {
        QTest::addColumn<QString>("fault");
        QTest::addColumn<QString>("detail"); // what the final report begins with
        QTest::addColumn<bool>("proxiesSwitched");
        QTest::addRow("port taken") << u"port"_s
                                    << notSentPrefix + u"Локальный порт занят другой программой."_s << true;
        QTest::addRow("unlock refused")
            << u"unlock"_s << notSentPrefix + u"Сервер защиты не ответил."_s << true;
        QTest::addRow("server never answers")
            << u"canary"_s << notSentPrefix + u"Сервер защиты не ответил."_s << true;
        QTest::addRow("host key refused")
            << u"host key"_s << notSentPrefix + u"SSH-туннель завершился."_s << true;
        QTest::addRow("local port above 65535")
            << u"\"local_port\":7"_s << notSentPrefix + u"Настройки"_s << false;
        QTest::addRow("user as an option")
            << u"\"ssh_user\":\"-"_s << notSentPrefix + u"Настройки"_s << false;
    }

    void failedSwitchOnBlocksWithItsReason()
    {
        QFETCH(QString, fault);
        QFETCH(QString, detail);
        QFETCH(bool, proxiesSwitched);
        TunnelTimings timings = TunnelFixture::fastTimings();
        if (fault == u"canary"_s)
            timings.canaryTries = 3;
        TunnelService &service = m_fixture->makeService(timings);
        QTcpServer squatter;
        if (fault == u"port"_s)
            QVERIFY(squatter.listen(QHostAddress::LocalHost, m_fixture->localPort()));
        if (fault == u"unlock"_s)
            m_fixture->server().setOverride(QString::fromLatin1(TunnelFixture::unlockHost), 403, "Forbidden");
        if (fault == u"canary"_s)
            m_fixture->server().setEchoNonce(false);
        if (fault == u"host key"_s) {
            const QByteArray host = m_fixture->sshd().knownHostsLine().split(' ').first();
            QVERIFY(writeFile(ClientPaths::knownHosts(),
                host
                    + " ssh-ed25519 AAAAC3NzaC1lZDI1NTE5AAAAIHd4k0bqYcSFVw1k1i3tzvCx0FGd0RdcJBRoX4EtB9Nr\n"));
        }
        if (fault.startsWith(u'"')) {
            // A value gets the fault's last character in front: "local_port":NNNNN becomes
            // "local_port":7NNNNN, the user "-user".
            const QByteArray config
                = readFile(ClientPaths::config()).replace(fault.chopped(1).toUtf8(), fault.toUtf8());
            QVERIFY(writeFile(ClientPaths::config(), config));
            QVERIFY(ClientPaths::hasCompleteActivation(ClientPaths::root()));
        }

        const QList<qint64> sshRun = sshSeenDuring(service.enable());
        QCOMPARE(m_fixture->reports().first().detail, u"Устанавливаем защищённое соединение…"_s);
        QCOMPARE(m_fixture->reports().last().state, ProtectionState::blocked);
        QVERIFY2(m_fixture->reports().last().detail.startsWith(detail), qPrintable(reportTrail()));
        QCOMPARE(m_fixture->proxiesPointAtTunnel(), proxiesSwitched);
        QVERIFY(Test::TunnelServiceAccess::isRequested(service));
        QVERIFY(!Test::TunnelServiceAccess::sshRuns(service));
        for (const qint64 pid : sshRun)
            QVERIFY2(::kill(pid_t(pid), 0) != 0, "an ssh was left running");
        if (fault == u"canary"_s)
            QVERIFY(!sshRun.isEmpty());
        if (fault == u"host key"_s) {
            QCOMPARE(m_fixture->logLines().size(), 1);
            QVERIFY(m_fixture->logLines().first().startsWith(u"Ветрон: ssh завершился — "_s));
        } else {
            QVERIFY(m_fixture->logLines().isEmpty());
        }

        // A switch-off still puts the user's proxies back.
        QVERIFY(awaitTask(service.disable()).finished);
        QCOMPARE(m_fixture->reports().last().detail, disabledText);
        QVERIFY(usersProxyRestored());
    }

    // A switch-on whose password dialog is cancelled stays blocked with that reason, the proxies
    // still the user's: neither a wake, also one while the dialog is open, nor the ssh and the
    // monitor of an earlier switch-on bring back "protected" while traffic still goes out directly.
    void cancelledPasswordDialogStaysBlocked_data()
    {
        QTest::addColumn<QString>("meanwhile");
        QTest::addRow("wake afterwards") << u"wake after"_s;
        QTest::addRow("wake while the dialog is open") << u"wake during"_s;
        QTest::addRow("earlier switch-on's ssh exits while the dialog is open") << u"ssh exit"_s;
    }

    void cancelledPasswordDialogStaysBlocked()
    {
        QFETCH(QString, meanwhile);
        TunnelService &service = m_fixture->service();
        const auto &standIns = m_fixture->standIns();
        const bool earlier = meanwhile == u"ssh exit"_s;
        if (earlier) {
            QVERIFY(switchOn());
            // The user points Wi-Fi elsewhere, so that the next switch-on asks for the password.
            QJsonArray services = standIns.services();
            services.replace(0,
                Test::StandIns::service(
                    u"Wi-Fi"_s, true, Test::StandIns::endpoint(true, u"corp.example"_s, 8080)));
            standIns.setServices(services);
        }
        m_fixture->clearReports();
        standIns.setPasswordRefused(true);
        standIns.setPasswordDialogHeld(true);
        auto switchingOn = service.enable();
        QVERIFY(QTest::qWaitFor(
            [&]() { return standIns.privilegedScripts().size() == (earlier ? 2 : 1); }, 20000));
        if (meanwhile == u"wake during"_s)
            QVERIFY(awaitTask(service.systemDidWake()).finished);
        if (earlier) {
            QVERIFY(::kill(pid_t(Test::TunnelServiceAccess::sshProcessId(service)), SIGKILL) == 0);
            QVERIFY(QTest::qWaitFor([&]() { return !Test::TunnelServiceAccess::sshRuns(service); }, 20000));
        }
        standIns.setPasswordDialogHeld(false);
        QVERIFY(awaitTask(std::move(switchingOn)).finished);
        if (meanwhile == u"wake after"_s)
            QVERIFY(awaitTask(service.systemDidWake()).finished);
        if (earlier)
            QVERIFY(monitorPassed(3));

        QCOMPARE(m_fixture->reports().size(), 2);
        QCOMPARE(m_fixture->reports().last().state, ProtectionState::blocked);
        QVERIFY2(m_fixture->reports().last().detail.startsWith(notSentPrefix), qPrintable(reportTrail()));
        QVERIFY(!m_fixture->proxiesPointAtTunnel());
        QVERIFY(!Test::TunnelServiceAccess::sshRuns(service));
    }

    void switchOffThatCannotRestoreStaysBlocked()
    {
        TunnelService &service = m_fixture->service();
        QVERIFY(switchOn());
        const qint64 ssh = Test::TunnelServiceAccess::sshProcessId(service);
        m_fixture->standIns().setPasswordRefused(true);
        m_fixture->clearReports();
        QVERIFY(awaitTask(service.disable()).finished);
        QVERIFY2(reportTrail().startsWith(u"blocked: Не удалось восстановить настройки сети: "_s)
                && reportTrail().contains(u"User canceled"_s),
            qPrintable(reportTrail()));
        QVERIFY(m_fixture->proxiesPointAtTunnel());
        QVERIFY(::kill(pid_t(ssh), 0) != 0);
        QVERIFY(!Test::TunnelServiceAccess::isRequested(service));
    }

    // Whatever a switch-on or a reconnect was waiting for when the switch-off began, nothing of
    // theirs is reported after it and the user's proxies end restored.
    void switchOffWinsOverWhatWasUnderWay_data()
    {
        QTest::addColumn<QString>("waiting");
        QTest::addRow("password dialog") << u"password"_s;
        QTest::addRow("server's first answer") << u"canary"_s;
        QTest::addRow("reconnect delay") << u"reconnect"_s;
    }

    void switchOffWinsOverWhatWasUnderWay()
    {
        QFETCH(QString, waiting);
        TunnelTimings timings = TunnelFixture::fastTimings();
        timings.initialReconnectDelay = 0.5;
        TunnelService &service = m_fixture->makeService(timings);
        auto &standIns = m_fixture->standIns();
        std::optional<QCoro::Task<>> earlier;
        if (waiting == u"password"_s) {
            standIns.setPasswordDialogHeld(true);
            earlier.emplace(service.enable());
            QVERIFY(QTest::qWaitFor([&]() { return standIns.privilegedScripts().size() == 1; }, 20000));
        } else if (waiting == u"canary"_s) {
            m_fixture->server().setEchoNonce(false);
            earlier.emplace(service.enable());
            QVERIFY(QTest::qWaitFor([&]() { return Test::TunnelServiceAccess::sshRuns(service); }, 20000));
        } else {
            QVERIFY(switchOn());
            QVERIFY(::kill(pid_t(Test::TunnelServiceAccess::sshProcessId(service)), SIGKILL) == 0);
            QVERIFY(m_fixture->waitForReport(ProtectionState::blocked, interruptedText));
        }
        const int reportsBefore = int(m_fixture->reports().size());

        auto disable = service.disable();
        // The switch-on's script may only run now, after the switch-off has begun.
        standIns.setPasswordDialogHeld(false);
        QVERIFY(awaitTask(std::move(disable)).finished);
        if (earlier)
            QVERIFY(awaitTask(std::move(*earlier)).finished);
        else // the reconnect delay runs out, and the recovery ends without a step of its own
            QVERIFY(QTest::qWaitFor(
                [&]() { return !Test::TunnelServiceAccess::isReconnecting(service); }, 20000));
        const auto reports = m_fixture->reports().mid(reportsBefore);
        QCOMPARE(reports.size(), 1);
        QCOMPARE(reports.first().detail, disabledText);

        QVERIFY(!Test::TunnelServiceAccess::sshRuns(service));
        QVERIFY(usersProxyRestored());
        QVERIFY(!QFile::exists(ClientPaths::proxyOwned()));
        QVERIFY(!QFile::exists(ClientPaths::proxyBackup()));
    }

    void monitorClaimsNothingWhileAConnectRuns()
    {
        // The old ssh is frozen, so the connect's stop of it lasts until the test lets it go.
        TunnelTimings timings = TunnelFixture::fastTimings();
        timings.stopChecks = 1000;
        TunnelService &service = m_fixture->makeService(timings);
        QVERIFY(switchOn());
        const qint64 frozen = Test::TunnelServiceAccess::sshProcessId(service);
        m_fixture->clearReports();
        QVERIFY(::kill(pid_t(frozen), SIGSTOP) == 0);
        auto connecting = Test::TunnelServiceAccess::connect(service);
        QVERIFY(!Test::TunnelServiceAccess::sshRuns(service));
        QVERIFY(monitorPassed(3));
        QCOMPARE(reportTrail(), QString());

        QVERIFY(::kill(pid_t(frozen), SIGCONT) == 0); // the pending polite signal ends it
        QVERIFY(awaitTask(std::move(connecting)).value);
        QCOMPARE(reportTrail(), u"protected: "_s + protectedText);
        QVERIFY(Test::TunnelServiceAccess::sshProcessId(service) != frozen);
    }

    // A crashed client's ssh on the local port is ended only when its command line is ours (the
    // fault run ends ours): another program's is left running, and the port is busy.
    void leftoverSshWithAnotherCommandLineIsLeftAlone()
    {
        const auto config = decodeJson<ClientConfig>(readFile(ClientPaths::config()));
        QStringList arguments = TunnelProcess::sshArguments(config);
        arguments.replace(arguments.indexOf(u"ServerAliveInterval=15"_s), u"ServerAliveInterval=16"_s);
        QProcess leftover;
        leftover.setStandardInputFile(QProcess::nullDevice());
        leftover.start(m_fixture->standIns().tools().ssh, arguments);
        const auto cleanUp = qScopeGuard([&]() {
            leftover.kill();
            leftover.waitForFinished(5000);
        });
        QVERIFY(QTest::qWaitFor(
            [&]() { return TunnelProtocolSupport::localPortIsBusy(quint16(m_fixture->localPort())); },
            20000));
        ClientPaths::prepare();
        QVERIFY(writeFile(ClientPaths::sshPid(), QByteArray::number(leftover.processId())));

        QVERIFY(awaitTask(m_fixture->service().enable()).finished);
        QCOMPARE(
            m_fixture->reports().last().detail, notSentPrefix + u"Локальный порт занят другой программой."_s);
        QCOMPARE(leftover.state(), QProcess::Running);
    }

    // A wake-up leaves a live tunnel alone (a dead one's rebuild is the fault run's), and starts
    // nothing once protection is switched off, whatever the monitor interval.
    void wakeLeavesALiveTunnelAndASwitchedOffOneAlone()
    {
        TunnelService &service = m_fixture->service();
        QVERIFY(switchOn());
        QCOMPARE(readFile(ClientPaths::sshPid()),
            QByteArray::number(Test::TunnelServiceAccess::sshProcessId(service)));
        m_fixture->clearReports();
        QVERIFY(awaitTask(service.systemDidWake()).finished);
        QVERIFY(m_fixture->reports().isEmpty());

        QVERIFY(awaitTask(service.disable()).finished);
        QVERIFY(!QFile::exists(ClientPaths::sshPid()));
        QVERIFY(awaitTask(service.systemDidWake()).finished);
        QCOMPARE(reportTrail(), u"disabled: "_s + disabledText);
        QVERIFY(!Test::TunnelServiceAccess::monitorRuns(service));
        QVERIFY(!Test::TunnelServiceAccess::sshRuns(service));
        QCOMPARE(m_fixture->standIns().privilegedScripts().size(), 2);
    }
};

QTEST_GUILESS_MAIN(TunnelServiceTest)
#include "tst_TunnelService.moc"
