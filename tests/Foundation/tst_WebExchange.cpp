#include "Account/DeviceCredentialStore.h"
#include "Account/PortalAccountClient.h"
#include "AccountServer.h"
#include "Foundation/WebExchange.h"
#include "TestSupport/AwaitTask.h"
#include "TestSupport/RussianText.h"
#include "TestSupport/TestCertificates.h"

#include <QCoreApplication>
#include <QNetworkAccessManager>
#include <QTcpServer>
#include <QTest>

using namespace Qt::StringLiterals;
using namespace Vetron;
using Vetron::Test::awaitTask;
using Delivery = Vetron::Tools::HttpOverride::Delivery;

// Exchanges that break after their status line, or never finish, against a local HTTPS server:
// none may pass for an answer.
class WebExchangeTest : public QObject
{
    Q_OBJECT

    std::unique_ptr<Tools::AccountServer> m_server;
    const QString m_file = u"/static/releases/Vetron-macOS.dmg"_s;

private Q_SLOTS:
    void init()
    {
        QVERIFY(m_server = Test::startAccountServer());
        m_server->setFile(m_file, QByteArray(4000, 'x'));
    }

    void cleanup()
    {
        m_server.reset();
        // Sockets and replies go by deleteLater: gone before the next case and before the end,
        // they take the TLS state they hold with them (left pending at exit it shows as a leak).
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    }

    void brokenExchangeIsARussianNetworkError_data()
    {
        QTest::addColumn<int>("delivery");
        QTest::addColumn<qint64>("bodyLimit");
        QTest::addColumn<int>("code");
        QTest::addRow("cut mid-body") << int(Delivery::cutAfterPart) << WebExchange::smallBodyLimit
                                      << int(QNetworkReply::RemoteHostClosedError);
        QTest::addRow("stalled after the headers")
            << int(Delivery::stallAfterPart) << WebExchange::smallBodyLimit
            << int(QNetworkReply::TimeoutError);
        QTest::addRow("body beyond the limit")
            << int(Delivery::whole) << qint64(3000) << int(QNetworkReply::ProtocolFailure);
        QTest::addRow("nobody listening")
            << -1 << WebExchange::smallBodyLimit << int(QNetworkReply::ConnectionRefusedError);
    }

    void brokenExchangeIsARussianNetworkError()
    {
        QFETCH(int, delivery);
        QFETCH(qint64, bodyLimit);
        QFETCH(int, code);
        if (delivery < 0)
            m_server->close();
        else
            m_server->setOverride(m_file, Tools::HttpOverride { 0, {}, 0, Delivery(delivery), 1000 });

        const auto client = WebExchange::directClient(Test::httpsExchangeLimit);
        const QNetworkRequest request(QUrl(m_server->baseUrl().toString() + m_file));
        const auto outcome = awaitTask(WebExchange::send(*client, request, "GET", {}, nullptr, bodyLimit));
        const auto *error = outcome.errorAs<NetworkError>();
        QVERIFY2(error, outcome.value ? "a broken exchange passed for an answer" : "not a network error");
        QCOMPARE(int(error->code()), code);
        QCOMPARE(Test::nonRussianPart(error->description()), QString());
    }

    void cutSummaryIsANetworkError()
    {
        DeviceCredentialStore::write(u"tok-1"_s);
        const QByteArray summary
            = R"({"device":{"name":"Mac","status":"ok"},"usage":{"requests":1,"masked_entities":1,"blocked":0}})";
        m_server->setOverride(u"/api/v1/device/summary"_s,
            Tools::HttpOverride { 200, summary, 0, Delivery::cutAfterPart, summary.size() / 2 });
        PortalAccountClient client({ m_server->baseUrl(), m_server->baseUrl() });
        const auto outcome = awaitTask(client.summary());
        QVERIFY2(outcome.errorAs<NetworkError>(), qPrintable(outcome.errorDescription()));
    }
};

QTEST_GUILESS_MAIN(WebExchangeTest)
#include "tst_WebExchange.moc"
