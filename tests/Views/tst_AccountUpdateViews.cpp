#include "Account/DeviceCredentialStore.h"
#include "AccountServer.h"
#include "App/AppModel.h"
#include "TestSupport/TestCertificates.h"
#include "TestSupport/ViewHarness.h"
#include "Views/Theme.h"

#include <QCursor>
#include <QDesktopServices>
#include <QDir>
#include <QGuiApplication>
#include <QJsonDocument>
#include <QLocale>
#include <QTest>

using namespace Qt::StringLiterals;
using namespace Vetron;
using Vetron::Test::ViewHarness;
using Kind = UpdateScreenState::Kind;

// The account and updates screens loaded for real against the model, driven by its preview
// setters or by the local account portal stand-in.
class AccountUpdateViewsTest : public QObject
{
    Q_OBJECT

    std::unique_ptr<Tools::AccountServer> m_server;
    ViewHarness m_harness;
    QList<QUrl> m_opened;

    std::unique_ptr<QQuickWindow> show(const QString &view, AppModel &model)
    {
        return m_harness.show(view, { { u"model"_s, QVariant::fromValue(&model) } });
    }

    int requestsFor(const QString &path) const
    {
        int count = 0;
        for (const auto &request : m_server->requests())
            count += request.path == path;
        return count;
    }

    static MacReleaseManifest manifest(std::optional<QString> title = std::nullopt,
        std::optional<QStringList> notes = std::nullopt, const QString &url = {})
    {
        return { u"1.4.2"_s, url.isEmpty() ? u"https://127.0.0.1:1/Vetron.dmg"_s : url, QString(64, u'0'), {},
            std::move(title), std::move(notes) };
    }

public Q_SLOTS:
    void openUrl(const QUrl &url) { m_opened << url; }

private Q_SLOTS:
    void initTestCase()
    {
        QDesktopServices::setUrlHandler(u"https"_s, this, "openUrl");
        // Away from every window, so that no tooltip shows in the pictures.
        QCursor::setPos(5000, 5000);
    }

    void cleanupTestCase() { QDesktopServices::unsetUrlHandler(u"https"_s); }

    void init()
    {
        QTest::failOnWarning(QRegularExpression(u".*"_s));
        DeviceCredentialStore::forgetLegacyCheck();
        QFile::remove(DeviceCredentialStore::file());
        QVERIFY(m_server = Test::startAccountServer());
        m_opened.clear();
    }

    void accountLoadIsCancelledWhenTheScreenGoesAway()
    {
        DeviceCredentialStore::write(u"device-token"_s);
        m_server->acceptDeviceToken(u"device-token"_s);
        // Long enough for the screen to be shown and looked at while the load waits.
        m_server->setOverride(u"/api/v1/device/summary"_s, 0, {}, 5000);
        auto model = ViewHarness::makeModel({}, m_server->baseUrl());
        const auto window = show(u"MainView"_s, *model);
        ViewHarness::click(*window, *ViewHarness::item(*window, u"accountSectionButton"_s));
        QVERIFY(model->busy());
        QVERIFY(ViewHarness::shown(*window, u"accountProgress"_s));
        QCOMPARE(
            ViewHarness::text(*window, u"accountMessage"_s), u"Получаем информацию по ключу этого Mac…"_s);
        QCOMPARE(ViewHarness::item(*window, u"accountMessage"_s)->property("color").value<QColor>(),
            Theme::muted());
        QVERIFY(!ViewHarness::shown(*window, u"accountRetryButton"_s));
        QVERIFY(!ViewHarness::shown(*window, u"accountDashboard"_s));
        ViewHarness::keepPicture(*window, u"account-loading"_s);
        ViewHarness::click(*window, *ViewHarness::item(*window, u"sectionBackButton"_s));
        // The summary arrives after the screen has gone: none of it is applied.
        QTRY_VERIFY_WITH_TIMEOUT(!model->busy(), 20000);
        QVERIFY(!model->accountLoaded());
        QVERIFY(!model->device());
    }

