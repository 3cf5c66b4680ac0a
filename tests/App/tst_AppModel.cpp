#include "Account/DeviceCredentialStore.h"
#include "App/AppModel.h"
#include "Foundation/ClientPaths.h"

#include "AccountServer.h"
#include "TestSupport/AwaitTask.h"
#include "TestSupport/TestCertificates.h"
#include "TestSupport/TunnelFixture.h"

#include <QDir>
#include <QProcess>
#include <QTest>

using namespace Qt::StringLiterals;
using namespace Vetron;
using Vetron::Test::TestCertificates;
using Vetron::Test::TunnelFixture;
using Vetron::Test::awaitTask;

namespace {

// A wake notifier the test fires itself, and that tells whether anybody listens.
class TestWake : public WakeNotifier
{
public:
    int listeners() const { return receivers(SIGNAL(systemDidWake())); }
};

} // namespace

class AppModelTest : public QObject
{
    Q_OBJECT

    QTemporaryDir m_home;
    std::unique_ptr<TestCertificates> m_certificates;
    std::unique_ptr<Tools::AccountServer> m_server;
    std::unique_ptr<TunnelFixture> m_fixture;
    TestWake m_wake;
    int m_terminations = 0;

    std::unique_ptr<AppModel> makeModel(bool autoConnect)
    {
        AppModel::Options options;
        options.tunnel = m_fixture->serviceOptions();
        options.servers = { m_server->baseUrl(), m_server->baseUrl() };
        options.tools = m_fixture->standIns().tools();
        options.wake = &m_wake;
        options.terminate = [this]() { ++m_terminations; };
        return std::make_unique<AppModel>(autoConnect, options);
    }

    // Every observable change of state, detail and busy, in order.
    static QStringList recordTrail(AppModel &model, QStringList &trail)
    {
        QObject::connect(&model, &AppModel::stateChanged, &model, [&]() { trail << u"state "_s + model.stateText(); });
        QObject::connect(&model, &AppModel::detailChanged, &model, [&]() { trail << u"detail "_s + model.detail(); });
        QObject::connect(&model, &AppModel::busyChanged, &model,
                         [&]() { trail << (model.busy() ? u"busy"_s : u"idle"_s); });
        return trail;
    }

private Q_SLOTS:
    void initTestCase()
    {
        qputenv("XDG_DATA_HOME", QFile::encodeName(m_home.path() + u"/data"_s));
        qputenv("HOME", QFile::encodeName(m_home.path()));
        m_certificates = std::make_unique<TestCertificates>();
        m_certificates->trustInThisProcess();
    }

    void init()
    {
        DeviceCredentialStore::forgetLegacyCheck();
        QVERIFY(QDir().mkpath(m_home.path() + u"/Library/Keychains"_s));
        m_fixture = std::make_unique<TunnelFixture>();
        m_server = std::make_unique<Tools::AccountServer>();
        QVERIFY(m_server->listen(m_certificates->serverCertificate(), m_certificates->serverKey()));
        m_terminations = 0;
    }

    void cleanup()
    {
        m_fixture.reset();
        QTest::qWait(50);
    }

    void enrolledStartSwitchesProtectionOnByItself()
    {
        QVERIFY2(m_fixture->start(), qPrintable(m_fixture->error()));
        QStringList trail;
        // The model is observed from its first event on: construction itself emits nothing.
        auto model = makeModel(true);
        QCOMPARE(model->stateText(), u"disabled"_s);
        QCOMPARE(model->detail(), u"Защита выключена"_s);
        QVERIFY(model->activated());
        QVERIFY(model->busy());
        recordTrail(*model, trail);
        QVERIFY(QTest::qWaitFor([&]() { return !model->busy(); }, 30000));
        QCOMPARE(trail.value(0), u"state connecting"_s);
        QCOMPARE(trail.value(1), u"detail Устанавливаем защищённое соединение…"_s);
        QCOMPARE(trail.last(), u"idle"_s);
        QTRY_COMPARE(model->state(), ProtectionState::protected_);
        QCOMPARE(m_wake.listeners(), 1);

        // A wake-up reaches the tunnel, which finds it alive and says nothing.
        trail.clear();
        Q_EMIT m_wake.systemDidWake();
        QTest::qWait(300);
        QVERIFY2(trail.isEmpty(), qPrintable(trail.join(u" | "_s)));

        // The switch in `protected` switches off.
        QVERIFY(awaitTask(model->toggle()).finished);
        QTRY_COMPARE(model->state(), ProtectionState::disabled);
        QCOMPARE(model->detail(), u"Защита выключена"_s);
    }

    void withoutAutoConnectNothingStarts()
    {
        QVERIFY2(m_fixture->start(), qPrintable(m_fixture->error()));
        auto model = makeModel(false);
        QTest::qWait(200);
        QCOMPARE(model->state(), ProtectionState::disabled);
        QVERIFY(!model->busy());
        QCOMPARE(m_wake.listeners(), 0);
        QVERIFY(m_fixture->standIns().privilegedScripts().isEmpty());
    }

