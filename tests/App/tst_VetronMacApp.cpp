#include "Account/DeviceCredentialStore.h"
#include "AccountServer.h"
#include "App/LicenseAgreement.h"
#include "App/SingleInstance.h"
#include "App/TrayMenu.h"
#include "App/VetronMacApp.h"
#include "Foundation/ClientPaths.h"
#include "Platform/LaunchAtLogin.h"
#include "Platform/Preferences.h"
#include "TestSupport/AwaitTask.h"
#include "TestSupport/TestCertificates.h"
#include "TestSupport/TunnelFixture.h"
#include "TestSupport/ViewHarness.h"

#include <QAction>
#include <QDir>
#include <QFileInfo>
#include <QJsonDocument>
#include <QMenu>
#include <QProcess>
#include <QQuickItem>
#include <QQuickWindow>
#include <QScopeGuard>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>

#include <csignal>

using namespace Qt::StringLiterals;
using namespace Vetron;
using Vetron::Test::awaitTask;
using Vetron::Test::TunnelFixture;
using Vetron::Test::ViewHarness;

// The application as a user meets it: the window with its gate, the start-up duties and the
// menu-bar menu, against the stand-ins and a local enrollment server.
class VetronMacAppTest : public QObject
{
    Q_OBJECT

    std::unique_ptr<Tools::AccountServer> m_server;
    std::unique_ptr<TunnelFixture> m_fixture;
    WakeNotifier m_wake;

    std::unique_ptr<VetronMacApp> makeApp(bool trayAvailable = false)
    {
        VetronMacApp::Options options;
        m_fixture->prepare(options.model);
        options.model.environment.servers = { m_server->baseUrl(), m_server->baseUrl() };
        options.model.wake = &m_wake;
        options.autoConnect = false;
        options.launchAtLogin = { [] { return true; }, [] {} };
        options.trayAvailable = trayAvailable;
        return std::make_unique<VetronMacApp>(std::move(options));
    }

    static void storeAcceptedVersion(const QString &version)
    {
        Platform::Preferences().setValue(QString::fromLatin1(LicenseAgreement::preferenceKey), version);
    }

    static QQuickItem *item(VetronMacApp &app, const QString &name)
    {
        return ViewHarness::find(*app.window(), name);
    }

private Q_SLOTS:
    void initTestCase() { QQuickWindow::setGraphicsApi(QSGRendererInterface::Software); }

    void init()
    {
        DeviceCredentialStore::forgetLegacyCheck();
        m_fixture = std::make_unique<TunnelFixture>();
        QVERIFY(m_server = Test::startAccountServer());
    }

    void cleanup()
    {
        m_fixture.reset();
        Platform::Preferences().clear();
        QDir(QDir::homePath() + u"/.local/share"_s).removeRecursively();
    }

    // An old acceptance shows the agreement; accepting moves to activation and a successful
    // activation to the main screen, each at once, in the same window.
    void gateLeadsANewUserFromTheAgreementToTheMainScreen()
    {
        const QString key = u"ABCD-EFGH-IJKL-MNOP-QRST"_s;
        m_server->acceptEnrollmentToken(key);
        QJsonObject answer = m_server->enrollmentAnswer();
        answer.insert(u"ca_pem"_s, QString::fromUtf8(Test::trustedCertificates().caCertificatePem()));
        m_server->setEnrollmentAnswer(answer);
        storeAcceptedVersion(u"0.9"_s);

        auto app = makeApp();
        QVERIFY(app->start());
        QQuickWindow &window = *app->window();
        QVERIFY(QTest::qWaitForWindowExposed(&window));

        QQuickItem *accept = item(*app, u"licenseAcceptButton"_s);
        QVERIFY(accept);
        QVERIFY(!accept->isEnabled());
        ViewHarness::click(window, *item(*app, u"licenseConfirmToggle"_s));
        QTRY_VERIFY(accept->isEnabled());
        ViewHarness::click(window, *accept);
        QTRY_VERIFY(item(*app, u"activationKeyField"_s));
        QCOMPARE(
            Platform::Preferences().value(QString::fromLatin1(LicenseAgreement::preferenceKey)).toString(),
            u"1.0"_s);

        item(*app, u"activationKeyField"_s)->setProperty("text", key);
        ViewHarness::click(window, *item(*app, u"activationButton"_s));
        QTRY_VERIFY_WITH_TIMEOUT(item(*app, u"mainBrandButton"_s), 30000);
        QVERIFY(!item(*app, u"activationKeyField"_s));
        QTRY_VERIFY_WITH_TIMEOUT(!app->model().busy(), 30000);
        QVERIFY(awaitTask(TunnelFixture::tunnelOf(app->model()).disable()).finished);
    }

    void startUpBringsTheWindowForwardOnlyWhenTheUserHasSomethingToDo_data()
    {
        QTest::addColumn<bool>("enrolled");
        QTest::addColumn<QString>("accepted");
        QTest::addColumn<bool>("broughtForward");
        QTest::addRow("enrolled, agreement accepted") << true << u"1.0"_s << false;
        QTest::addRow("enrolled, older agreement") << true << u"0.9"_s << true;
        QTest::addRow("not enrolled") << false << u"1.0"_s << true;
    }