    void failedLoadOffersARetryThatShowsTheDashboard()
    {
        auto model = ViewHarness::makeModel({}, m_server->baseUrl());
        model->open(MainSection::account);
        const auto window = show(u"AccountView"_s, *model);
        QTRY_VERIFY_WITH_TIMEOUT(!model->busy(), 20000);
        QVERIFY(ViewHarness::text(*window, u"accountMessage"_s)
                    .startsWith(u"Не удалось автоматически получить сведения о подписке."_s));
        QCOMPARE(ViewHarness::item(*window, u"accountMessage"_s)->property("color").value<QColor>(),
            Theme::danger());
        QVERIFY(ViewHarness::shown(*window, u"accountRetryButton"_s));
        QVERIFY(!ViewHarness::shown(*window, u"accountProgress"_s));
        ViewHarness::keepPicture(*window, u"account-failed"_s);

        DeviceCredentialStore::write(u"device-token"_s);
        m_server->acceptDeviceToken(u"device-token"_s);
        const QDateTime end = QDateTime::currentDateTimeUtc().addSecs(36 * 3600);
        QJsonObject summary = m_server->summaryAnswer();
        summary[u"device"_s] = QJsonObject { { u"name"_s, u"Рабочий Mac"_s }, { u"status"_s, u"active"_s } };
        summary[u"subscription"_s]
            = QJsonObject { { u"status"_s, u"past_due"_s }, { u"period_end"_s, end.toString(Qt::ISODate) } };
        m_server->setSummaryAnswer(summary);
        ViewHarness::click(*window, *ViewHarness::item(*window, u"accountRetryButton"_s));
        QTRY_VERIFY_WITH_TIMEOUT(model->accountLoaded(), 20000);
        QVERIFY(ViewHarness::shown(*window, u"accountDashboard"_s));
        QVERIFY(!ViewHarness::shown(*window, u"accountLoadingBlock"_s));
        QCOMPARE(ViewHarness::text(*window, u"accountSubscription"_s),
            u"Ожидает продления · до "_s + end.toLocalTime().toString(u"dd.MM.yy"_s));
        QVERIFY(ViewHarness::shown(*window, u"accountDaysLeft"_s));
        QVERIFY(ViewHarness::shownTexts(*window).contains(u"2 дней"_s));
        QCOMPARE(ViewHarness::text(*window, u"accountDevice"_s), u"Рабочий Mac · macOS"_s);
        ViewHarness::keepPicture(*window, u"account-dashboard"_s);

        ViewHarness::click(*window, *ViewHarness::item(*window, u"accountPortalButton"_s));
        QCOMPARE(m_opened, QList<QUrl> { QUrl(m_server->baseUrl().toString() + u"/app"_s) });
    }

    void dashboardWithoutCapsule_data()
    {
        QTest::addColumn<bool>("withSubscription");
        QTest::addColumn<QString>("subscription");
        QTest::addColumn<QString>("device");
        QTest::addRow("no subscription, no device")
            << false << u"Нет активной подписки"_s << u"Компьютер · macOS"_s;
        QTest::addRow("ended yesterday") << true << u"Истекла · до "_s << u"Mac mini · macOS"_s;
    }

    void dashboardWithoutCapsule()
    {
        QFETCH(bool, withSubscription);
        QFETCH(QString, subscription);
        QFETCH(QString, device);
        auto model = ViewHarness::makeModel({}, m_server->baseUrl());
        const auto window = show(u"AccountView"_s, *model);
        QTRY_VERIFY_WITH_TIMEOUT(!model->busy(), 20000); // the load on appearing, failed
        if (withSubscription) {
            model->setSubscription(
                SubscriptionInfo { u"expired"_s, QDateTime::currentDateTimeUtc().addDays(-1) });
            model->setDevice(DeviceInfo { u"Mac mini"_s, std::nullopt, u"active"_s });
        }
        model->setAccountLoaded(true);
        QVERIFY(ViewHarness::text(*window, u"accountSubscription"_s).startsWith(subscription));
        QCOMPARE(ViewHarness::text(*window, u"accountDevice"_s), device);
        QVERIFY(!ViewHarness::shown(*window, u"accountDaysLeft"_s));
        ViewHarness::keepPicture(*window, u"account"_s);
    }

