#include "BuildConstants.h"
#include "ProtectionServer.h"

#include <QElapsedTimer>
#include <QHostAddress>
#include <QJsonObject>
#include <QNetworkAccessManager>
#include <QNetworkProxy>
#include <QNetworkReply>
#include <QRegularExpression>
#include <QSignalSpy>
#include <QTcpSocket>
#include <QTest>

#include <memory>

using namespace Qt::StringLiterals;
using Vetron::Tools::ProtectionServer;
namespace Hosts = Vetron::BuildConstants;

namespace {

const QByteArray mapKey = "map-key-7f3a";
constexpr int answerLimitMs = 10000;

QUrl hostUrl(const char *host, const QString &pathAndQuery = u"/"_s)
{
    return QUrl(u"http://"_s + QLatin1StringView(host) + pathAndQuery);
}

struct Answer
{
    QNetworkReply::NetworkError error = QNetworkReply::NoError;
    int status = 0;
    QByteArray body;
};

// Waits for a reply of the network manager, which reaches the server as an HTTP proxy and so
// sends every request in absolute form.
Answer answerOf(QNetworkReply &reply)
{
    QSignalSpy finished(&reply, &QNetworkReply::finished);
    if (!reply.isFinished() && !finished.wait(answerLimitMs))
        reply.abort();
    const int status = reply.attribute(QNetworkRequest::HttpStatusCodeAttribute).toInt();
    return { reply.error(), status, reply.readAll() };
}

// A bare TCP connection for what the network manager never sends: split or back-to-back requests.
// What arrives stays in the socket's buffer, so received() shows all of it.
std::unique_ptr<QTcpSocket> connectRaw(quint16 port)
{
    auto socket = std::make_unique<QTcpSocket>();
    QSignalSpy connected(socket.get(), &QTcpSocket::connected);
    socket->connectToHost(QHostAddress::LocalHost, port);
    return connected.wait(answerLimitMs) ? std::move(socket) : nullptr;
}

QByteArray received(QTcpSocket &socket)
{
    return socket.peek(socket.bytesAvailable());
}

bool isClosed(const QTcpSocket &socket)
{
    return socket.state() == QAbstractSocket::UnconnectedState;
}

QByteArray statusRequest(const QByteArray &nonce)
{
    const QByteArray host(Hosts::statusHost);
    return "GET http://" + host + "/?nonce=" + nonce + " HTTP/1.1\r\nHost: " + host + "\r\n\r\n";
}

// The nonces of the status answers in `received`, in the order they arrived.
QStringList noncesIn(const QByteArray &received)
{
    QStringList nonces;
    static const QRegularExpression nonce(u"\"nonce\":\"([^\"]*)\""_s);
    for (const QRegularExpressionMatch &match : nonce.globalMatch(QString::fromUtf8(received)))
        nonces.append(match.captured(1));
    return nonces;
}

} // namespace

class ProtectionServerTest : public QObject
{
    Q_OBJECT

    std::unique_ptr<ProtectionServer> m_server;
    std::unique_ptr<QNetworkAccessManager> m_network;

    std::unique_ptr<QNetworkReply> get(const QUrl &url, const QByteArray &key = {})
    {
        QNetworkRequest request(url);
        if (!key.isNull())
            request.setRawHeader("X-Anon-Key", key);
        return std::unique_ptr<QNetworkReply>(m_network->get(request));
    }

    Answer fetch(const QUrl &url, const QByteArray &key = {}) { return answerOf(*get(url, key)); }

private Q_SLOTS:
    void init()
    {
        m_server = std::make_unique<ProtectionServer>();
        m_server->setMapKey(QString::fromLatin1(mapKey));
        QVERIFY(m_server->listen());
        m_network = std::make_unique<QNetworkAccessManager>();
        m_network->setProxy(QNetworkProxy(QNetworkProxy::HttpProxy, u"127.0.0.1"_s, m_server->port()));
    }

    void cleanup()
    {
        m_network.reset();
        m_server.reset();
    }

    void statusThroughAnHttpProxyEchoesTheNonce()
    {
        const Answer answer = fetch(hostUrl(Hosts::statusHost, u"/?nonce=abc-123"_s));
        QCOMPARE(answer.status, 200);
        QCOMPARE(noncesIn(answer.body), QStringList { u"abc-123"_s });
        QCOMPARE(m_server->requests().constFirst().url, hostUrl(Hosts::statusHost, u"/?nonce=abc-123"_s));
    }

