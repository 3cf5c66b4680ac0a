#include "App/AppModel.h"
#include "App/LicenseAcceptance.h"
#include "App/LicenseAgreement.h"
#include "Platform/Preferences.h"
#include "TestSupport/TestCertificates.h"
#include "TestSupport/TestFiles.h"
#include "TestSupport/TestProfile.h"
#include "TestSupport/ViewHarness.h"
#include "Views/Theme.h"

#include <QClipboard>
#include <QDesktopServices>
#include <QDir>
#include <QFileInfo>
#include <QGuiApplication>
#include <QMimeData>
#include <QScopeGuard>
#include <QSignalSpy>
#include <QTest>

using namespace Qt::StringLiterals;
using namespace Vetron;
using Vetron::Test::ViewHarness;

// The gate a new user passes: the agreement, its rules and its screen, then the activation screen.
class GateScreensTest : public QObject
{
    Q_OBJECT

    ViewHarness m_harness;

    std::unique_ptr<QQuickWindow> showActivation(AppModel &model, const QString &code = {})
    {
        return m_harness.show(
            u"ActivationView"_s, { { u"model"_s, QVariant::fromValue(&model) }, { u"code"_s, code } });
    }

    static QVariant storedVersion()
    {
        return Platform::Preferences().value(QLatin1StringView(LicenseAgreement::preferenceKey));
    }

private Q_SLOTS:
    void initTestCase()
    {
        // The store is the test profile's, never the user's own, and named after the product
        // whatever the process's names.
        QCoreApplication::setOrganizationName(u"VetronTest"_s);
        QCoreApplication::setApplicationName(u"tst_GateScreens"_s);
        const QString file = Platform::Preferences().fileName();
        QVERIFY2(file.startsWith(Test::temporaryHome() + u'/'), qPrintable(file));
#ifndef Q_OS_MACOS
        QCOMPARE(file, Test::temporaryHome() + u"/.config/Vetron/Vetron.conf"_s);
#endif
    }

    void init()
    {
        QTest::failOnWarning(QRegularExpression(u".*"_s));
        Platform::Preferences().remove(QLatin1StringView(LicenseAgreement::preferenceKey));
    }

    void onlyTheCurrentVersionCountsAsAccepted_data()
    {
        QTest::addColumn<QVariant>("stored");
        QTest::addColumn<bool>("accepted");
        QTest::addRow("nothing stored") << QVariant() << false;
        QTest::addRow("with a blank") << QVariant(u"1.0 "_s) << false;
        QTest::addRow("current version") << QVariant(u"1.0"_s) << true;
    }

    void onlyTheCurrentVersionCountsAsAccepted()
    {
        QFETCH(QVariant, stored);
        QFETCH(bool, accepted);
        if (stored.isValid()) // init() removed any earlier one
            Platform::Preferences().setValue(u"acceptedLicenseAgreementVersion"_s, stored);
        QCOMPARE(LicenseAgreement::isAccepted(), accepted);
    }

    // An acceptance stored where earlier versions kept it (no organisation: on Linux
    // ~/.config/Unknown Organization/Vetron.conf) is carried over once; a value already at the
    // new place wins; the old place is emptied either way.
    void earlierAcceptanceIsCarriedOverOnce_data()
    {
        QTest::addColumn<QVariant>("alreadyThere");
        QTest::addColumn<bool>("accepted");
        QTest::addRow("nothing at the new place") << QVariant() << true;
        QTest::addRow("an older version at the new place") << QVariant(u"0.9"_s) << false;
    }

    void earlierAcceptanceIsCarriedOverOnce()
    {
        QFETCH(QVariant, alreadyThere);
        QFETCH(bool, accepted);
        if (alreadyThere.isValid())
            Platform::Preferences().setValue(u"acceptedLicenseAgreementVersion"_s, alreadyThere);
        const auto earlier = [] {
            auto settings = std::make_unique<QSettings>(
                QSettings::defaultFormat(), QSettings::UserScope, QString(), u"Vetron"_s);
            settings->setFallbacksEnabled(false);
            return settings;
        };
#ifdef Q_OS_MACOS
        earlier()->setValue(u"acceptedLicenseAgreementVersion"_s, u"1.0"_s);
#else
        const QString folder = Test::temporaryHome() + u"/.config/Unknown Organization"_s;
        QCOMPARE(earlier()->fileName(), folder + u"/Vetron.conf"_s);
        QVERIFY(QDir().mkpath(folder));
        // What all of that organisation's applications share is not the client's to take (on
        // macOS: the global domain).
        QVERIFY(Test::writeFile(folder + u".conf"_s, "[General]\nsharedByAll=1\n"));
        const auto removeShared = qScopeGuard([&] { QFile::remove(folder + u".conf"_s); });
        QVERIFY(
            Test::writeFile(folder + u"/Vetron.conf"_s, "[General]\nacceptedLicenseAgreementVersion=1.0\n"));
#endif
        Platform::Preferences::carryOver();
        QCOMPARE(LicenseAgreement::isAccepted(), accepted);
        QVERIFY(earlier()->allKeys().isEmpty());
#ifndef Q_OS_MACOS
        QVERIFY(!QFileInfo::exists(folder));
        QVERIFY(!Platform::Preferences().contains(u"sharedByAll"_s));
#endif
    }

