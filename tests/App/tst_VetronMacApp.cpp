#include "App/LicenseAgreement.h"
#include "App/TrayMenu.h"
#include "App/VetronMacApp.h"
#include "Account/DeviceCredentialStore.h"

#include "AccountServer.h"
#include "TestSupport/AwaitTask.h"
#include "TestSupport/TestCertificates.h"
#include "TestSupport/TunnelFixture.h"
#include "TestSupport/ViewHarness.h"

#include <QAction>
#include <QDir>
#include <QGuiApplication>
#include <QMenu>
#include <QQuickItem>
#include <QQuickWindow>
#include <QSettings>
#include <QSignalSpy>
#include <QTest>

using namespace Qt::StringLiterals;
using namespace Vetron;
using Vetron::Test::TunnelFixture;
using Vetron::Test::ViewHarness;
using Vetron::Test::awaitTask;

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
        options.model.tunnel = m_fixture->serviceOptions();
        options.model.servers = { m_server->baseUrl(), m_server->baseUrl() };
        options.model.tools = m_fixture->standIns().tools();
        options.model.wake = &m_wake;
        options.autoConnect = false;
        options.launchAtLogin = { [] { return true; }, [] {} };
        options.trayAvailable = trayAvailable;
        return std::make_unique<VetronMacApp>(std::move(options));
    }

    static void storeAcceptedVersion(const QString &version)
    {
        QSettings().setValue(QString::fromLatin1(LicenseAgreement::preferenceKey), version);
    }

    static QQuickItem *item(VetronMacApp &app, const QString &name)
    {
        return ViewHarness::find(*app.window(), name);
    }

private Q_SLOTS:
    void initTestCase()
    {
        QQuickWindow::setGraphicsApi(QSGRendererInterface::Software);
    }

    void init()
    {
        DeviceCredentialStore::forgetLegacyCheck();
        m_fixture = std::make_unique<TunnelFixture>();
        QVERIFY(m_server = Test::startAccountServer());
    }

    void cleanup()
    {
        m_fixture.reset();
        QSettings().clear();
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
        QCOMPARE(QSettings().value(QString::fromLatin1(LicenseAgreement::preferenceKey)).toString(), u"1.0"_s);

        item(*app, u"activationKeyField"_s)->setProperty("text", key);
        ViewHarness::click(window, *item(*app, u"activationButton"_s));
        QTRY_VERIFY_WITH_TIMEOUT(item(*app, u"mainBrandButton"_s), 30000);
        QVERIFY(!item(*app, u"activationKeyField"_s));
        QTRY_VERIFY_WITH_TIMEOUT(!app->model().busy(), 30000);
        QVERIFY(awaitTask(app->model().tunnel->disable()).finished);
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

    // With a tray the application outlives its window and the menu brings it back; without
    // one, closing the window is the way to quit.
    void quitOnLastWindowClosedOnlyWithoutATray_data()
    {
        QTest::addColumn<bool>("trayAvailable");
        QTest::addRow("tray") << true;
        QTest::addRow("no tray") << false;
    }

    void quitOnLastWindowClosedOnlyWithoutATray()
    {
        QFETCH(bool, trayAvailable);
        storeAcceptedVersion(u"1.0"_s);
        auto app = makeApp(trayAvailable);
        QVERIFY(app->start());
        QCOMPARE(QGuiApplication::quitOnLastWindowClosed(), !trayAvailable);
        QCOMPARE(app->trayMenu() != nullptr, trayAvailable);
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
};

QTEST_MAIN(VetronMacAppTest)
#include "tst_VetronMacApp.moc"
