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

// Runs one control operation: empty on success, else what it failed with.
using Operation = QString (*)(TunnelService &tunnel);

template<class T>
QString failureOf(QCoro::Task<T> task)
{
    const auto outcome = awaitTask(std::move(task));
    const QString description = outcome.errorDescription();
    return outcome.value ? QString() : description.isEmpty() ? u"failed or unfinished"_s : description;
}

} // namespace

Q_DECLARE_METATYPE(Operation)

class TunnelControlTest : public QObject
{
    Q_OBJECT

    std::unique_ptr<TunnelFixture> m_fixture;

    Tools::ProtectionServer &server() { return m_fixture->server(); }
    TunnelService &tunnel() { return m_fixture->service(); }

    // The one request the server saw last, after the probes and the unlock.
    Tools::ProtectionServer::Request lastRequest() { return server().requests().last(); }

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
        QTest::addColumn<Operation>("operation");
        QTest::addColumn<QByteArray>("method");
        QTest::addColumn<QString>("host");
        QTest::addColumn<QStringList>("query");
        QTest::addColumn<QJsonObject>("body");
        QTest::addRow("settings") << Operation([](TunnelService &t) { return failureOf(t.settings()); })
                                  << QByteArray("GET") << u"status"_s << QStringList() << QJsonObject();
        QTest::addRow("save")
            << Operation([](TunnelService &t) { return failureOf(t.save({ 90, false, { u"email"_s, u"phone"_s } })); })
            << QByteArray("GET") << u"config"_s
            << QStringList { u"retention_days=90"_s, u"cross_session=0"_s, u"disabled_categories=email,phone"_s }
            << QJsonObject();
        QTest::addRow("save with nothing disabled")
            << Operation([](TunnelService &t) { return failureOf(t.save({ 30, true, {} })); }) << QByteArray("GET")
            << u"config"_s << QStringList { u"retention_days=30"_s, u"cross_session=1"_s, u"disabled_categories="_s }
            << QJsonObject();
        QTest::addRow("purge") << Operation([](TunnelService &t) { return failureOf(t.purgeMap()); })
                               << QByteArray("GET") << u"purge"_s << QStringList() << QJsonObject();
        QTest::addRow("sessions") << Operation([](TunnelService &t) { return failureOf(t.sessions()); })
                                  << QByteArray("GET") << u"sessions"_s << QStringList() << QJsonObject();
        QTest::addRow("one session") << Operation([](TunnelService &t) { return failureOf(t.session(u"s-1"_s)); })
                                     << QByteArray("GET") << u"session"_s << QStringList { u"id=s-1"_s } << QJsonObject();
        QTest::addRow("rename")
            << Operation([](TunnelService &t) { return failureOf(t.sessionCommand(u"rename"_s, u"s-1"_s, u"Новое имя"_s)); })
            << QByteArray("POST") << u"session"_s << QStringList()
            << QJsonObject { { u"action"_s, u"rename"_s }, { u"id"_s, u"s-1"_s }, { u"title"_s, u"Новое имя"_s } };
        QTest::addRow("delete")
            << Operation([](TunnelService &t) { return failureOf(t.sessionCommand(u"delete"_s, u"s-1"_s, std::nullopt)); })
            << QByteArray("POST") << u"session"_s << QStringList()
            << QJsonObject { { u"action"_s, u"delete"_s }, { u"id"_s, u"s-1"_s } };
    }

    void operationsSendTheirRequestAndTakeOnlyStatus200()
    {
        QFETCH(Operation, operation);
        QFETCH(QByteArray, method);
        QFETCH(QString, host);
        QFETCH(QStringList, query);
        QFETCH(QJsonObject, body);
        const QString failure = operation(tunnel());
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
            QCOMPARE(operation(tunnel()), u"Сервер защиты не ответил."_s);
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