    void startUpBringsTheWindowForwardOnlyWhenTheUserHasSomethingToDo()
    {
        QFETCH(bool, enrolled);
        QFETCH(QString, accepted);
        QFETCH(bool, broughtForward);
        if (enrolled)
            QVERIFY2(m_fixture->start(), qPrintable(m_fixture->error()));
        storeAcceptedVersion(accepted);
        auto app = makeApp();
        QSignalSpy finished(&app->delegate(), &AppDelegate::presentationFinished);
        QVERIFY(app->start());
        QTRY_COMPARE(finished.size(), 1);
        QCOMPARE(finished.first().first().toBool(), broughtForward);
    }

    // "Настройки" in the menu opens the closed window on the settings section and loads them.
    void settingsItemReopensTheWindowOnSettings()
    {
        QVERIFY2(m_fixture->start(), qPrintable(m_fixture->error()));
        storeAcceptedVersion(u"1.0"_s);
        auto app = makeApp(true);
        QVERIFY(app->start());
        QVERIFY(QTest::qWaitForWindowExposed(app->window()));
        app->window()->close();
        QTRY_VERIFY(!app->window()->isVisible());

        app->trayMenu()->menu()->findChild<QAction *>(u"traySettingsAction"_s)->trigger();
        QVERIFY(QTest::qWaitForWindowExposed(app->window()));
        // Without a tunnel the settings cannot be fetched: the model says so.
        QTRY_VERIFY_WITH_TIMEOUT(!app->model().message().isEmpty(), 30000);
    }

    // The running client hears a later start also where its data directory's path is too long
    // for a local socket's address (a long home folder, a deep temporary folder on a Mac).
    void aLaterStartReachesTheRunningClientWhateverItsFolder_data()
    {
        QTest::addColumn<QString>("folder");
        QTest::addRow("short path") << u"Vetron"_s;
        QTest::addRow("path too long for a socket") << QString(120, u'v');
    }

    void aLaterStartReachesTheRunningClientWhateverItsFolder()
    {
        QFETCH(QString, folder);
        QTemporaryDir base;
        const QDir data(base.filePath(folder));
        const QString serverName = SingleInstance::serverName(data.filePath(u"vetron.socket"_s));
        SingleInstance running(data.filePath(u"vetron.lock"_s), serverName);
        SingleInstance later(data.filePath(u"vetron.lock"_s), serverName);
        QVERIFY(running.claim());
        QVERIFY(!later.claim());
        QList<ClientCommand::Verb> asked;
        running.setHandler([&asked](ClientCommand::Verb verb) -> QCoro::Task<ClientCommand::Answer> {
            asked << verb;
            co_return ClientCommand::Answer { ProtectionState::blocked, u"Ждём"_s, true, {} };
        });
        const SingleInstance::Reply reply = awaitTask(later.ask(ClientCommand::Verb::show)).value.value();
        QCOMPARE(reply.outcome, SingleInstance::Reply::Outcome::answered);
        QCOMPARE(reply.answer.detail, u"Ждём"_s);
        QCOMPARE(asked, QList { ClientCommand::Verb::show });
    }

