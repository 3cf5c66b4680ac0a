#include "BuildConstants.h"
#include "ClientProcess.h"
#include "PrivateSystemBus.h"
#include "ProcessTree.h"
#include "ProxySettingsWatch.h"
#include "Stack.h"
#include "TestSupport/TestProfile.h"

#include <QDir>
#include <QElapsedTimer>
#include <QFileInfo>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QScopeGuard>
#include <QTcpServer>
#include <QTemporaryDir>
#include <QTest>

#include <csignal>

using namespace Qt::StringLiterals;
using namespace Vetron;
using Fault = LocalStack::Stack::ProtectionFault;

namespace {

enum class Trigger {
    sshKilled,
    sshdStopped,
    serverClosed,
    server500,
    wrongNonce,
    garbage,
    portTaken,
    wakeWhileDead
};

const QString protectedLine = u"Ветрон: protected — Личные данные заменяются перед отправкой"_s;
const QString interrupted = u"Ветрон: blocked — Защищённое соединение прервано. Повторяем подключение…"_s;
const QString serverDown
    = u"Ветрон: blocked — Сервер защиты временно недоступен. Данные напрямую не отправляются."_s;

} // namespace

// The real client binary of this build, headless against the local stack, through the faults a
// tunnel meets: after each, the state line it prints is the one for that situation, the system
// proxies never leave the tunnel's port, and protection returns by itself once the fault is gone.
// One client run goes through the faults in turn; a run is killed mid-enrollment and another
// while protected.
class FaultRunTest : public QObject
{
    Q_OBJECT

    QTemporaryDir m_run;
    QTemporaryDir m_profile;
    std::unique_ptr<LocalStack::Stack> m_stack;
    LocalStack::PrivateSystemBus m_bus;
    std::unique_ptr<LocalStack::ClientProcess> m_client;
    QStringList m_proxies; // every change the stand-in's watch reported, in order
    QStringList
        m_protectedOffTunnel; // the proxies at each "protected" the client said while they were not ours
    QElapsedTimer m_case;

    void startClient(const QStringList &arguments)
    {
        QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
        environment.insert(u"VETRON_STANDIN_STATE"_s, m_stack->standInStateDirectory());
        environment.insert(u"DBUS_SYSTEM_BUS_ADDRESS"_s, m_bus.address());
        m_client = std::make_unique<LocalStack::ClientProcess>(
            QStringLiteral(VETRON_CLIENT), m_profile.path(), environment);
        // Read the moment the line arrives: the client says "protected" only after its switch has
        // left the proxies on the tunnel, and nothing moves them off while it runs.
        connect(m_client.get(), &LocalStack::ClientProcess::reported, this, [this](const QString &line) {
            const QString proxies = proxiesNow();
            if (line == protectedLine && proxies != tunnelProxies())
                m_protectedOffTunnel << proxies;
        });
        m_client->start(QStringList { u"--local-stack"_s, m_run.path() } + arguments);
    }

    QString tunnelProxies() const
    {
        return u"веб- и защищённый веб-прокси Wi-Fi, Ethernet → 127.0.0.1:%1"_s.arg(m_stack->localPort());
    }

    // The stand-in's proxies as they stand now.
    QString proxiesNow() const
    {
        QFile state(QDir(m_stack->standInStateDirectory()).filePath(u"networksetup.json"_s));
        if (!state.open(QIODevice::ReadOnly))
            return {};
        return LocalStack::describeProxies(
            QJsonDocument::fromJson(state.readAll()).object().value(u"services"_s).toArray());
    }

    QStringList reportsSince(qsizetype from) const { return m_client->reports().mid(from); }

    // The client's ssh processes, known by the device key they log in with.
    QList<pid_t> clientSsh() const
    {
        return LocalStack::ProcessTree::withArgument(
            QFile::encodeName(m_client->dataDirectory() + u"/anontun"_s));
    }

    bool killClientSsh() const
    {
        const QList<pid_t> ssh = clientSsh();
        return ssh.size() == 1 && ::kill(ssh.first(), SIGKILL) == 0;
    }

    int statusProbes() const
    {
        const auto requests = m_stack->protectionServer().requests();
        return int(std::count_if(requests.cbegin(), requests.cend(),
            [](const auto &request) { return request.url.query().startsWith(u"nonce="_s); }));
    }