    // The gate and the agreement screen each hold an instance: accepting through one must
    // redraw the other at once, and only once.
    void acceptanceReachesEveryInstanceOnce()
    {
        Platform::Preferences().setValue(u"acceptedLicenseAgreementVersion"_s, u"0.9"_s);
        LicenseAcceptance gate;
        auto screen = std::make_unique<LicenseAcceptance>();
        QSignalSpy gateChanged(&gate, &LicenseAcceptance::acceptedChanged);
        QVERIFY(!gate.accepted());

        screen->accept();
        QCOMPARE(gateChanged.size(), 1);
        QVERIFY(gate.accepted() && screen->accepted());
        screen.reset();
        LicenseAgreement::accept();
        QCOMPARE(gateChanged.size(), 1);
    }

    void shippedTextUnlessOverriddenOrMissing()
    {
        QVERIFY(LicenseAgreement::text().contains(u"Версия 1.0"_s));
        LicenseAgreement::setTextOverride(u""_s);
        QCOMPARE(LicenseAgreement::text(), QString());
        LicenseAgreement::setTextOverride(std::nullopt);
        QVERIFY(LicenseAgreement::text().startsWith(u"ПОЛЬЗОВАТЕЛЬСКОЕ СОГЛАШЕНИЕ"_s));
    }
    void choiceStoresOnlyAnAcceptance_data()
    {
        QTest::addColumn<QString>("button");
        QTest::addColumn<QVariant>("stored");
        QTest::addRow("accept") << u"licenseAcceptButton"_s << QVariant(u"1.0"_s);
        QTest::addRow("decline") << u"licenseDeclineButton"_s << QVariant();
    }

    void choiceStoresOnlyAnAcceptance()
    {
        QFETCH(QString, button);
        QFETCH(QVariant, stored);
        // In front of everything, as the gate shows it: declining ends the application.
        const auto model = ViewHarness::makeModel();
        const auto window
            = m_harness.show(u"RootView"_s, { { u"model"_s, QVariant::fromValue(model.get()) } });
        QObject *view = ViewHarness::item(*window, u"rootScreen"_s)->property("item").value<QObject *>();
        QSignalSpy quits(qmlEngine(view), &QQmlEngine::quit);
        // What the gate finds in the store at the moment it hears the outcome.
        connect(view, SIGNAL(accepted()), this, SLOT(noteOutcome()));
        connect(view, SIGNAL(declined()), this, SLOT(noteOutcome()));
        // The text takes the room the window has; the buttons keep the height of one.
        const QQuickItem *decline = ViewHarness::item(*window, u"licenseDeclineButton"_s);
        QCOMPARE(decline->height(), ViewHarness::item(*window, u"licenseAcceptButton"_s)->height());
        QVERIFY(ViewHarness::item(*window, u"licenseTextBox"_s)->height() > 5 * decline->height());
        m_outcomes.clear();
        ViewHarness::click(*window, *ViewHarness::item(*window, u"licenseConfirmToggle"_s));
        ViewHarness::click(*window, *ViewHarness::item(*window, button));
        QCOMPARE(m_outcomes, QStringList { stored.toString() });
        QCOMPARE(storedVersion(), stored);
        QCOMPARE(quits.size(), stored.isValid() ? 0 : 1);
    }

    void unreadableAgreementSaysSoAndCanBeAccepted()
    {
        LicenseAgreement::setTextOverride(LicenseAgreement::textAt(u":/Vetron/absent.txt"_s));
        const auto window = m_harness.show(u"LicenseAgreementView"_s, {});
        LicenseAgreement::setTextOverride(std::nullopt);
        QCOMPARE(ViewHarness::item(*window, u"licenseText"_s)->property("text").toString(),
            u"Не удалось загрузить пользовательское соглашение. Переустановите Ветрон."_s);
        ViewHarness::click(*window, *ViewHarness::item(*window, u"licenseConfirmToggle"_s));
        ViewHarness::click(*window, *ViewHarness::item(*window, u"licenseAcceptButton"_s));
        QCOMPARE(storedVersion(), QVariant(u"1.0"_s));
    }