    void updateCardFollowsTheState_data()
    {
        QTest::addColumn<UpdateScreenState>("state");
        QTest::addColumn<QString>("card");
        QTest::addColumn<bool>("installOffered");
        QTest::addColumn<QStringList>("texts");
        QTest::addColumn<QStringList>("absent");
        QTest::addRow("idle") << UpdateScreenState::of(Kind::idle) << u"updateActionCard"_s << false
                              << QStringList { u"Проверить наличие новой версии"_s,
                                     u"Ветрон проверит официальный сервер обновлений."_s,
                                     u"Проверить обновления"_s }
                              << QStringList();
        QTest::addRow("checking") << UpdateScreenState::of(Kind::checking) << u"updateCheckingRow"_s << false
                                  << QStringList { u"Проверяем обновления…"_s } << QStringList();
        QTest::addRow("failed") << UpdateScreenState::failed(u"Сервер обновлений недоступен."_s)
                                << u"updateStatusCard"_s << false
                                << QStringList { u"Не удалось проверить обновления"_s,
                                       u"Сервер обновлений недоступен."_s, u"Проверить ещё раз"_s }
                                << QStringList();
        QTest::addRow("current") << UpdateScreenState::of(Kind::current) << u"updateStatusCard"_s << false
                                 << QStringList { u"Установлена последняя версия"_s,
                                        u"Новых обновлений сейчас нет."_s, u"Проверить ещё раз"_s }
                                 << QStringList();
        QTest::addRow("available without title and notes")
            << UpdateScreenState::withManifest(Kind::available, manifest()) << u"updateReleaseCard"_s << true
            << QStringList { u"Доступна версия 1.4.2"_s, u"Улучшения и исправления Ветрона"_s,
                   u"Повышена стабильность и безопасность приложения."_s, u"Скачать и установить"_s }
            << QStringList();
        QTest::addRow("available with an empty notes list")
            << UpdateScreenState::withManifest(Kind::available, manifest(u"Весенний выпуск"_s, QStringList()))
            << u"updateReleaseCard"_s << true << QStringList { u"Весенний выпуск"_s }
            << QStringList { u"Повышена стабильность и безопасность приложения."_s,
                   u"Улучшения и исправления Ветрона"_s };
        // After a quit asked for during the installation, the card says why nothing closed.
        UpdateScreenState downloading = UpdateScreenState::withManifest(
            Kind::downloading, manifest(std::nullopt, QStringList { u"Быстрее"_s, u"Тише"_s }));
        downloading.message = u"Ветрон перезапустится сам."_s;
        QTest::addRow("downloading") << downloading << u"updateReleaseCard"_s << false
                                     << QStringList { u"Быстрее"_s, u"Тише"_s,
                                            u"Скачиваем и устанавливаем обновление…"_s, downloading.message }
                                     << QStringList { u"Скачать и установить"_s };
        QTest::addRow("downloaded") << UpdateScreenState::withManifest(Kind::downloaded, manifest())
                                    << u"updateReleaseCard"_s << false
                                    << QStringList { u"Обновление установлено. Ветрон перезапускается…"_s }
                                    << QStringList { u"Скачать и установить"_s };
    }

    void updateCardFollowsTheState()
    {
        QFETCH(UpdateScreenState, state);
        QFETCH(QString, card);
        QFETCH(bool, installOffered);
        QFETCH(QStringList, texts);
        QFETCH(QStringList, absent);
        auto model = ViewHarness::makeModel({}, m_server->baseUrl());
        model->setVersionOverride(u"1.3.0"_s);
        model->setUpdateState(state);
        const auto window = show(u"UpdateView"_s, *model);
        const QStringList cards { u"updateActionCard"_s, u"updateCheckingRow"_s, u"updateStatusCard"_s,
            u"updateReleaseCard"_s };
        for (const QString &name : cards)
            QVERIFY2(ViewHarness::shown(*window, name) == (name == card), qPrintable(name));
        QCOMPARE(ViewHarness::shown(*window, u"updateInstallButton"_s), installOffered);
        const QStringList seen = ViewHarness::shownTexts(*window);
        QVERIFY(seen.contains(u"Установлена версия 1.3.0"_s));
        for (const QString &expected : texts)
            QVERIFY2(seen.contains(expected), qPrintable(expected + u" in "_s + seen.join(u" | "_s)));
        for (const QString &unexpected : absent)
            QVERIFY2(!seen.contains(unexpected), qPrintable(unexpected));
        if (card == u"updateStatusCard"_s) // a failed check in orange, an up-to-date version in green
            QCOMPARE(ViewHarness::item(*window, u"updateStatusSymbol"_s)->property("color").value<QColor>(),
                state.kind == Kind::failed ? Theme::systemOrange() : Theme::systemGreen());
        ViewHarness::keepPicture(*window, u"update"_s);
    }

