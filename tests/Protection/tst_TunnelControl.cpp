#include "Protection/TunnelService.h"

#include "TestSupport/AwaitTask.h"
#include "TestSupport/RussianText.h"
#include "TestSupport/TunnelFixture.h"

#include <QJsonDocument>
#include <QTest>

using namespace Qt::StringLiterals;
using namespace Vetron;
using Vetron::Test::TunnelFixture;
using Vetron::Test::awaitTask;

namespace {

// The query's items in order, each read as a form decoder reads it ("+" is a blank).
QStringList formItems(const QUrl &url)
{
    QStringList items;
    for (QString item : url.query(QUrl::FullyEncoded).split(u'&', Qt::SkipEmptyParts))
        items << QUrl::fromPercentEncoding(item.replace(u'+', u' ').toUtf8());
    return items;
}

} // namespace

class TunnelControlTest : public QObject
{
    Q_OBJECT

    std::unique_ptr<TunnelFixture> m_fixture;

    Tools::ProtectionServer &server() { return m_fixture->server(); }
    TunnelService &tunnel() { return m_fixture->service(); }

    // The one request the server saw last, after the probes and the unlock.
    Tools::ProtectionServer::Request lastRequest() { return server().requests().last(); }

    // Runs one control operation by name; empty on success, else what it failed with.
    QString perform(const QString &operation)
    {
        const auto failure = [](const auto &outcome) {
            const QString description = outcome.errorDescription();
            return outcome.value ? QString() : description.isEmpty() ? u"failed or unfinished"_s : description;
        };
        if (operation == u"settings")
            return failure(awaitTask(tunnel().settings()));
        if (operation == u"save")
            return failure(awaitTask(tunnel().save(ProtectionSettings { 90, false, { u"email"_s, u"phone"_s } })));
        if (operation == u"save nothing disabled")
            return failure(awaitTask(tunnel().save(ProtectionSettings { 30, true, {} })));
        if (operation == u"purge")
            return failure(awaitTask(tunnel().purgeMap()));
        if (operation == u"sessions")
            return failure(awaitTask(tunnel().sessions()));
        if (operation == u"session")
            return failure(awaitTask(tunnel().session(u"s-1"_s)));
        if (operation == u"rename")
            return failure(awaitTask(tunnel().sessionCommand(u"rename"_s, u"s-1"_s, u"Новое имя"_s)));
        if (operation == u"delete")
            return failure(awaitTask(tunnel().sessionCommand(u"delete"_s, u"s-1"_s, std::nullopt)));
        return u"unknown operation "_s + operation;
    }

private Q_SLOTS:
    void initTestCase()
    {
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
        server().setSessions({ TunnelFixture::session(u"s-1"_s, u"Договор"_s), TunnelFixture::session(u"s-2"_s, u"Отчёт"_s) });
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

    // Each operation sends its own request, and takes nothing but status 200 for an answer.
    void operationsSendTheirRequestAndTakeOnlyStatus200_data()
    {
        QTest::addColumn<QString>("operation");
        QTest::addColumn<QByteArray>("method");
        QTest::addColumn<QString>("host");
        QTest::addColumn<QStringList>("query");
        QTest::addColumn<QJsonObject>("body");
        QTest::addRow("settings") << u"settings"_s << QByteArray("GET") << u"status"_s << QStringList() << QJsonObject();
        QTest::addRow("save") << u"save"_s << QByteArray("GET") << u"config"_s
                              << QStringList { u"retention_days=90"_s, u"cross_session=0"_s,
                                               u"disabled_categories=email,phone"_s }
                              << QJsonObject();
        QTest::addRow("save with nothing disabled")
            << u"save nothing disabled"_s << QByteArray("GET") << u"config"_s
            << QStringList { u"retention_days=30"_s, u"cross_session=1"_s, u"disabled_categories="_s } << QJsonObject();
        QTest::addRow("purge") << u"purge"_s << QByteArray("GET") << u"purge"_s << QStringList() << QJsonObject();
        QTest::addRow("sessions") << u"sessions"_s << QByteArray("GET") << u"sessions"_s << QStringList()
                                  << QJsonObject();
        QTest::addRow("one session") << u"session"_s << QByteArray("GET") << u"session"_s
                                     << QStringList { u"id=s-1"_s } << QJsonObject();
        QTest::addRow("rename") << u"rename"_s << QByteArray("POST") << u"session"_s << QStringList()
                                << QJsonObject { { u"action"_s, u"rename"_s }, { u"id"_s, u"s-1"_s },
                                                 { u"title"_s, u"Новое имя"_s } };
        QTest::addRow("delete") << u"delete"_s << QByteArray("POST") << u"session"_s << QStringList()
                                << QJsonObject { { u"action"_s, u"delete"_s }, { u"id"_s, u"s-1"_s } };
    }

    void operationsSendTheirRequestAndTakeOnlyStatus200()
    {
        QFETCH(QString, operation);
        QFETCH(QByteArray, method);
        QFETCH(QString, host);
        QFETCH(QStringList, query);
        QFETCH(QJsonObject, body);
        const QString failure = perform(operation);
        QVERIFY2(failure.isEmpty(), qPrintable(failure));

        const auto request = lastRequest();
        QCOMPARE(request.method, method);
        QCOMPARE(request.url.host(), host + u".vetron.internal"_s);
        QCOMPARE(request.url.path(), u"/"_s);
        QCOMPARE(formItems(request.url), query);
        QCOMPARE(request.headers.value("x-anon-key"), QByteArray(TunnelFixture::mapKey));
        if (body.isEmpty()) {
            QVERIFY(request.body.isEmpty());
        } else {
            QCOMPARE(request.headers.value("content-type"), QByteArray("application/json"));
            QCOMPARE(QJsonDocument::fromJson(request.body).object(), body);
        }

        for (const int status : { 204, 403, 500 }) {
            server().setOverride(host + u".vetron.internal"_s, status, "{\"sessions\":[]}");
            QCOMPARE(perform(operation), u"Сервер защиты не ответил."_s);
        }
    }

    void queryValuesReachAFormDecodingServerExactly_data()
    {
        QTest::addColumn<QString>("value");
        QTest::addRow("plus") << u"a+b"_s;
        QTest::addRow("ampersand and equals") << u"a&b=c"_s;
        QTest::addRow("hash") << u"x#y"_s;
        QTest::addRow("percent") << u"100%25"_s;
        QTest::addRow("blanks") << u" два  слова "_s;
        QTest::addRow("Cyrillic with plus") << u"Отчёт+1"_s;
    }

    void queryValuesReachAFormDecodingServerExactly()
    {
        QFETCH(QString, value);
        server().setSessions({ TunnelFixture::session(value, u"Найдено"_s) });
        const auto detail = awaitTask(tunnel().session(value));
        QVERIFY2(detail.value, qPrintable(detail.errorDescription()));
        QCOMPARE(detail.value->id, value);

        QVERIFY(awaitTask(tunnel().save(ProtectionSettings { 1, false, { value, u"email"_s } })).value);
        QCOMPARE(server().settings().value(u"disabled_categories"_s).toArray(), (QJsonArray { value, u"email"_s }));
    }

    void undecodableBodyIsADecodingError()
    {
        server().setOverride(u"sessions.vetron.internal"_s, 200, "{\"sessions\":[{\"id\":1}]}");
        QVERIFY(awaitTask(tunnel().sessions()).errorAs<DecodingError>());
    }

    // Last: it stops the tunnel.
    void tunnelDownGivesARussianConnectionError()
    {
        QVERIFY(awaitTask(tunnel().stopProcess()).finished);
        const auto outcome = awaitTask(tunnel().settings());
        const auto *error = outcome.errorAs<NetworkError>();
        QVERIFY(error);
        QCOMPARE(error->code(), QNetworkReply::ConnectionRefusedError);
        QCOMPARE(Test::nonRussianPart(error->description()), QString());
    }
};

QTEST_GUILESS_MAIN(TunnelControlTest)
#include "tst_TunnelControl.moc"
