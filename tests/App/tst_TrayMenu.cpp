#include "App/AppModel.h"
#include "App/LicenseAgreement.h"
#include "App/TrayMenu.h"
#include "Platform/Preferences.h"
#include "TestSupport/AwaitTask.h"
#include "TestSupport/TunnelFixture.h"

#include <QAction>
#include <QMenu>
#include <QSystemTrayIcon>
#include <QTest>

#include <csignal>

using namespace Qt::StringLiterals;
using namespace Vetron;
using Vetron::Test::awaitTask;
using Vetron::Test::TunnelFixture;

class TrayMenuTest : public QObject
{
    Q_OBJECT

    std::unique_ptr<TunnelFixture> m_fixture;
    std::unique_ptr<AppModel> m_model;
    std::unique_ptr<TrayMenu> m_tray;
    // What the application saw: each window request with the section at that moment, the
    // termination with what protection had left behind.
    QStringList m_events;
    QList<ProtectionState> m_iconsAsked;
    qint64 m_ssh = 0; // the tunnel's ssh when the quit was asked for

    void makeTray()
    {
        AppModel::Options options;
        m_fixture->prepare(options);
        // Nothing answers here: an update check fails at once instead of reaching out.
        options.environment.servers = { QUrl(u"https://127.0.0.1:1"_s), QUrl(u"https://127.0.0.1:1"_s) };
        options.terminate = [this]() {
            m_events << u"terminate: ssh %1, proxies %2"_s.arg(
                ::kill(pid_t(m_ssh), 0) == 0 ? u"running"_s : u"gone"_s,
                m_fixture->proxiesPointAtTunnel() ? u"on the tunnel"_s : u"restored"_s);
        };
        const auto showWindow
            = [this]() { m_events << u"window on section %1"_s.arg(int(m_model->section())); };
        options.showWindow = showWindow;
        m_model = std::make_unique<AppModel>(false, options);
        m_tray = std::make_unique<TrayMenu>(*m_model, showWindow, [this](ProtectionState state) {
            m_iconsAsked << state;
            return TrayMenu::fallbackIcon(state);
        });
    }

    QAction *item(const char *name) const
    {
        auto *action = m_tray->menu()->findChild<QAction *>(QLatin1StringView(name));
        if (!action)
            qFatal("no menu item %s", name);
        return action;
    }

private Q_SLOTS:
    void init()
    {
        m_fixture = std::make_unique<TunnelFixture>();
        m_events.clear();
        m_iconsAsked.clear();
    }

    void cleanup()
    {
        m_tray.reset();
        m_model.reset();
        m_fixture.reset();
        Platform::Preferences().clear();
    }

    // Until the window shows the main screen the menu offers no way into its sections (before,
    // "Настройки" only put "Ветрон не активирован." on the activation screen); protection waits
    // for enrollment alone. Accepting the agreement frees the sections at once.
    void sectionItemsWaitForTheMainScreen_data()
    {
        QTest::addColumn<bool>("enrolled");
        QTest::addColumn<QString>("accepted");
        QTest::addColumn<QStringList>("labels");
        QTest::addRow("not enrolled")
            << false << u"1.0"_s
            << QStringList { u"Открыть Ветрон"_s, u"Включить защиту (off)"_s, u"Настройки (off)"_s,
                   u"Обновления (off)"_s, u"—"_s, u"Закрыть"_s };
        QTest::addRow("enrolled, older agreement")
            << true << u"0.9"_s
            << QStringList { u"Открыть Ветрон"_s, u"Включить защиту"_s, u"Настройки (off)"_s,
                   u"Обновления (off)"_s, u"—"_s, u"Закрыть"_s };
        QTest::addRow("enrolled, agreement accepted")
            << true << u"1.0"_s
            << QStringList { u"Открыть Ветрон"_s, u"Включить защиту"_s, u"Настройки"_s, u"Обновления"_s,
                   u"—"_s, u"Закрыть"_s };
    }

