#include "Account/DeviceCredentialStore.h"
#include "AccountServer.h"
#include "App/AppModel.h"
#include "App/SessionOperations.h"
#include "TestSupport/AwaitTask.h"
#include "TestSupport/TestCertificates.h"
#include "TestSupport/TestFiles.h"
#include "TestSupport/TestProfile.h"
#include "TestSupport/TunnelFixture.h"
#include "Views/UpdateLook.h"

#include <QCryptographicHash>
#include <QDir>
#include <QProcess>
#include <QSignalSpy>
#include <QTest>

#include <csignal>

using namespace Qt::StringLiterals;
using namespace Vetron;
using Vetron::Test::awaitTask;
using Vetron::Test::TunnelFixture;

// Something asked of the model while an installation of `release` runs.
using Meanwhile = QCoro::Task<> (*)(AppModel &model, MacReleaseManifest release);
Q_DECLARE_METATYPE(Meanwhile)

class AppModelTest : public QObject
{
    Q_OBJECT

    std::unique_ptr<Tools::AccountServer> m_server;
    std::unique_ptr<TunnelFixture> m_fixture;
    WakeNotifier m_wake;
    int m_terminations = 0;
    std::function<void()> m_onTerminate;
    QList<MainSection> m_windows; // the section the window came forward on, each time

    std::unique_ptr<AppModel> makeModel(const QString &shell = {})
    {
        AppModel::Options options;
        m_fixture->prepare(options);
        options.environment.servers = { m_server->baseUrl(), m_server->baseUrl() };
        if (!shell.isEmpty())
            options.environment.tools.sh = shell;
        options.wake = &m_wake;
        options.terminate = [this]() {
            ++m_terminations;
            if (m_onTerminate)
                m_onTerminate();
        };
        const auto made = std::make_shared<QPointer<AppModel>>();
        options.showWindow = [this, made]() { m_windows << (*made)->section(); };
        auto model = std::make_unique<AppModel>(false, options);
        *made = model.get();
        return model;
    }

    // A release the installer stand-ins accept: a tar image holding the package, served by the
    // account server.
    MacReleaseManifest publishRelease() const
    {
        const QByteArray image = Test::releaseImage();
        m_server->setFile(u"/static/Vetron.dmg"_s, image);
        return { u"9.9.9"_s, m_server->baseUrl().toString() + u"/static/Vetron.dmg"_s,
            QString::fromLatin1(QCryptographicHash::hash(image, QCryptographicHash::Sha256).toHex()), {},
            std::nullopt, std::nullopt };
    }

    // Waits for a task a view would await; it must still be running when handed out.
    static bool finishes(OperationTask *task)
    {
        QSignalSpy finished(task, &OperationTask::finished);
        return task->running() && finished.wait(30000) && !task->running();
    }

    // Whether the ssh with `pid` is still there and the proxies still point at the tunnel.
    QString protectionLeft(qint64 pid) const
    {
        return u"ssh %1, proxies %2"_s.arg(::kill(pid_t(pid), 0) == 0 ? u"running"_s : u"gone"_s,
            m_fixture->proxiesPointAtTunnel() ? u"on the tunnel"_s : u"restored"_s);
    }

private Q_SLOTS:
    void init()
    {
        DeviceCredentialStore::forgetLegacyCheck();
        m_fixture = std::make_unique<TunnelFixture>();
        QVERIFY(m_server = Test::startAccountServer());
        m_terminations = 0;
        m_onTerminate = nullptr;
        m_windows.clear();
    }

    void cleanup()
    {
        m_fixture.reset();
        QTest::qWait(50);
    }

    void withoutAutoConnectNothingStarts()
    {
        QVERIFY2(m_fixture->start(), qPrintable(m_fixture->error()));
        auto model = makeModel();
        Q_EMIT m_wake.systemDidWake(); // nor does a wake-up, whose steps begin at once
        QCOMPARE(model->state(), ProtectionState::disabled);
        QVERIFY(!model->busy());
        QVERIFY(m_fixture->standIns().privilegedScripts().isEmpty());
    }