    // The client an update's relaunch started, by the number its launcher wrote; 0 before.
    pid_t relaunchedClient() const
    {
        QFile file(m_run.filePath(u"client.pid"_s));
        return file.open(QIODevice::ReadOnly) ? pid_t(file.readAll().trimmed().toInt()) : pid_t(0);
    }

    // The scripts run with administrator rights (on a Mac each asks for the password).
    qsizetype privilegedScripts() const
    {
        QFile log(QDir(m_stack->standInStateDirectory()).filePath(u"osascript.log"_s));
        return log.open(QIODevice::ReadOnly) ? log.readAll().count('\n') : 0;
    }

    // What went wrong with the proxies, if anything: from the first switch onto the tunnel on they
    // never point anywhere else, and the client never says "protected" while they are not ours.
    QString proxyFault() const
    {
        const QString tunnel = tunnelProxies();
        const qsizetype first = m_proxies.indexOf(tunnel);
        if (first < 0 || m_proxies.mid(first).count(tunnel) != m_proxies.size() - first)
            return u"the proxies left the tunnel: "_s + m_proxies.join(u" | "_s);
        if (!m_protectedOffTunnel.isEmpty())
            return u"protected while the proxies were "_s + m_protectedOffTunnel.join(u" | "_s);
        return {};
    }

private Q_SLOTS:
    void initTestCase()
    {
        m_stack = std::make_unique<LocalStack::Stack>(LocalStack::Stack::Options { m_run.path(), {},
            QStringLiteral(VETRON_RELEASE_PRIVATE_KEY), QString::fromLatin1(BuildConstants::version),
            QStringLiteral(VETRON_STANDIN_DIR), false, QStringLiteral(VETRON_CLIENT) });
        connect(m_stack.get(), &LocalStack::Stack::happened, this, [this](const QString &line) {
            if (line.startsWith(u"Системный прокси: "_s))
                m_proxies << line.mid(18);
        });
        QVERIFY2(m_stack->start(), qPrintable(m_stack->error()));
        QVERIFY2(m_bus.start(), qPrintable(m_bus.error()));
    }

    // How long each case took, for comparing with the test's time-out.
    void init() { m_case.start(); }
    void cleanup() { qInfo("took %lld ms", m_case.elapsed()); }

    void killedMidEnrollmentLeavesNothingAndEnrollsAgain()
    {
        m_stack->holdEnrollment(true);
        startClient({ u"--activate"_s, m_stack->oneTimeKey() });
        const auto enrollments = [this]() {
            const auto requests = m_stack->accountServer().requests();
            return std::count_if(requests.cbegin(), requests.cend(),
                [](const auto &request) { return request.path == u"/api/enroll"_s; });
        };
        QTRY_VERIFY2_WITH_TIMEOUT(enrollments() == 1, m_client->output().constData(), 60000);
        m_client->kill();
        QTRY_VERIFY(!m_client->isRunning());
        const QDir data(m_client->dataDirectory());
        const QStringList installed { u"anontun*"_s, u"anon-map.key"_s, u"server-ca.pem"_s,
            u"ca.thumbprint"_s, u"known_hosts"_s, u"config.json"_s, u"device-credential.json"_s };
        QCOMPARE(data.entryList(installed, QDir::AllEntries | QDir::Hidden), QStringList());
        const QStringList scratch { u"activation-*"_s };
        QCOMPARE(data.entryList(scratch, QDir::Dirs | QDir::Hidden).size(), 1); // with a private key in it

        m_stack->holdEnrollment(false);
        startClient({ u"--activate"_s, m_stack->oneTimeKey() });
        QTRY_VERIFY2_WITH_TIMEOUT(
            m_client->reports().contains(protectedLine), m_client->output().constData(), 60000);
        QCOMPARE(data.entryList(scratch, QDir::Dirs | QDir::Hidden), QStringList());
        QTRY_COMPARE(proxyFault(), QString());
        QCOMPARE(clientSsh().size(), 1);
    }