    void sectionItemsWaitForTheMainScreen()
    {
        QFETCH(bool, enrolled);
        QFETCH(QString, accepted);
        QFETCH(QStringList, labels);
        if (enrolled)
            QVERIFY2(m_fixture->start(), qPrintable(m_fixture->error()));
        Platform::Preferences().setValue(QString::fromLatin1(LicenseAgreement::preferenceKey), accepted);
        makeTray();
        QCOMPARE(m_model->activated(), enrolled);
        const auto shown = [this]() {
            QStringList texts;
            for (const QAction *action : m_tray->menu()->actions())
                texts << (action->isSeparator()
                        ? u"—"_s
                        : action->text() + (action->isEnabled() ? u""_s : u" (off)"_s));
            return texts;
        };
        QCOMPARE(shown(), labels);
        item("traySettingsAction")->trigger();
        item("trayUpdatesAction")->trigger();
        QCOMPARE(m_events.size(), labels.contains(u"Настройки"_s) ? 2 : 0);

        LicenseAgreement::accept();
        QCOMPARE(item("traySettingsAction")->isEnabled(), enrolled);
        QCOMPARE(item("trayUpdatesAction")->isEnabled(), enrolled);

        // The icon and its tooltip follow every state report.
        QCOMPARE(m_tray->trayIcon()->toolTip(), u"Защита выключена"_s);
        m_model->receiveReport(ProtectionState::blocked, u"сбой"_s);
        QTRY_COMPARE(m_iconsAsked.last(), ProtectionState::blocked);
        QVERIFY(!m_tray->trayIcon()->icon().isNull());
        QCOMPARE(m_tray->trayIcon()->toolTip(), u"Отправка данных остановлена"_s);

        m_events.clear();
        item("trayOpenAction")->trigger();
        QCOMPARE(m_events, QStringList { u"window on section %1"_s.arg(int(m_model->section())) });
    }

    void blockedRetriesBusyDisablesAndQuitRestoresProxiesFirstOrStays()
    {
        QVERIFY2(m_fixture->start(), qPrintable(m_fixture->error()));
        makeTray();
        QAction *protection = item("trayProtectionAction");
        m_model->receiveReport(ProtectionState::blocked, QString());
        QTRY_COMPARE(m_model->state(), ProtectionState::blocked);
        QCOMPARE(protection->text(), u"Включить защиту"_s);
        QVERIFY(protection->isEnabled());
        QCOMPARE(trayProtectionLabel(ProtectionState::connecting),
            u"Включить защиту"_s); // only protection switches off

        protection->trigger();
        QVERIFY(m_model->busy());
        QVERIFY(!protection->isEnabled());
        QTRY_VERIFY_WITH_TIMEOUT(protection->isEnabled(), 30000);
        QCOMPARE(m_model->state(), ProtectionState::protected_);
        QCOMPARE(protection->text(), u"Выключить защиту"_s);

        // The password dialog of the switch-off is cancelled: the client stays, its window shows
        // the failure on the protection screen, and the menu goes on working.
        m_ssh = Test::TunnelServiceAccess::sshProcessId(TunnelFixture::tunnelOf(*m_model));
        m_fixture->standIns().setPasswordRefused(true);
        item("trayQuitAction")->trigger();
        QTRY_COMPARE_WITH_TIMEOUT(m_events.size(), 1, 30000);
        QCOMPARE(m_events.first(), u"window on section 0"_s);
        QCOMPARE(m_model->state(), ProtectionState::blocked);
        QVERIFY2(m_model->detail().startsWith(u"Не удалось восстановить настройки сети: "_s),
            qPrintable(m_model->detail()));
        QVERIFY(protection->isEnabled());

        m_fixture->standIns().setPasswordRefused(false);
        item("trayQuitAction")->trigger();
        QTRY_COMPARE_WITH_TIMEOUT(m_events.size(), 2, 30000);
        QCOMPARE(m_events.last(), u"terminate: ssh gone, proxies restored"_s);
    }

    void settingsSetTheSectionBeforeTheWindowUpdatesAfter()
    {
        QVERIFY2(m_fixture->start(), qPrintable(m_fixture->error()));
        const ProtectionSettings stored { 9, true, { u"email"_s } };
        m_fixture->server().setSettings(stored.toJson());
        LicenseAgreement::accept();
        makeTray();
        QVERIFY(awaitTask(TunnelFixture::tunnelOf(*m_model).enable()).finished);

        item("traySettingsAction")->trigger();
        QCOMPARE(m_events, QStringList { u"window on section %1"_s.arg(int(MainSection::settings)) });
        QTRY_COMPARE_WITH_TIMEOUT(m_model->settings().retentionDays, 9, 20000);
        QCOMPARE(m_model->settings().disabledCategories, stored.disabledCategories);

        m_events.clear();
        item("trayUpdatesAction")->trigger();
        QCOMPARE(m_events, QStringList { u"window on section %1"_s.arg(int(MainSection::settings)) });
        QCOMPARE(m_model->section(), MainSection::updates);
        QCOMPARE(m_model->updateState().kind, UpdateScreenState::Kind::checking);
        QTRY_VERIFY_WITH_TIMEOUT(m_model->updateState().kind != UpdateScreenState::Kind::checking, 20000);
        QVERIFY(awaitTask(TunnelFixture::tunnelOf(*m_model).disable()).finished);
    }
};

QTEST_MAIN(TrayMenuTest)
#include "tst_TrayMenu.moc"