    // A note that wraps is as tall as its lines, and the next one starts below it.
    void wrappedReleaseNotesStayApart()
    {
        auto model = ViewHarness::makeModel({}, m_server->baseUrl());
        const QStringList notes { u"Разделы главного экрана открываются иконками в шапке. "_s.repeated(2),
            u"Тише"_s };
        model->setUpdateState(
            UpdateScreenState::withManifest(Kind::available, manifest(std::nullopt, notes)));
        const auto window = show(u"UpdateView"_s, *model);
        const QList<QQuickItem *> lines = ViewHarness::item(*window, u"updateReleaseNotes"_s)->childItems();
        QVERIFY(lines.size() > 2 && lines[0]->height() > lines[1]->height());
        QVERIFY(lines[0]->y() + lines[0]->height() <= lines[1]->y());
    }

    void checkButtonsAskTheServerAgain()
    {
        const QString manifestPath = u"/api/v1/releases/macos/stable"_s;
        auto model = ViewHarness::makeModel({}, m_server->baseUrl());
        const auto window = show(u"UpdateView"_s, *model);
        ViewHarness::click(*window, *ViewHarness::item(*window, u"updateCheckButton"_s));
        QTRY_COMPARE_WITH_TIMEOUT(ViewHarness::text(*window, u"updateStatusText"_s),
            u"Обновления для macOS пока не опубликованы."_s, 20000);
        QCOMPARE(requestsFor(manifestPath), 1);
        ViewHarness::click(*window, *ViewHarness::item(*window, u"updateRetryButton"_s));
        QTRY_COMPARE_WITH_TIMEOUT(requestsFor(manifestPath), 2, 20000);
    }

    void declinedAgreementKeepsTheOfferAndAsksAgain()
    {
        const QString download = u"/static/Vetron.dmg"_s;
        auto model = ViewHarness::makeModel({}, m_server->baseUrl());
        model->setUpdateState(UpdateScreenState::withManifest(Kind::available,
            manifest(std::nullopt, std::nullopt, m_server->baseUrl().toString() + download)));
        const auto window = show(u"UpdateView"_s, *model);

        ViewHarness::click(*window, *ViewHarness::item(*window, u"updateInstallButton"_s));
        QTRY_VERIFY(ViewHarness::shown(*window, u"licenseDeclineButton"_s));
        ViewHarness::keepPicture(*window, u"update-agreement-sheet"_s);
        ViewHarness::click(*window, *ViewHarness::item(*window, u"licenseDeclineButton"_s));
        QTRY_VERIFY(!ViewHarness::shown(*window, u"licenseDeclineButton"_s));
        QCOMPARE(model->updateState().kind, Kind::available);
        QVERIFY(ViewHarness::shown(*window, u"updateInstallButton"_s));

        // Asked again, with the confirmation cleared; accepting installs the release offered at
        // the press, even when a check offers another while the sheet is open.
        ViewHarness::click(*window, *ViewHarness::item(*window, u"updateInstallButton"_s));
        QTRY_VERIFY(ViewHarness::shown(*window, u"licenseAcceptButton"_s));
        QVERIFY(!ViewHarness::item(*window, u"licenseConfirmToggle"_s)->property("checked").toBool());
        const QString later = u"/static/Later.dmg"_s;
        model->setUpdateState(UpdateScreenState::withManifest(
            Kind::available, manifest(std::nullopt, std::nullopt, m_server->baseUrl().toString() + later)));
        QCOMPARE(requestsFor(download), 0);
        ViewHarness::click(*window, *ViewHarness::item(*window, u"licenseConfirmToggle"_s));
        ViewHarness::click(*window, *ViewHarness::item(*window, u"licenseAcceptButton"_s));
        QCOMPARE(model->updateState().kind, Kind::downloading);
        QVERIFY(!ViewHarness::shown(*window, u"updateInstallButton"_s));
        QTRY_VERIFY(!ViewHarness::shown(*window, u"licenseAcceptButton"_s));
        QTRY_COMPARE_WITH_TIMEOUT(model->updateState().kind, Kind::failed, 20000);
        QCOMPARE(requestsFor(download), 1);
        QCOMPARE(requestsFor(later), 0);
    }
};

QTEST_MAIN(AccountUpdateViewsTest)
#include "tst_AccountUpdateViews.moc"