    void reportsAreAppliedInOrderWithDefaultsOnlyWithoutText()
    {
        auto model = makeModel();
        model->receiveReport(ProtectionState::blocked, QString());
        QTRY_COMPARE(model->detail(), u"Отправка данных остановлена"_s);
        model->receiveReport(ProtectionState::blocked, u""_s);
        QTRY_COMPARE(model->detail(), QString());

        QStringList details;
        connect(model.get(), &AppModel::detailChanged, this, [&]() { details << model->detail(); });
        for (int i = 0; i < 200; ++i)
            model->receiveReport(
                i % 2 ? ProtectionState::connecting : ProtectionState::blocked, QString::number(i));
        QTRY_COMPARE(details.size(), 200);
        for (int i = 0; i < 200; ++i)
            QCOMPARE(details.at(i), QString::number(i));
        QCOMPARE(model->state(), ProtectionState::connecting);
    }

    void refusedCredentialIsReplacedOnce()
    {
        // Without a credential or a device key to claim one with, no portal is asked.
        auto model = makeModel();
        QVERIFY(awaitTask(model->loadAccount()).finished);
        QVERIFY(!model->accountLoaded());
        QVERIFY(m_server->requests().isEmpty());

        QVERIFY2(m_fixture->start(), qPrintable(m_fixture->error())); // the device key pair
        DeviceCredentialStore::write(u"stale"_s);
        QVERIFY(awaitTask(model->loadAccount()).finished);
        QCOMPARE(model->accountMessage(), QString());
        QVERIFY(model->accountLoaded());
        QCOMPARE(model->device()->name, u"Mac"_s);
        // The stale credential was dropped once and one new one claimed.
        int claims = 0;
        for (const auto &request : m_server->requests())
            claims += request.path == u"/api/device-credential/claim"_s;
        QCOMPARE(claims, 1);

        // A later summary without subscription clears the earlier one.
        QJsonObject summary = m_server->summaryAnswer();
        summary.remove(u"subscription"_s);
        m_server->setSummaryAnswer(summary);
        QVERIFY(model->subscription());
        QVERIFY(awaitTask(model->loadAccount()).finished);
        QVERIFY(!model->subscription());

        // Refused, and no new credential to be had.
        DeviceCredentialStore::write(u"stale"_s);
        m_server->setOverride(u"/api/device-credential/claim"_s, 409, "{}");
        QVERIFY(awaitTask(model->loadAccount()).finished);
        QCOMPARE(model->accountMessage(),
            u"Привязка этого Mac устарела. Защита продолжает работать — повторно вводить ключ не нужно."_s);
        QVERIFY(!model->accountLoaded());
    }

    // Only an expired credential is dropped: a portal that fails otherwise leaves it in place.
    void otherPortalFailuresKeepTheCredential_data()
    {
        QTest::addColumn<int>("status"); // 0: no answer at all
        QTest::addRow("500") << 500;
        QTest::addRow("no answer") << 0;
    }

    void otherPortalFailuresKeepTheCredential()
    {
        QFETCH(int, status);
        DeviceCredentialStore::write(u"tok-1"_s);
        if (status == 0)
            m_server->close();
        else
            m_server->setOverride(u"/api/v1/device/summary"_s, status, "{}");
        auto model = makeModel();
        QVERIFY(awaitTask(model->loadAccount()).finished);
        QVERIFY(!model->accountLoaded());
        QCOMPARE(awaitTask(DeviceCredentialStore::read()).value, u"tok-1"_s);
    }