    void faultBlocksUntilItIsGone_data()
    {
        QTest::addColumn<Trigger>("trigger");
        QTest::addColumn<QStringList>("lines");
        QTest::addRow("ssh killed") << Trigger::sshKilled << QStringList { interrupted };
        QTest::addRow("sshd stopped and restarted")
            << Trigger::sshdStopped
            << QStringList { interrupted,
                   u"Ветрон: blocked — Соединение недоступно. Данные напрямую не отправляются."_s };
        QTest::addRow("protection server closed") << Trigger::serverClosed << QStringList { serverDown };
        QTest::addRow("protection server answers 500") << Trigger::server500 << QStringList { serverDown };
        QTest::addRow("protection server answers garbage") << Trigger::garbage << QStringList { serverDown };
        QTest::addRow("wrong nonce while reconnecting") << Trigger::wrongNonce << QStringList { interrupted };
        QTest::addRow("local port taken")
            << Trigger::portTaken
            << QStringList { interrupted, u"Ветрон: blocked — Локальный порт занят другой программой"_s };
        QTest::addRow("wake while the tunnel is dead")
            << Trigger::wakeWhileDead
            << QStringList { u"Ветрон: connecting — Восстанавливаем защищённое соединение после сна…"_s };
    }

    void faultBlocksUntilItIsGone()
    {
        QFETCH(Trigger, trigger);
        QFETCH(QStringList, lines);
        QVERIFY2(m_client && m_client->isRunning() && m_client->reports().constLast() == protectedLine,
            "needs the protected client of the enrollment test");
        const qsizetype start = m_client->reports().size();
        const int probes = statusProbes();
        const qsizetype scripts = privilegedScripts();
        QTcpServer squatter;

        switch (trigger) {
        case Trigger::sshKilled:
        case Trigger::wrongNonce:
        case Trigger::portTaken:
            m_stack->setProtectionFault(trigger == Trigger::wrongNonce ? Fault::wrongNonce : Fault::none);
            QVERIFY(killClientSsh());
            if (trigger == Trigger::portTaken)
                QTRY_VERIFY(
                    squatter.isListening() || squatter.listen(QHostAddress::LocalHost, m_stack->localPort()));
            break;
        case Trigger::sshdStopped:
            m_stack->sshServer().stop();
            break;
        case Trigger::serverClosed:
        case Trigger::wakeWhileDead:
            QVERIFY(m_stack->setProtectionFault(Fault::closed));
            if (trigger == Trigger::wakeWhileDead)
                QVERIFY(m_bus.announceWake());
            break;
        case Trigger::server500:
            QVERIFY(m_stack->setProtectionFault(Fault::error500));
            break;
        case Trigger::garbage:
            QVERIFY(m_stack->setProtectionFault(Fault::garbage));
            break;
        }
        // A monitor pass takes 10 s, a back-off after it more.
        const auto reportedInOrder = [&]() {
            qsizetype at = start;
            for (const QString &line : std::as_const(lines)) {
                if ((at = m_client->reports().indexOf(line, at)) < 0)
                    return false;
            }
            return true;
        };
        QTRY_VERIFY2_WITH_TIMEOUT(reportedInOrder(), qPrintable(reportsSince(start).join(u'\n')), 60000);
        if (trigger == Trigger::wrongNonce) // the client has judged answers with the wrong nonce
            QTRY_VERIFY_WITH_TIMEOUT(statusProbes() >= probes + 2, 30000);
        QVERIFY2(!reportsSince(start).contains(protectedLine), qPrintable(reportsSince(start).join(u'\n')));
        QCOMPARE(proxyFault(), QString());

        const qsizetype cleared = m_client->reports().size();
        if (trigger == Trigger::sshdStopped)
            QVERIFY2(m_stack->sshServer().restart(), qPrintable(m_stack->sshServer().lastError()));
        squatter.close();
        QVERIFY(m_stack->setProtectionFault(Fault::none));
        QTRY_VERIFY2_WITH_TIMEOUT(reportsSince(cleared).contains(protectedLine),
            qPrintable(reportsSince(start).join(u'\n')), 90000);
        QCOMPARE(proxyFault(), QString());
        QCOMPARE(privilegedScripts(), scripts); // the recovery asked for no password
        QTRY_COMPARE(clientSsh().size(), 1);
    }

    // The ssh of a killed run outlives it, still holding the port: the next run ends it and
    // brings protection back with one ssh of its own, without a fight for the port.
    void killedWhileProtectedComesBackWithOneSsh()
    {
        const QList<pid_t> earlier = clientSsh();
        QCOMPARE(earlier.size(), 1);
        m_client->kill();
        QTRY_VERIFY(!m_client->isRunning());
        QVERIFY(!LocalStack::ProcessTree::hasEnded(earlier.first()));

        startClient({});
        QTRY_VERIFY2_WITH_TIMEOUT(
            m_client->reports().contains(protectedLine), m_client->output().constData(), 60000);
        QVERIFY(LocalStack::ProcessTree::hasEnded(earlier.first()));
        QCOMPARE(m_client->reports(),
            QStringList({ u"Ветрон: connecting — Устанавливаем защищённое соединение…"_s, protectedLine }));
        QCOMPARE(clientSsh().size(), 1);
        QCOMPARE(proxyFault(), QString());
    }