    void pasteTakesTheClipboardTrimmed_data()
    {
        QTest::addColumn<QVariant>("clipboard");
        QTest::addColumn<QString>("key");
        QTest::addRow("blanks at both ends") << QVariant(u" \r\n\tVTR-ABCD-1234 \n"_s) << u"VTR-ABCD-1234"_s;
        QTest::addRow("no text") << QVariant() << u"typed"_s;
    }

    void pasteTakesTheClipboardTrimmed()
    {
        QFETCH(QVariant, clipboard);
        QFETCH(QString, key);
        auto *data = new QMimeData;
        if (clipboard.isValid())
            data->setText(clipboard.toString());
        else
            data->setImageData(QImage(4, 4, QImage::Format_RGB32));
        QGuiApplication::clipboard()->setMimeData(data);
        auto model = ViewHarness::makeModel();
        const auto window = showActivation(*model, u"typed"_s);
        ViewHarness::click(*window, *ViewHarness::item(*window, u"activationPasteButton"_s));
        QCOMPARE(ViewHarness::item(*window, u"activationKeyField"_s)->property("text").toString(), key);
    }

    void rejectedKeyStaysWithTheReasonInDanger()
    {
        auto model = ViewHarness::makeModel();
        const auto window = showActivation(*model, u"VTR-12"_s);
        const QQuickItem *message = ViewHarness::item(*window, u"activationMessage"_s);
        QVERIFY(!message->isVisible());

        ViewHarness::click(*window, *ViewHarness::item(*window, u"activationButton"_s));
        QTRY_COMPARE(model->message(), u"Введите ключ из личного кабинета целиком."_s);
        QTRY_VERIFY(!model->busy());
        QVERIFY(message->isVisible());
        QCOMPARE(message->property("color").value<QColor>(), Theme::danger());
        QCOMPARE(
            ViewHarness::item(*window, u"activationKeyField"_s)->property("text").toString(), u"VTR-12"_s);
        const QQuickItem *button = ViewHarness::item(*window, u"activationButton"_s);
        QCOMPARE(button->property("text").toString(), u"Активировать"_s);
        QVERIFY(button->isEnabled());
    }

    void whileEnrollingTheButtonWaitsAndTheMessageIsMuted()
    {
        const auto server = Test::startAccountServer();
        QVERIFY(server);
        server->setOverride(u"/api/enroll"_s, 500, {}, 1000); // refused, a while after it arrived
        auto model = ViewHarness::makeModel({}, server->baseUrl());
        const auto window = showActivation(*model, u"VTR-ABCD-EFGH-IJKL-MNOP"_s);
        QSignalSpy reached(server.get(), &Tools::AccountServer::requestReceived);
        ViewHarness::click(*window, *ViewHarness::item(*window, u"activationButton"_s));
        QVERIFY(reached.wait(30000));

        const QQuickItem *button = ViewHarness::item(*window, u"activationButton"_s);
        const QQuickItem *message = ViewHarness::item(*window, u"activationMessage"_s);
        QCOMPARE(button->property("text").toString(), u"Подключаем…"_s);
        QVERIFY(!button->isEnabled());
        QVERIFY(message->isVisible());
        QCOMPARE(message->property("text").toString(), u"Активируем устройство…"_s);
        QCOMPARE(message->property("color").value<QColor>(), Theme::muted());
        QTRY_VERIFY_WITH_TIMEOUT(!model->busy(), 30000); // so that nothing outlives the test
    }

    void portalLinkOpensThePersonalAccount()
    {
        QDesktopServices::setUrlHandler(u"https"_s, this, "openUrl");
        auto model = ViewHarness::makeModel();
        const auto window = showActivation(*model);
        ViewHarness::click(*window, *ViewHarness::item(*window, u"activationPortalLink"_s));
        QDesktopServices::unsetUrlHandler(u"https"_s);
        QCOMPARE(m_opened, QList<QUrl> { QUrl(u"https://127.0.0.1:1/app"_s) });
    }

public Q_SLOTS:
    void noteOutcome()
    {
        m_outcomes << storedVersion().toString();
    }
    // Takes the URLs the views hand to the browser.
    void openUrl(const QUrl &url)
    {
        m_opened << url;
    }

private:
    QStringList m_outcomes;
    QList<QUrl> m_opened;
};

QTEST_MAIN(GateScreensTest)
#include "tst_GateScreens.moc"
