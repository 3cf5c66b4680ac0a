#include "Protection/TunnelService.h"

#include "TestSupport/AwaitTask.h"
#include "TestSupport/TunnelFixture.h"

#include <QJsonDocument>
#include <QTest>
#include <QUrlQuery>

using namespace Qt::StringLiterals;
using namespace Vetron;
using Vetron::Test::TunnelFixture;
using Vetron::Test::awaitTask;

namespace {

QJsonObject sessionJson(const QString &id, const QString &title)
{
    return QJsonObject {
        { u"id"_s, id },
        { u"kind"_s, u"chat"_s },
        { u"title"_s, title },
        { u"created_at"_s, 1700000000.5 },
        { u"last_used_at"_s, 1700000100 },
        { u"requests"_s, 4 },
        { u"replacements"_s, 9 },
        { u"bypass"_s, false },
        { u"mapping"_s, QJsonArray { QJsonObject { { u"placeholder"_s, u"[ИМЯ_1]"_s }, { u"original"_s, u"Анна"_s } } } },
    };
}

} // namespace

class TunnelControlTest : public QObject
{
    Q_OBJECT

    QTemporaryDir m_home;
    std::unique_ptr<TunnelFixture> m_fixture;

    Tools::ProtectionServer &server() { return m_fixture->server(); }
    TunnelService &tunnel() { return m_fixture->service(); }

    // The one request the server saw last, after the probes and the unlock.
    Tools::ProtectionServer::Request lastRequest() { return server().requests().last(); }

private Q_SLOTS:
    void initTestCase()
    {
        qputenv("XDG_DATA_HOME", QFile::encodeName(m_home.path()));
        m_fixture = std::make_unique<TunnelFixture>();
        QVERIFY2(m_fixture->start(), qPrintable(m_fixture->error()));
        // Control requests run while protection is on, over the real tunnel.
        TunnelTimings timings = TunnelFixture::fastTimings();
        timings.monitorInterval = std::chrono::hours(1);
        m_fixture->makeService(timings);
        QVERIFY(awaitTask(tunnel().enable()).finished);
        QVERIFY(m_fixture->waitForReport(ProtectionState::protected_, {}, 1));
    }

    void cleanupTestCase() { m_fixture.reset(); }

    void init()
    {
        server().clearOverrides();
        server().setSessions({ sessionJson(u"s-1"_s, u"Договор"_s), sessionJson(u"s 2&x"_s, u"Отчёт"_s) });
        server().clearRequests();
    }

    void withoutConfigurationNothingIsSent()
    {
        TunnelService fresh({});
        const auto outcome = awaitTask(fresh.settings());
        QVERIFY(outcome.errorAs<TunnelError>());
        QCOMPARE(outcome.errorDescription(), u"Ветрон не активирован."_s);
        QVERIFY(awaitTask(fresh.purgeMap()).errorAs<TunnelError>());
        QVERIFY(server().requests().isEmpty());
    }

    void settingsAreReadFromTheStatusHostWithTheKey()
    {
        server().setSettings(QJsonObject { { u"retention_days"_s, 7 },
                                           { u"cross_session"_s, true },
                                           { u"disabled_categories"_s, QJsonArray { u"email"_s } } });
        const auto outcome = awaitTask(tunnel().settings());
        QVERIFY2(outcome.value, qPrintable(outcome.errorDescription()));
        QCOMPARE(outcome.value->retentionDays, 7);
        QCOMPARE(outcome.value->crossSession, true);
        QCOMPARE(outcome.value->disabledCategories, QStringList { u"email"_s });
        const auto request = lastRequest();
        QCOMPARE(request.method, QByteArray("GET"));
        QCOMPARE(request.url, QUrl(u"http://status.vetron.internal/"_s));
        QCOMPARE(request.headers.value("x-anon-key"), QByteArray(TunnelFixture::mapKey));
    }

    void saveSendsTheThreeQueryItemsInOrder()
    {
        const ProtectionSettings settings { 90, false, { u"email"_s, u"phone"_s } };
        QVERIFY(awaitTask(tunnel().save(settings)).value);
        const auto request = lastRequest();
        QCOMPARE(request.url.host(), u"config.vetron.internal"_s);
        QCOMPARE(request.url.query(QUrl::FullyEncoded),
                 u"retention_days=90&cross_session=0&disabled_categories=email,phone"_s);
        QCOMPARE(server().settings().value(u"retention_days"_s).toInt(), 90);

        QVERIFY(awaitTask(tunnel().save(ProtectionSettings { 30, true, {} })).value);
        QCOMPARE(lastRequest().url.query(QUrl::FullyEncoded),
                 u"retention_days=30&cross_session=1&disabled_categories="_s);
    }