    // "Скачать и установить" from start to end: the offered release is downloaded, verified and
    // installed through the stand-ins; the client switches protection off, which puts the proxies
    // back, and ends; the relaunch opens the installed application, this build at the release's
    // version, which brings protection back by itself and is the client a command reaches.
    void anUpdateInstallsTheReleaseAndTheClientComesBack()
    {
        QVERIFY2(m_client && m_client->isRunning(), "needs the client of the tests before");
        m_client->kill(); // the ssh it leaves is ended by the next start, as tested above
        QTRY_VERIFY(!m_client->isRunning());
        QCOMPARE(relaunchedClient(), pid_t(0));

        startClient({ u"--update"_s });
        // Read the moment it ends, before the relaunched client can switch again.
        QString proxiesAtTheEnd;
        const QMetaObject::Connection atTheEnd = connect(m_client.get(), &LocalStack::ClientProcess::ended,
            this, [this, &proxiesAtTheEnd] { proxiesAtTheEnd = proxiesNow(); });
        const auto forget = qScopeGuard([&atTheEnd] { disconnect(atTheEnd); });
        QTRY_VERIFY2_WITH_TIMEOUT(!m_client->isRunning(), m_client->output().constData(), 90000);
        QTRY_VERIFY2_WITH_TIMEOUT(relaunchedClient() > 0, m_client->output().constData(), 30000);
        const pid_t relaunched = relaunchedClient();
        QVERIFY(relaunched > 0 && !LocalStack::ProcessTree::hasEnded(relaunched));

        const qsizetype ended = m_client->reports().lastIndexOf(
            u"Ветрон: обновления — Скачиваем и устанавливаем обновление…"_s);
        QVERIFY2(ended >= 0, qPrintable(m_client->reports().join(u'\n')));
        QTRY_VERIFY2_WITH_TIMEOUT(
            m_client->reports().indexOf(protectedLine, ended) > ended, m_client->output().constData(), 60000);
        QVERIFY(m_client->output().contains("Ветрон: версия " + m_stack->offeredVersion().toUtf8() + '\n'));
        // The old client put the proxies back before it ended; the new one has them on the tunnel.
        QTRY_COMPARE(proxiesAtTheEnd, u"веб- и защищённый веб-прокси Wi-Fi, Ethernet выключены"_s);
        QCOMPARE(proxiesNow(), tunnelProxies());
        QVERIFY(m_protectedOffTunnel.isEmpty());
        QVERIFY(
            QFileInfo(m_profile.filePath(u"Applications/Ветрон.app/Contents/MacOS/Ветрон"_s)).isExecutable());

        QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
        environment.insert(u"DBUS_SYSTEM_BUS_ADDRESS"_s, m_bus.address());
        LocalStack::ClientProcess status(QStringLiteral(VETRON_CLIENT), m_profile.path(), environment);
        status.start({ u"status"_s });
        QTRY_VERIFY_WITH_TIMEOUT(!status.isRunning(), 30000);
        QCOMPARE(status.exitCode(), 0);

        // Stopped as scripts/run stops it; the ssh it leaves ends with the stack (cleanupTestCase).
        QCOMPARE(::kill(relaunched, SIGTERM), 0);
        QTRY_VERIFY_WITH_TIMEOUT(LocalStack::ProcessTree::hasEnded(relaunched), 30000);
    }

    void cleanupTestCase()
    {
        // A client a relaunch started is no child of the test: it goes by its number.
        if (const pid_t relaunched = relaunchedClient(); relaunched > 0)
            ::kill(relaunched, SIGKILL);
        // A client that is simply ended leaves its ssh, by design; the stack's end ends that.
        if (m_client)
            m_client->kill();
        m_client.reset();
        const QString key = m_profile.filePath(u".local/share/Vetron/anontun"_s);
        m_stack.reset();
        QTRY_VERIFY(LocalStack::ProcessTree::withArgument(QFile::encodeName(key)).isEmpty());
    }
};

QTEST_GUILESS_MAIN(FaultRunTest)
#include "tst_FaultRun.moc"