    void keptAliveConnectionAnswersEveryRequestInOrder()
    {
        const std::unique_ptr<QTcpSocket> client = connectRaw(m_server->port());
        QVERIFY(client);
        client->write(statusRequest("1"));
        QTRY_COMPARE_WITH_TIMEOUT(noncesIn(received(*client)).size(), 1, answerLimitMs);
        // Two more on the same connection, sent back to back in one write.
        client->write(statusRequest("2") + statusRequest("3"));
        QTRY_COMPARE_WITH_TIMEOUT(noncesIn(received(*client)).size(), 3, answerLimitMs);
        QCOMPARE(noncesIn(received(*client)), QStringList({ u"1"_s, u"2"_s, u"3"_s }));
        QVERIFY(!isClosed(*client));
    }

    void requestArrivingInTinyPiecesIsReadWhole()
    {
        m_server->setSessions({ QJsonObject { { u"id"_s, u"s1"_s }, { u"title"_s, u"Договор"_s } } });
        const QByteArray host(Hosts::sessionHost);
        const QByteArray body = R"({"action":"rename","id":"s1","title":"Заявка"})";
        const QByteArray request = "POST http://" + host + "/ HTTP/1.1\r\nHost: " + host + "\r\nX-Anon-Key: "
            + mapKey + "\r\nContent-Type: application/json\r\nContent-Length: "
            + QByteArray::number(body.size()) + "\r\n\r\n" + body;
        const std::unique_ptr<QTcpSocket> client = connectRaw(m_server->port());
        QVERIFY(client);
        for (const char byte : request.chopped(1)) {
            client->write(&byte, 1);
            QTest::qWait(1);
        }
        QTest::qWait(50);
        QVERIFY2(m_server->requests().isEmpty(), "answered before the body was complete");

        client->write(request.right(1));
        QTRY_VERIFY_WITH_TIMEOUT(received(*client).startsWith("HTTP/1.1 200 "), answerLimitMs);
        QCOMPARE(m_server->requests().constFirst().body, body);
        QCOMPARE(m_server->sessions().at(0).toObject().value(u"title"_s).toString(), u"Заявка"_s);
    }

    void closeCutsOpenConnectionsAndListenBringsTheServerBackOnItsPort()
    {
        m_server->setOverride(QString::fromLatin1(Hosts::statusHost), 200, "{}", 60000);
        const std::unique_ptr<QTcpSocket> idle = connectRaw(m_server->port());
        const std::unique_ptr<QTcpSocket> waiting = connectRaw(m_server->port());
        QVERIFY(idle && waiting);
        QSignalSpy requestReceived(m_server.get(), &ProtectionServer::requestReceived);
        waiting->write(statusRequest("cut"));
        QVERIFY(requestReceived.wait(answerLimitMs));

        const quint16 port = m_server->port();
        m_server->close();
        QTRY_VERIFY_WITH_TIMEOUT(isClosed(*idle) && isClosed(*waiting), answerLimitMs);
        QVERIFY(received(*waiting).isEmpty());
        QCOMPARE(fetch(hostUrl(Hosts::statusHost)).error, QNetworkReply::ConnectionRefusedError);

        m_server->clearOverrides();
        QVERIFY(m_server->listen(port));
        // The network manager still uses the old port as its proxy.
        QCOMPARE(fetch(hostUrl(Hosts::statusHost)).status, 200);
    }

    void delayedOverrideAnswersLateWithoutHoldingUpOthers()
    {
        m_server->setOverride(u"slow.example"_s, 200, R"({"slow":true})", 1000);
        QElapsedTimer clock;
        clock.start();
        const std::unique_ptr<QNetworkReply> slow = get(QUrl(u"http://slow.example/"_s));
        QSignalSpy received(m_server.get(), &ProtectionServer::requestReceived);
        QVERIFY(received.wait(answerLimitMs));

        QCOMPARE(fetch(hostUrl(Hosts::statusHost)).status, 200);
        QVERIFY2(!slow->isFinished(), "the delayed answer came early");

        const Answer late = answerOf(*slow);
        QVERIFY(clock.elapsed() >= 900);
        QCOMPARE(late.status, 200);
        QCOMPARE(late.body, QByteArray(R"({"slow":true})"));
    }

    void wrongKeyIsRefusedOnAKeyedHostAndChangesNothing()
    {
        const QUrl config
            = hostUrl(Hosts::configHost, u"/?retention_days=7&cross_session=1&disabled_categories="_s);
        const QJsonObject before = m_server->settings();
        QCOMPARE(fetch(config, "guess").status, 403);
        QCOMPARE(m_server->settings(), before);

        QCOMPARE(fetch(config, mapKey).status, 200);
        QVERIFY(m_server->settings() != before);
    }
};

QTEST_GUILESS_MAIN(ProtectionServerTest)
#include "tst_ProtectionServer.moc"