    // One client per user, with real client processes on this test's enrolled profile: a later
    // start asks the running client to show its window and ends, touching neither the proxies nor
    // the tunnel; the command line reads and switches the same client, each verb with its exit
    // status; a client that does not answer still keeps a later start away; a client killed
    // outright leaves no lock behind, and the command line says that none runs.
    void aLaterStartOnlyBringsTheRunningClientForward()
    {
        QVERIFY2(m_fixture->start(), qPrintable(m_fixture->error()));
        // What "--local-stack" reads: the stand-ins for the macOS tools, this test's servers.
        QTemporaryDir stack;
        QFile ca(stack.filePath(u"ca.pem"_s));
        QVERIFY(
            ca.open(QIODevice::WriteOnly) && ca.write(Test::trustedCertificates().caCertificatePem()) > 0);
        ca.close();
        QFile described(stack.filePath(u"client.json"_s));
        QVERIFY(described.open(QIODevice::WriteOnly));
        described.write(
            QJsonDocument(QJsonObject { { u"certificateAuthority"_s, ca.fileName() },
                              { u"toolFolder"_s, QStringLiteral(VETRON_STANDIN_DIR) },
                              { u"serverBase"_s, m_server->baseUrl().toString() },
                              { u"hostKey"_s, QString::fromLatin1(m_fixture->sshd().hostKeyLine()) } })
                .toJson());
        described.close();

        QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
        environment.insert(
            u"XDG_DATA_HOME"_s, QFileInfo(ClientPaths::root()).path()); // this test's data directory
        environment.insert(u"QT_QPA_PLATFORM"_s, u"offscreen"_s);
        std::vector<std::unique_ptr<QProcess>> clients;
        QList<QByteArray> output;
        const auto start = [&](QStringList arguments) {
            auto client = std::make_unique<QProcess>();
            client->setProcessEnvironment(environment);
            client->setProcessChannelMode(QProcess::MergedChannels);
            const qsizetype index = qsizetype(clients.size());
            output << QByteArray();
            connect(client.get(), &QProcess::readyRead, this,
                [&output, index, process = client.get()] { output[index] += process->readAll(); });
            client->start(QStringLiteral(VETRON_EXECUTABLE),
                QStringList { u"--local-stack"_s, stack.path() } + arguments);
            clients.push_back(std::move(client));
            return clients.back().get();
        };
        const auto finishes = [](QProcess *client) {
            return client->waitForFinished(30'000) && client->exitStatus() == QProcess::NormalExit
                && client->exitCode() == 0;
        };
        const QByteArray protectedLine
            = u"Ветрон: protected — Личные данные заменяются перед отправкой"_s.toUtf8();
        const auto sshPid = [] {
            QFile file(ClientPaths::sshPid());
            return file.open(QIODevice::ReadOnly) ? pid_t(file.readAll().trimmed().toInt()) : pid_t(0);
        };
        const auto cleanUp = qScopeGuard([&] {
            for (const auto &client : clients) {
                ::kill(pid_t(client->processId()), SIGCONT);
                client->kill();
                client->waitForFinished();
            }
            if (const pid_t ssh = sshPid())
                ::kill(ssh, SIGTERM); // a client that is simply ended leaves its ssh, by design
        });

        QProcess *first = start({ u"--hidden"_s });
        QTRY_VERIFY2_WITH_TIMEOUT(output[0].contains(protectedLine), output[0].constData(), 60000);
        const QStringList scripts = m_fixture->standIns().privilegedScripts();
        const pid_t ssh = sshPid();
        QVERIFY(ssh > 0);
        const QByteArray before = output[0];

        QProcess *second = start({});
        QVERIFY2(finishes(second), output[1].constData());
        QCOMPARE(output[1], QByteArray());
        // The hidden window came forward: its first picture is drawn.
        QTRY_VERIFY2(output[0].contains("Ветрон: окно показано"), output[0].constData());
        QCOMPARE(output[0].count("Ветрон: "), before.count("Ветрон: ") + 1);
        QCOMPARE(m_fixture->standIns().privilegedScripts(), scripts);
        QCOMPARE(sshPid(), ssh);
        QCOMPARE(::kill(ssh, 0), 0);
        // A build tree run against the local stack is no login item.
        QVERIFY(!QFileInfo::exists(Platform::autostartEntryPath()));

        // The command line asks the same client and waits for a switch's outcome.
        const auto command = [&environment](const QString &verb) {
            QProcess line;
            line.setProcessEnvironment(environment);
            line.setProcessChannelMode(QProcess::MergedChannels);
            line.start(QStringLiteral(VETRON_EXECUTABLE), { verb });
            // The servers of this process answer the client meanwhile.
            (void)QTest::qWaitFor([&line] { return line.state() == QProcess::NotRunning; }, 60'000);
            return std::pair(line.exitCode(), QString::fromUtf8(line.readAll()));
        };
        const QString protectedState = u"protected — Личные данные заменяются перед отправкой\n"_s;
        QCOMPARE(command(u"status"_s), std::pair(0, protectedState));
        QCOMPARE(command(u"off"_s), std::pair(0, u"disabled — Защита выключена\n"_s));
        QCOMPARE(command(u"status"_s).first, 4);
        QCOMPARE(command(u"on"_s), std::pair(0, protectedState));
        // A cancelled password dialog is a failed switch-off, told as such.
        m_fixture->standIns().setPasswordRefused(true);
        const auto refused = command(u"off"_s);
        m_fixture->standIns().setPasswordRefused(false);
        QCOMPARE(refused.first, 1);
        QVERIFY2(refused.second.startsWith(u"Не удалось выключить защиту.\nblocked — "_s),
            qPrintable(refused.second));
        QCOMPARE(command(u"on"_s), std::pair(0, protectedState));
        const QStringList switchedBack = m_fixture->standIns().privilegedScripts();

        ::kill(pid_t(first->processId()), SIGSTOP);
        QProcess *third = start({});
        QVERIFY2(finishes(third), output[2].constData());
        QVERIFY2(output[2].startsWith("Ветрон уже запущен, но не ответил"), output[2].constData());
        QCOMPARE(m_fixture->standIns().privilegedScripts(), switchedBack);

        first->kill();
        QVERIFY(first->waitForFinished());
        QCOMPARE(command(u"status"_s), std::pair(2, ClientCommand::notRunning + u'\n'));
        // "--render-previews" as the last argument starts the client as usual.
        QProcess *fourth = start({ u"--render-previews"_s });
        QTRY_VERIFY2_WITH_TIMEOUT(output[3].contains(protectedLine), output[3].constData(), 60000);
        QCOMPARE(fourth->state(), QProcess::Running);
    }
};

QTEST_MAIN(VetronMacAppTest)
#include "tst_VetronMacApp.moc"