    void sessionsAndOneSessionDecode()
    {
        const auto list = awaitTask(tunnel().sessions());
        QVERIFY2(list.value, qPrintable(list.errorDescription()));
        QCOMPARE(list.value->size(), 2);
        QCOMPARE(list.value->at(1).id, u"s 2&x"_s);
        QCOMPARE(lastRequest().url.host(), u"sessions.vetron.internal"_s);

        const auto detail = awaitTask(tunnel().session(u"s 2&x"_s));
        QVERIFY2(detail.value, qPrintable(detail.errorDescription()));
        QCOMPARE(detail.value->title, u"Отчёт"_s);
        QCOMPARE(detail.value->mapping.first().original, u"Анна"_s);
        const auto request = lastRequest();
        QCOMPARE(request.url.host(), u"session.vetron.internal"_s);
        QCOMPARE(QUrlQuery(request.url).queryItemValue(u"id"_s, QUrl::FullyDecoded), u"s 2&x"_s);
    }

    void sessionCommandsPostJson()
    {
        QVERIFY(awaitTask(tunnel().sessionCommand(u"rename"_s, u"s-1"_s, u"Новое имя"_s)).value);
        auto request = lastRequest();
        QCOMPARE(request.method, QByteArray("POST"));
        QCOMPARE(request.headers.value("content-type"), QByteArray("application/json"));
        QCOMPARE(request.headers.value("x-anon-key"), QByteArray(TunnelFixture::mapKey));
        QCOMPARE(QJsonDocument::fromJson(request.body).object(),
                 (QJsonObject { { u"action"_s, u"rename"_s }, { u"id"_s, u"s-1"_s }, { u"title"_s, u"Новое имя"_s } }));

        QVERIFY(awaitTask(tunnel().sessionCommand(u"delete"_s, u"s-1"_s, std::nullopt)).value);
        request = lastRequest();
        QCOMPARE(QJsonDocument::fromJson(request.body).object(),
                 (QJsonObject { { u"action"_s, u"delete"_s }, { u"id"_s, u"s-1"_s } }));
        QCOMPARE(server().sessions().size(), 1);
    }

    void purgeGoesToItsHost()
    {
        QVERIFY(awaitTask(tunnel().purgeMap()).value);
        QCOMPARE(lastRequest().url, QUrl(u"http://purge.vetron.internal/"_s));
        QVERIFY(server().sessions().isEmpty());
    }

    void anyStatusButTwoHundredIsServerUnavailable_data()
    {
        QTest::addColumn<int>("status");
        QTest::addRow("204") << 204;
        QTest::addRow("403") << 403;
        QTest::addRow("500") << 500;
    }

    void anyStatusButTwoHundredIsServerUnavailable()
    {
        QFETCH(int, status);
        for (const QString &host : { u"status.vetron.internal"_s, u"sessions.vetron.internal"_s,
                                     u"purge.vetron.internal"_s })
            server().setOverride(host, status, "{\"sessions\":[]}");
        for (auto outcome : { awaitTask(tunnel().purgeMap()) }) {
            QVERIFY(outcome.errorAs<TunnelError>());
            QCOMPARE(outcome.errorDescription(), u"Сервер защиты не ответил."_s);
        }
        QCOMPARE(awaitTask(tunnel().settings()).errorDescription(), u"Сервер защиты не ответил."_s);
        QCOMPARE(awaitTask(tunnel().sessions()).errorDescription(), u"Сервер защиты не ответил."_s);
    }

    void undecodableBodyIsADecodingError()
    {
        server().setOverride(u"sessions.vetron.internal"_s, 200, "{\"sessions\":[{\"id\":1}]}");
        QVERIFY(awaitTask(tunnel().sessions()).errorAs<DecodingError>());
    }

    void tunnelDownGivesTheNetworkErrorAndNothingGoesOutDirectly()
    {
        QVERIFY(awaitTask(tunnel().stopProcess()).finished);
        server().clearRequests();
        const auto outcome = awaitTask(tunnel().settings());
        const auto *error = outcome.errorAs<NetworkError>();
        QVERIFY(error);
        QVERIFY(!error->description().isEmpty());
        QVERIFY(server().requests().isEmpty());
    }
};

QTEST_GUILESS_MAIN(TunnelControlTest)
#include "tst_TunnelControl.moc"