    // With the tunnel gone the session and settings operations end with texts; edits stay.
    void tunnelFailuresEndAsTextsAndKeepTheEdits()
    {
        QVERIFY2(m_fixture->start(), qPrintable(m_fixture->error()));
        auto model = makeModel();
        m_fixture->server().setSessions({ TunnelFixture::session(u"s1"_s, u"Договор"_s) });
        QVERIFY(awaitTask(TunnelFixture::tunnelOf(*model).enable()).finished);
        QVERIFY(finishes(model->startLoadSessions()));
        QCOMPARE(model->sessions().size(), 1);

        QVERIFY(awaitTask(Test::TunnelServiceAccess::stopSsh(TunnelFixture::tunnelOf(*model))).finished);
        SessionOperations operations;
        operations.setModel(model.get());
        QVERIFY(finishes(operations.rename(u"s1"_s, u"Другое"_s)));
        QVERIFY(!operations.error().isEmpty());
        QVERIFY(!operations.busy());
        QVERIFY(awaitTask(model->loadSessions()).finished);
        QVERIFY(model->sessions().isEmpty());
        QVERIFY(!model->sessionsMessage().isEmpty());

        ProtectionSettings edited { 7, true, { u"email"_s } };
        model->setSettings(edited);
        QVERIFY(awaitTask(model->saveSettings()).finished);
        QVERIFY(!model->message().isEmpty());
        QVERIFY(model->message() != u"Настройки сохранены."_s);
        QCOMPARE(model->settings().retentionDays, 7);
        QCOMPARE(model->settings().disabledCategories, QStringList { u"email"_s });
        QVERIFY(awaitTask(TunnelFixture::tunnelOf(*model).disable()).finished);
    }

    // A failed installation changes nothing; a finished one switches protection off, starts the
    // relaunch and only then quits, and neither while the switch-off fails.
    void installedUpdateSwitchesOffThenRelaunchesThenQuits()
    {
        QVERIFY2(m_fixture->start(), qPrintable(m_fixture->error()));
        // The relaunch goes through a shell of the test's that notes what it found and stops.
        const QString notes = Test::temporaryHome() + u"/relaunch"_s;
        const QString shell = notes + u"-shell"_s;
        QVERIFY(Test::writeFile(shell,
            u"#!/bin/sh\n"
            u"cp \"$VETRON_STANDIN_STATE/networksetup.json\" '%1.proxies'\n"
            u"printf '%s' \"$2\" > '%1.script' && mv '%1.script' '%1'\n"_s.arg(notes)
                .toUtf8()));
        QVERIFY(QFile::setPermissions(shell, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner));
        auto model = makeModel(shell);
        QVERIFY(awaitTask(TunnelFixture::tunnelOf(*model).enable()).finished);
        const qint64 ssh = Test::TunnelServiceAccess::sshProcessId(TunnelFixture::tunnelOf(*model));

        // A release that cannot be had leaves protection on and the application running.
        const MacReleaseManifest missing { u"9.9.9"_s, m_server->baseUrl().toString() + u"/static/none.dmg"_s,
            QString(64, u'0'), {}, std::nullopt, std::nullopt };
        QVERIFY(awaitTask(model->installUpdate(missing)).finished);
        QCOMPARE(model->updateState().kind, UpdateScreenState::Kind::failed);
        QCOMPARE(model->updateState().message, u"Не удалось скачать обновление."_s);
        QCOMPARE(protectionLeft(ssh), u"ssh running, proxies on the tunnel"_s);
        QCOMPARE(m_terminations, 0);

        // Installed, but the password dialog of the switch-off is cancelled: the proxies stay on
        // the tunnel's port, so the application neither relaunches nor ends; the window shows why.
        const MacReleaseManifest manifest = publishRelease();
        m_fixture->standIns().setPasswordRefused(true);
        QVERIFY(awaitTask(model->installUpdate(manifest)).finished);
        QCOMPARE(m_terminations, 0);
        QVERIFY(!QFile::exists(notes));
        QTRY_COMPARE(model->state(), ProtectionState::blocked); // the report is applied on the next turn
        QVERIFY2(model->detail().startsWith(u"Не удалось восстановить настройки сети: "_s),
            qPrintable(model->detail()));
        QCOMPARE(m_windows, QList<MainSection> { MainSection::protection });
        QCOMPARE(model->updateState().kind, UpdateScreenState::Kind::failed);
        QVERIFY(m_fixture->proxiesPointAtTunnel());

        // The relaunch must have been started, with protection already off, when the
        // application is asked to end.
        m_fixture->standIns().setPasswordRefused(false);
        QString atTermination;
        m_onTerminate = [&]() {
            atTermination = protectionLeft(ssh);
            if (!QTest::qWaitFor([&]() { return QFile::exists(notes); }, 20000))
                atTermination += u", no relaunch"_s;
        };
        QVERIFY(awaitTask(model->installUpdate(manifest)).finished);
        QCOMPARE(m_terminations, 1);
        QCOMPARE(atTermination, u"ssh gone, proxies restored"_s);
        QCOMPARE(model->updateState().kind, UpdateScreenState::Kind::downloading);

        // What the relaunch found when it started: the user's proxies back.
        QVERIFY(Test::readFile(notes + u".proxies"_s).contains("corp.example"));
        const QString relaunch = QString::fromUtf8(Test::readFile(notes));
        QVERIFY2(relaunch.contains(QString::number(QCoreApplication::applicationPid()))
                && relaunch.endsWith(u"/Applications/Ветрон.app'"_s),
            qPrintable(relaunch));
    }