    void reportsAreAppliedInOrderWithDefaultsOnlyWithoutText()
    {
        auto model = makeModel(false);
        model->receiveReport(ProtectionState::blocked, QString());
        QTRY_COMPARE(model->detail(), u"Отправка данных остановлена"_s);
        model->receiveReport(ProtectionState::blocked, u""_s);
        QTRY_COMPARE(model->detail(), QString());

        QStringList details;
        connect(model.get(), &AppModel::detailChanged, this, [&]() { details << model->detail(); });
        for (int i = 0; i < 200; ++i)
            model->receiveReport(i % 2 ? ProtectionState::connecting : ProtectionState::blocked, QString::number(i));
        QTRY_COMPARE(details.size(), 200);
        for (int i = 0; i < 200; ++i)
            QCOMPARE(details.at(i), QString::number(i));
        QCOMPARE(model->state(), ProtectionState::connecting);
    }

    void switchInBlockedIsARetry()
    {
        QVERIFY2(m_fixture->start(), qPrintable(m_fixture->error()));
        auto model = makeModel(false);
        model->receiveReport(ProtectionState::blocked, QString());
        QTRY_COMPARE(model->state(), ProtectionState::blocked);
        QVERIFY(awaitTask(model->toggle()).finished);
        QTRY_COMPARE(model->state(), ProtectionState::protected_);
        QVERIFY(!model->busy());
        QVERIFY(awaitTask(model->tunnel->disable()).finished);
    }

    void rejectedActivationKeepsTheActivationScreen()
    {
        auto model = makeModel(false);
        QVERIFY(!model->activated());
        QVERIFY(awaitTask(model->activate(u"ABCD-EFGH-IJKL-MNOP-QRST"_s)).finished);
        QVERIFY(!model->activated());
        QVERIFY(!model->busy());
        QCOMPARE(model->message(), u"Ключ недействителен, уже использован или истёк."_s);
    }

    void successfulActivationStartsProtection()
    {
        const QString key = u"ABCD-EFGH-IJKL-MNOP-QRST"_s;
        m_server->acceptEnrollmentToken(key);
        QJsonObject answer = m_server->enrollmentAnswer();
        answer.insert(u"ca_pem"_s, QString::fromUtf8(m_certificates->caCertificatePem()));
        m_server->setEnrollmentAnswer(answer);
        auto model = makeModel(false);
        QStringList trail;
        recordTrail(*model, trail);
        QVERIFY(awaitTask(model->activate(key)).finished);
        QVERIFY(model->activated());
        QCOMPARE(model->message(), QString());
        QVERIFY(trail.contains(u"state connecting"_s));
        QVERIFY(!model->busy());
        QVERIFY(awaitTask(model->tunnel->disable()).finished);
    }

    void accountWithoutAnyCredentialAsksNoPortal()
    {
        auto model = makeModel(false);
        QVERIFY(awaitTask(model->loadAccount()).finished);
        QVERIFY(!model->accountLoaded());
        QVERIFY(!model->busy());
        QVERIFY(model->accountMessage().startsWith(u"Не удалось автоматически получить сведения о подписке."_s));
        QVERIFY(m_server->requests().isEmpty());
    }

    void refusedCredentialIsReplacedOnce()
    {
        QVERIFY2(m_fixture->start(), qPrintable(m_fixture->error())); // the device key pair
        DeviceCredentialStore::write(u"stale"_s);
        auto model = makeModel(false);
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

    void tunnelFailuresEndAsTextsAndKeepTheEdits()
    {
        QVERIFY2(m_fixture->start(), qPrintable(m_fixture->error()));
        auto model = makeModel(false);
        m_fixture->server().setSessions({ QJsonObject { { u"id"_s, u"s1"_s }, { u"kind"_s, u"chat"_s },
                                                        { u"title"_s, u"Договор"_s }, { u"created_at"_s, 1 },
                                                        { u"last_used_at"_s, 2 }, { u"requests"_s, 3 },
                                                        { u"replacements"_s, 4 }, { u"bypass"_s, false } } });
        QVERIFY(awaitTask(model->tunnel->enable()).finished);
        QVERIFY(awaitTask(model->loadSessions()).finished);
        QCOMPARE(model->sessions().size(), 1);

        QVERIFY(awaitTask(model->tunnel->stopProcess()).finished);
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
        QVERIFY(awaitTask(model->tunnel->disable()).finished);
    }

    void failedInstallationLeavesProtectionAlone()
    {
        auto model = makeModel(false);
        MacReleaseManifest manifest { u"9.9.9"_s, m_server->baseUrl().toString() + u"/static/none.dmg"_s,
                                      QString(64, u'0'), {}, std::nullopt, std::nullopt };
        QVERIFY(awaitTask(model->installUpdate(manifest)).finished);
        QCOMPARE(model->updateState().kind, UpdateScreenState::Kind::failed);
        QCOMPARE(model->updateState().message, u"Не удалось скачать обновление."_s);
        QCOMPARE(model->updateStateMap().value(u"kind"_s).toString(), u"failed"_s);
        QCOMPARE(m_terminations, 0);
    }

    void versionText()
    {
        QCOMPARE(AppModel::versionText(std::nullopt, {}), u"dev"_s);
        QCOMPARE(AppModel::versionText(std::nullopt, u"0.9.0"_s), u"0.9.0"_s);
        QCOMPARE(AppModel::versionText(u"1.2.3"_s, u"0.9.0"_s), u"1.2.3"_s);
    }
};

QTEST_GUILESS_MAIN(AppModelTest)
#include "tst_AppModel.moc"
