#include "Foundation/ClientPaths.h"
#include "Protection/TunnelService.h"
#include "TestSupport/AwaitTask.h"
#include "TestSupport/RussianText.h"
#include "TestSupport/TestFiles.h"
#include "TestSupport/TunnelFixture.h"

#include <QJsonDocument>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTest>

using namespace Qt::StringLiterals;
using namespace Vetron;
using Vetron::Test::awaitTask;
using Vetron::Test::readFile;
using Vetron::Test::TunnelFixture;
using Vetron::Test::writeFile;

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

template<class T> QString failureOf(QCoro::Task<T> task)
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
        server().setSessions(
            { TunnelFixture::session(u"s-1"_s, u"Договор"_s), TunnelFixture::session(u"s-2"_s, u"Отчёт"_s) });
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
        QTest::addRow("save") << Operation([](TunnelService &t) {
            return failureOf(t.save({ 90, false, { u"email"_s, u"phone"_s } }));
        }) << QByteArray("GET")
                              << u"config"_s
                              << QStringList { u"retention_days=90"_s, u"cross_session=0"_s,
                                     u"disabled_categories=email,phone"_s }
                              << QJsonObject();
        QTest::addRow("save with nothing disabled")
            << Operation([](TunnelService &t) {
                   return failureOf(t.save({ 30, true, {} }));
               })
            << QByteArray("GET") << u"config"_s
            << QStringList { u"retention_days=30"_s, u"cross_session=1"_s, u"disabled_categories="_s }
            << QJsonObject();
        QTest::addRow("purge") << Operation([](TunnelService &t) { return failureOf(t.purgeMap()); })
                               << QByteArray("GET") << u"purge"_s << QStringList() << QJsonObject();
        QTest::addRow("sessions") << Operation([](TunnelService &t) { return failureOf(t.sessions()); })
                                  << QByteArray("GET") << u"sessions"_s << QStringList() << QJsonObject();
        QTest::addRow("one session") << Operation([](TunnelService &t) {
            return failureOf(t.session(u"s-1"_s));
        }) << QByteArray("GET") << u"session"_s
                                     << QStringList { u"id=s-1"_s } << QJsonObject();
        QTest::addRow("rename") << Operation([](TunnelService &t) {
            return failureOf(t.sessionCommand(u"rename"_s, u"s-1"_s, u"Новое имя"_s));
        }) << QByteArray("POST") << u"session"_s
                                << QStringList()
                                << QJsonObject { { u"action"_s, u"rename"_s }, { u"id"_s, u"s-1"_s },
                                       { u"title"_s, u"Новое имя"_s } };
        QTest::addRow("delete") << Operation(
            [](TunnelService &t) { return failureOf(t.sessionCommand(u"delete"_s, u"s-1"_s, std::nullopt)); })
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
        QCOMPARE(server().settings().value(u"disabled_categories"_s).toArray(),
            (QJsonArray { value, u"email"_s }));
    }

    void undecodableBodyIsADecodingError()
    {
        server().setOverride(u"sessions.vetron.internal"_s, 200, "{\"sessions\":[{\"id\":1}]}");
        QVERIFY(awaitTask(tunnel().sessions()).errorAs<DecodingError>());
    }

    // While no ssh of ours holds the local port, a program of the test's own listens there: the
    // requests carrying the map key fail at once as a refused connection, and it never gets the
    // key (while switched off, not a byte). Last: the rows stop the tunnel in turn.
    void withoutOurTunnelTheKeyReachesNoOtherListener_data()
    {
        QTest::addColumn<QString>("tunnel");
        QTest::addRow("ssh stopped, protection still on") << u"stopped"_s;
        QTest::addRow("switched off") << u"off"_s;
        // The ssh runs, but has not logged in: its forward is not up, the listener got the port first.
        QTest::addRow("ssh not logged in yet") << u"no login"_s;
    }

    void withoutOurTunnelTheKeyReachesNoOtherListener()
    {
        QFETCH(QString, tunnel);
        std::optional<QCoro::Task<>> switchingOn;
        QTcpServer silentSshd;
        if (tunnel == u"stopped"_s) {
            QVERIFY(awaitTask(Test::TunnelServiceAccess::stopSsh(this->tunnel())).finished);
        } else if (tunnel == u"off"_s) {
            QVERIFY(awaitTask(this->tunnel().disable()).finished);
        } else {
            QVERIFY(silentSshd.listen(QHostAddress::LocalHost));
            QJsonObject config = QJsonDocument::fromJson(readFile(ClientPaths::config())).object();
            config.insert(u"ssh_port"_s, silentSshd.serverPort());
            QVERIFY(writeFile(ClientPaths::config(), QJsonDocument(config).toJson()));
            switchingOn.emplace(this->tunnel().enable());
            QVERIFY(
                QTest::qWaitFor([&]() { return Test::TunnelServiceAccess::sshRuns(this->tunnel()); }, 20000));
        }
        // What reaches the listener; a connection of the test's own, which comes after any the
        // client made, marks the end.
        QTcpServer listener;
        QTcpSocket marker;
        QByteArray received;
        QList<quint16> peers;
        QVERIFY(listener.listen(QHostAddress::LocalHost, m_fixture->localPort()));
        QObject::connect(&listener, &QTcpServer::newConnection, [&]() {
            while (QTcpSocket *socket = listener.nextPendingConnection()) {
                peers << socket->peerPort();
                received += socket->readAll();
                QObject::connect(
                    socket, &QTcpSocket::readyRead, [&, socket]() { received += socket->readAll(); });
            }
        });

        const auto refused = [](const auto &outcome) {
            const auto *error = outcome.template errorAs<NetworkError>();
            return error && error->code() == QNetworkReply::ConnectionRefusedError
                && Test::nonRussianPart(error->description()).isEmpty();
        };
        QVERIFY(refused(awaitTask(this->tunnel().settings())));
        QVERIFY(refused(awaitTask(this->tunnel().session(u"s-1"_s))));
        QVERIFY(refused(awaitTask(this->tunnel().sessionCommand(u"delete"_s, u"s-1"_s, std::nullopt))));

        marker.connectToHost(QHostAddress::LocalHost, m_fixture->localPort());
        QVERIFY(QTest::qWaitFor(
            [&]() {
                return marker.state() == QAbstractSocket::ConnectedState
                    && peers.contains(marker.localPort());
            },
            20000));
        QVERIFY(server().requests().isEmpty());
        if (!switchingOn) {
            QCOMPARE(received, QByteArray());
            return;
        }
        // The switch-on's canaries, which carry no key, may have reached it.
        QVERIFY2(!received.contains(TunnelFixture::mapKey), received.constData());
        QVERIFY(awaitTask(this->tunnel().disable()).finished);
        QVERIFY(awaitTask(std::move(*switchingOn)).finished);
    }
};

QTEST_GUILESS_MAIN(TunnelControlTest)
#include "tst_TunnelControl.moc"