    // While the installer writes the application, what the header, the tray and the updates
    // screen can ask for meanwhile neither replaces the installation's state, nor starts a second
    // installer, nor ends the application; the one installation then relaunches as designed.
    void anInstallationRunsAloneUntilItsRelaunch_data()
    {
        QTest::addColumn<Meanwhile>("meanwhile");
        QTest::addColumn<QString>("note"); // shown in the window, which comes forward with it
        QTest::addRow("check") << Meanwhile([](AppModel &model, MacReleaseManifest) {
            return model.checkUpdates();
        }) << QString();
        QTest::addRow("second installation") << Meanwhile([](AppModel &model, MacReleaseManifest release) {
            return model.installUpdate(release);
        }) << QString();
        const QString held = u"Ветрон нельзя закрыть, пока устанавливается обновление: после установки он "
                             u"перезапустится сам."_s;
        QTest::addRow("quit item") << Meanwhile([](AppModel &model, MacReleaseManifest) {
            return model.quit();
        }) << held;
        // The last window closed where there is no tray, or the system's quit.
        QTest::addRow("application quit") << Meanwhile([](AppModel &, MacReleaseManifest) -> QCoro::Task<> {
            QEvent quit(QEvent::Quit);
            QCoreApplication::sendEvent(QCoreApplication::instance(), &quit);
            co_return;
        }) << held;
    }

    void anInstallationRunsAloneUntilItsRelaunch()
    {
        QFETCH(Meanwhile, meanwhile);
        QFETCH(QString, note);
        auto model = makeModel(u"/bin/true"_s); // the relaunch starts nothing
        const MacReleaseManifest manifest = publishRelease();
        m_fixture->standIns().setInstallerHeld(true);
        OperationTask *installation = model->startInstallUpdate(manifest);
        QTRY_COMPARE_WITH_TIMEOUT(m_fixture->standIns().calls(u"installer"_s).size(), 1, 20000);

        QVERIFY(awaitTask(meanwhile(*model, manifest)).finished);
        QCOMPARE(model->updateState().kind, UpdateScreenState::Kind::downloading);
        QCOMPARE(model->updateState().manifest->url, manifest.url);
        QCOMPARE(UpdateLook::installingNote(model->updateState()), note);
        QCOMPARE(
            m_windows, note.isEmpty() ? QList<MainSection>() : QList<MainSection> { MainSection::updates });
        QCOMPARE(m_terminations, 0);

        m_fixture->standIns().setInstallerHeld(false);
        QVERIFY(finishes(installation));
        QCOMPARE(m_terminations, 1);
        QCOMPARE(m_fixture->standIns().calls(u"installer"_s).size(), 1);
    }
};

QTEST_GUILESS_MAIN(AppModelTest)
#include "tst_AppModel.moc"
