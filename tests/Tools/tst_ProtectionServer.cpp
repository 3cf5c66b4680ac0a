#include "BuildConstants.h"
#include "ProtectionServer.h"

#include <QElapsedTimer>
#include <QHostAddress>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QNetworkAccessManager>
#include <QNetworkProxy>
#include <QNetworkReply>
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
    QByteArray contentType;
    QByteArray body;

    QJsonObject json() const { return QJsonDocument::fromJson(body).object(); }
};

struct Call
{
    QUrl url {};
    QByteArray key {};
    QByteArray verb = "GET";
    QByteArray body {};
    QByteArray contentType {};
};

// A request in flight through the proxy; ends after at most answerLimitMs.
class PendingCall
{
public:
    PendingCall(QNetworkAccessManager &network, const Call &call)
    {
        QNetworkRequest request(call.url);
        if (!call.key.isNull())
            request.setRawHeader("X-Anon-Key", call.key);
        if (!call.contentType.isEmpty())
            request.setHeader(QNetworkRequest::ContentTypeHeader, call.contentType);
        m_reply.reset(network.sendCustomRequest(request, call.verb, call.body));
        m_finished = std::make_unique<QSignalSpy>(m_reply.get(), &QNetworkReply::finished);
    }

    bool isFinished() const { return m_reply->isFinished(); }

    Answer answer()
    {
        if (!m_reply->isFinished() && !m_finished->wait(answerLimitMs))
            m_reply->abort();
        Answer answer;
        answer.error = m_reply->error();
        answer.status = m_reply->attribute(QNetworkRequest::HttpStatusCodeAttribute).toInt();
        answer.contentType = m_reply->rawHeader("Content-Type");
        answer.body = m_reply->readAll();
        return answer;
    }

private:
    std::unique_ptr<QNetworkReply> m_reply;
    std::unique_ptr<QSignalSpy> m_finished;
};

struct RawAnswer
{
    int status = 0;
    QByteArray reason;
    QHash<QByteArray, QByteArray> headers;
    QByteArray body;
};

// A bare TCP client for what the network manager never sends: split, pipelined or broken requests.
class RawClient
{
public:
    explicit RawClient(quint16 port)
    {
        QObject::connect(&m_socket, &QTcpSocket::readyRead, [this] { m_received += m_socket.readAll(); });
        m_socket.connectToHost(QHostAddress::LocalHost, port);
    }

    bool waitConnected()
    {
        QSignalSpy connected(&m_socket, &QTcpSocket::connected);
        return m_socket.state() == QAbstractSocket::ConnectedState || connected.wait(answerLimitMs);
    }

    void write(const QByteArray &bytes)
    {
        m_socket.write(bytes);
        m_socket.flush();
    }

    // Writes `bytes` a few at a time, letting the event loop run between the pieces.
    void writeInPieces(const QByteArray &bytes, qsizetype pieceSize)
    {
        for (qsizetype at = 0; at < bytes.size(); at += pieceSize) {
            write(bytes.mid(at, pieceSize));
            QTest::qWait(1);
        }
    }

    bool isClosed() const { return m_socket.state() == QAbstractSocket::UnconnectedState; }

    // Every complete answer received so far, framed by Content-Length.
    QList<RawAnswer> answers() const
    {
        QList<RawAnswer> answers;
        qsizetype at = 0;
        while (true) {
            const qsizetype headEnd = m_received.indexOf("\r\n\r\n", at);
            if (headEnd < 0)
                return answers;
            const QList<QByteArray> lines = m_received.mid(at, headEnd - at).split('\n');
            RawAnswer answer;
            const QByteArray statusLine = lines.constFirst().trimmed();
            answer.status = statusLine.split(' ').value(1).toInt();
            answer.reason = statusLine.mid(statusLine.indexOf(' ', statusLine.indexOf(' ') + 1) + 1);
            for (qsizetype i = 1; i < lines.size(); ++i) {
                const qsizetype colon = lines.at(i).indexOf(':');
                answer.headers.insert(
                    lines.at(i).left(colon).trimmed().toLower(), lines.at(i).mid(colon + 1).trimmed());
            }
            const qsizetype length = answer.headers.value("content-length").toLongLong();
            if (m_received.size() < headEnd + 4 + length)
                return answers;
            answer.body = m_received.mid(headEnd + 4, length);
            answers.append(answer);
            at = headEnd + 4 + length;
        }
    }

private:
    QTcpSocket m_socket;
    QByteArray m_received;
};

QByteArray requestBytes(const char *host, const QByteArray &extraHeaders = {})
{
    return "GET http://" + QByteArray(host) + "/ HTTP/1.1\r\nHost: " + QByteArray(host)
        + "\r\nX-Anon-Key: " + mapKey + "\r\n" + extraHeaders + "\r\n";
}

QJsonObject session(const QString &id, const QString &title)
{
    const QJsonArray mapping { QJsonObject {
        { u"placeholder"_s, u"<PERSON_1>"_s }, { u"original"_s, u"Иван Петров"_s } } };
    return { { u"id"_s, id }, { u"kind"_s, u"chat"_s }, { u"title"_s, title },
        { u"created_at"_s, 1700000000 }, { u"last_used_at"_s, 1700000500 }, { u"requests"_s, 4 },
        { u"replacements"_s, 9 }, { u"bypass"_s, false }, { u"mapping"_s, mapping } };
}

QStringList sessionTitles(const QJsonArray &sessions)
{
    QStringList titles;
    for (const QJsonValue &value : sessions)
        titles.append(value.toObject().value(u"title"_s).toString());
    return titles;
}

} // namespace

class ProtectionServerTest : public QObject
{
    Q_OBJECT

    std::unique_ptr<ProtectionServer> m_server;
    std::unique_ptr<QNetworkAccessManager> m_network;

    Answer fetch(const Call &call)
    {
        PendingCall pending(*m_network, call);
        return pending.answer();
    }

    Answer fetchWithKey(const char *host, const QString &pathAndQuery = u"/"_s)
    {
        return fetch({ hostUrl(host, pathAndQuery), mapKey });
    }

    Answer changeSession(const QJsonObject &change)
    {
        return fetch({ hostUrl(Hosts::sessionHost), mapKey, "POST", QJsonDocument(change).toJson(),
            "application/json" });
    }

private Q_SLOTS:
    void init()
    {
        m_server = std::make_unique<ProtectionServer>();
        m_server->setMapKey(QString::fromLatin1(mapKey));
        m_server->setSessions({ session(u"s1"_s, u"Договор"_s), session(u"s2"_s, u"Письмо"_s) });
        QVERIFY(m_server->listen());
        QVERIFY(m_server->port() != 0);
        m_network = std::make_unique<QNetworkAccessManager>();
        m_network->setProxy(QNetworkProxy(QNetworkProxy::HttpProxy, u"127.0.0.1"_s, m_server->port()));
    }

    void cleanup()
    {
        m_network.reset();
        m_server.reset();
    }

    void statusAnswersTheSettingsAndEchoesTheNonce()
    {
        const Answer answer = fetch({ hostUrl(Hosts::statusHost, u"/?nonce=abc-123"_s) });
        QCOMPARE(answer.error, QNetworkReply::NoError);
        QCOMPARE(answer.status, 200);
        QCOMPARE(answer.contentType, QByteArray("application/json"));
        const QJsonObject status = answer.json();
        QCOMPARE(status.value(u"nonce"_s).toString(), u"abc-123"_s);
        QCOMPARE(status.value(u"map_unlocked"_s), QJsonValue(false));
        QCOMPARE(status.value(u"retention_days"_s), QJsonValue(30));
        QCOMPARE(status.value(u"cross_session"_s), QJsonValue(false));
        QCOMPARE(status.value(u"disabled_categories"_s), QJsonValue(QJsonArray()));

        const QList<ProtectionServer::Request> requests = m_server->requests();
        QCOMPARE(requests.size(), 1);
        QCOMPARE(requests.constFirst().method, QByteArray("GET"));
        QCOMPARE(requests.constFirst().url, hostUrl(Hosts::statusHost, u"/?nonce=abc-123"_s));
        QVERIFY(!requests.constFirst().headers.contains("x-anon-key"));
    }

    void statusWithoutEchoAnswersAnotherNonce()
    {
        m_server->setEchoNonce(false);
        const Answer answer = fetch({ hostUrl(Hosts::statusHost, u"/?nonce=abc-123"_s) });
        QCOMPARE(answer.status, 200);
        const QJsonValue nonce = answer.json().value(u"nonce"_s);
        QVERIFY(nonce.isString());
        QVERIFY(nonce.toString() != u"abc-123"_s);
    }

    void statusRefusesOnlyAWrongKey_data()
    {
        QTest::addColumn<QByteArray>("key");
        QTest::addColumn<int>("expected");
        QTest::addRow("no key, as a probe asks") << QByteArray() << 200;
        QTest::addRow("the map key") << mapKey << 200;
        QTest::addRow("another key") << QByteArray("guess") << 403;
    }

    void statusRefusesOnlyAWrongKey()
    {
        QFETCH(QByteArray, key);
        QFETCH(int, expected);
        const Answer answer = fetch({ hostUrl(Hosts::statusHost), key });
        QCOMPARE(answer.status, expected);
    }

    void settingsChangedThroughConfigShowInTheStatus()
    {
        const Answer changed = fetchWithKey(
            Hosts::configHost, u"/?retention_days=7&cross_session=1&disabled_categories=email,phone"_s);
        QCOMPARE(changed.status, 200);
        QCOMPARE(changed.contentType, QByteArray("application/json"));
        QCOMPARE(changed.json(), QJsonObject());

        QJsonObject status = fetch({ hostUrl(Hosts::statusHost) }).json();
        QCOMPARE(status.value(u"retention_days"_s), QJsonValue(7));
        QCOMPARE(status.value(u"cross_session"_s), QJsonValue(true));
        QCOMPARE(status.value(u"disabled_categories"_s), QJsonValue(QJsonArray { u"email"_s, u"phone"_s }));

        QCOMPARE(fetchWithKey(Hosts::configHost, u"/?retention_days=0&cross_session=0&disabled_categories="_s)
                     .status,
            200);
        status = fetch({ hostUrl(Hosts::statusHost) }).json();
        QCOMPARE(status.value(u"retention_days"_s), QJsonValue(0));
        QCOMPARE(status.value(u"cross_session"_s), QJsonValue(false));
        QCOMPARE(status.value(u"disabled_categories"_s), QJsonValue(QJsonArray()));
    }

    void configRefusesIncompleteOrNonNumericSettings_data()
    {
        QTest::addColumn<QString>("query");
        QTest::addRow("retention missing") << u"/?cross_session=1&disabled_categories=a"_s;
        QTest::addRow("retention in words")
            << u"/?retention_days=ten&cross_session=1&disabled_categories=a"_s;
        QTest::addRow("cross_session as a word")
            << u"/?retention_days=7&cross_session=yes&disabled_categories=a"_s;
        QTest::addRow("categories missing") << u"/?retention_days=7&cross_session=1"_s;
    }

    void configRefusesIncompleteOrNonNumericSettings()
    {
        QFETCH(QString, query);
        const QJsonObject before = m_server->settings();
        QCOMPARE(fetchWithKey(Hosts::configHost, query).status, 400);
        QCOMPARE(m_server->settings(), before);
    }

    void keyedHostsRefuseAWrongOrMissingKeyAndChangeNothing_data()
    {
        QTest::addColumn<QUrl>("url");
        QTest::addColumn<QByteArray>("key");
        const QUrl config
            = hostUrl(Hosts::configHost, u"/?retention_days=1&cross_session=1&disabled_categories="_s);
        QTest::addRow("config, wrong key") << config << QByteArray("guess");
        QTest::addRow("config, no key") << config << QByteArray();
        QTest::addRow("purge, wrong key") << hostUrl(Hosts::purgeHost) << QByteArray("guess");
        QTest::addRow("sessions, no key") << hostUrl(Hosts::sessionsHost) << QByteArray();
        QTest::addRow("session, wrong key")
            << hostUrl(Hosts::sessionHost, u"/?id=s1"_s) << QByteArray("guess");
    }

    void keyedHostsRefuseAWrongOrMissingKeyAndChangeNothing()
    {
        QFETCH(QUrl, url);
        QFETCH(QByteArray, key);
        const QJsonObject settings = m_server->settings();
        const Answer answer = fetch({ url, key });
        QCOMPARE(answer.status, 403);
        QVERIFY(answer.contentType.startsWith("text/plain"));
        QVERIFY(!answer.body.isEmpty());
        QCOMPARE(m_server->settings(), settings);
        QCOMPARE(m_server->sessions().size(), 2);
    }

    void unlockWithAWrongKeyIsForbiddenAndTheMapStaysLocked()
    {
        const Answer answer = fetch({ hostUrl("unlock.vetron.internal"), "guess" });
        QCOMPARE(answer.status, 403);
        QVERIFY(answer.contentType.startsWith("text/plain"));
        QVERIFY(!m_server->mapUnlocked());
        QCOMPARE(fetch({ hostUrl(Hosts::statusHost) }).json().value(u"map_unlocked"_s), QJsonValue(false));
    }

    void unlockWithTheMapKeyUnlocksTheMap()
    {
        m_server->setUnlockHost(u"open-sesame.vetron.internal"_s);
        QCOMPARE(fetchWithKey("unlock.vetron.internal").status, 502);
        QVERIFY(!m_server->mapUnlocked());

        const Answer answer = fetchWithKey("open-sesame.vetron.internal");
        QCOMPARE(answer.status, 200);
        QCOMPARE(answer.json(), QJsonObject({ { u"unlocked"_s, true } }));
        QVERIFY(m_server->mapUnlocked());
        QCOMPARE(fetch({ hostUrl(Hosts::statusHost) }).json().value(u"map_unlocked"_s), QJsonValue(true));
    }

    void sessionListLeavesMappingsOutAndOneSessionCarriesIt()
    {
        const Answer list = fetchWithKey(Hosts::sessionsHost);
        QCOMPARE(list.status, 200);
        const QJsonArray sessions = list.json().value(u"sessions"_s).toArray();
        QCOMPARE(sessionTitles(sessions), QStringList({ u"Договор"_s, u"Письмо"_s }));
        QVERIFY(!sessions.at(0).toObject().contains(u"mapping"_s));
        QCOMPARE(sessions.at(0).toObject().value(u"replacements"_s), QJsonValue(9));

        const Answer one = fetchWithKey(Hosts::sessionHost, u"/?id=s2"_s);
        QCOMPARE(one.status, 200);
        QCOMPARE(one.json(), session(u"s2"_s, u"Письмо"_s));

        QCOMPARE(fetchWithKey(Hosts::sessionHost, u"/?id=s9"_s).status, 404);
    }

    void renameAndDeleteChangeTheSessions()
    {
        Answer answer = changeSession(
            { { u"action"_s, u"rename"_s }, { u"id"_s, u"s1"_s }, { u"title"_s, u"Счёт"_s } });
        QCOMPARE(answer.status, 200);
        QCOMPARE(answer.json(), QJsonObject());
        QCOMPARE(sessionTitles(fetchWithKey(Hosts::sessionsHost).json().value(u"sessions"_s).toArray()),
            QStringList({ u"Счёт"_s, u"Письмо"_s }));

        answer = changeSession({ { u"action"_s, u"delete"_s }, { u"id"_s, u"s2"_s } });
        QCOMPARE(answer.status, 200);
        QCOMPARE(sessionTitles(m_server->sessions()), QStringList({ u"Счёт"_s }));
        QCOMPARE(fetchWithKey(Hosts::sessionHost, u"/?id=s2"_s).status, 404);

        const ProtectionServer::Request recorded = m_server->requests().at(2);
        QCOMPARE(recorded.method, QByteArray("POST"));
        QCOMPARE(QJsonDocument::fromJson(recorded.body).object().value(u"action"_s).toString(), u"delete"_s);
        QCOMPARE(recorded.headers.value("x-anon-key"), mapKey);
    }

    void sessionChangesThatCannotApplyAreRefused_data()
    {
        QTest::addColumn<QByteArray>("body");
        QTest::addColumn<int>("expected");
        QTest::addRow("unknown id") << QByteArray(R"({"action":"delete","id":"s9"})") << 404;
        QTest::addRow("unknown action") << QByteArray(R"({"action":"archive","id":"s1"})") << 400;
        QTest::addRow("rename without title") << QByteArray(R"({"action":"rename","id":"s1"})") << 400;
        QTest::addRow("not JSON") << QByteArray("action=delete&id=s1") << 400;
    }

    void sessionChangesThatCannotApplyAreRefused()
    {
        QFETCH(QByteArray, body);
        QFETCH(int, expected);
        const QJsonArray before = m_server->sessions();
        const Answer answer
            = fetch({ hostUrl(Hosts::sessionHost), mapKey, "POST", body, "application/json" });
        QCOMPARE(answer.status, expected);
        QCOMPARE(m_server->sessions(), before);
    }

    void purgeClearsTheSessionsAndLeavesTheMapUnlocked()
    {
        m_server->setMapUnlocked(true);
        const Answer answer = fetchWithKey(Hosts::purgeHost);
        QCOMPARE(answer.status, 200);
        QCOMPARE(answer.json(), QJsonObject());
        QCOMPARE(fetchWithKey(Hosts::sessionsHost).json().value(u"sessions"_s), QJsonValue(QJsonArray()));
        QVERIFY(m_server->mapUnlocked());
    }

    void otherHostsGetBadGatewayAndConnectIsRefused()
    {
        const Answer answer = fetch({ QUrl(u"http://example.com/page"_s) });
        QCOMPARE(answer.status, 502);
        QVERIFY(answer.contentType.startsWith("text/plain"));

        RawClient client(m_server->port());
        QVERIFY(client.waitConnected());
        client.write("CONNECT example.com:443 HTTP/1.1\r\nHost: example.com:443\r\n\r\n");
        QTRY_COMPARE_WITH_TIMEOUT(client.answers().size(), 1, answerLimitMs);
        QCOMPARE(client.answers().constFirst().status, 405);
        QCOMPARE(client.answers().constFirst().reason, QByteArray("Method Not Allowed"));
    }

    void manyRequestsThroughOneNetworkManagerAreAllAnswered()
    {
        for (int i = 0; i < 8; ++i) {
            const QString nonce = QString::number(i);
            const Answer answer = fetch({ hostUrl(Hosts::statusHost, u"/?nonce="_s + nonce) });
            QCOMPARE(answer.error, QNetworkReply::NoError);
            QCOMPARE(answer.json().value(u"nonce"_s).toString(), nonce);
        }
    }

    void keptAliveConnectionAnswersEveryRequestInOrder()
    {
        RawClient client(m_server->port());
        QVERIFY(client.waitConnected());
        client.write(requestBytes(Hosts::sessionsHost));
        QTRY_COMPARE_WITH_TIMEOUT(client.answers().size(), 1, answerLimitMs);
        // A second request on the same connection, then two sent back to back in one write.
        client.write(requestBytes(Hosts::purgeHost));
        QTRY_COMPARE_WITH_TIMEOUT(client.answers().size(), 2, answerLimitMs);
        client.write(requestBytes(Hosts::sessionsHost) + requestBytes("example.com"));
        QTRY_COMPARE_WITH_TIMEOUT(client.answers().size(), 4, answerLimitMs);

        const QList<RawAnswer> answers = client.answers();
        QCOMPARE(answers.at(0).status, 200);
        QCOMPARE(QJsonDocument::fromJson(answers.at(0).body)[u"sessions"_s].toArray().size(), 2);
        QCOMPARE(answers.at(1).status, 200);
        QCOMPARE(answers.at(2).body, QByteArray(R"({"sessions":[]})"));
        QCOMPARE(answers.at(3).status, 502);
        QCOMPARE(answers.at(3).reason, QByteArray("Bad Gateway"));
        QVERIFY(!client.isClosed());
    }

    void requestArrivingInTinyPiecesIsReadWhole()
    {
        const QByteArray body = R"({"action":"rename","id":"s2","title":"Заявка"})";
        const QByteArray request = "POST http://" + QByteArray(Hosts::sessionHost)
            + "/ HTTP/1.1\r\nHost: " + QByteArray(Hosts::sessionHost) + "\r\nX-Anon-Key: " + mapKey
            + "\r\nContent-Type: application/json\r\nContent-Length: " + QByteArray::number(body.size())
            + "\r\n\r\n" + body;
        RawClient client(m_server->port());
        QVERIFY(client.waitConnected());
        client.writeInPieces(request.chopped(1), 3);
        QTest::qWait(50);
        QVERIFY2(m_server->requests().isEmpty(), "answered before the body was complete");

        client.write(request.right(1));
        QTRY_COMPARE_WITH_TIMEOUT(client.answers().size(), 1, answerLimitMs);
        QCOMPARE(client.answers().constFirst().status, 200);
        QCOMPARE(sessionTitles(m_server->sessions()), QStringList({ u"Договор"_s, u"Заявка"_s }));
        QCOMPARE(m_server->requests().constFirst().body, body);
    }

    void connectionCloseRequestIsAnsweredThenClosed()
    {
        RawClient client(m_server->port());
        QVERIFY(client.waitConnected());
        client.write(requestBytes(Hosts::statusHost, "Connection: close\r\n"));
        QTRY_VERIFY_WITH_TIMEOUT(client.isClosed(), answerLimitMs);
        QCOMPARE(client.answers().size(), 1);
        QCOMPARE(client.answers().constFirst().status, 200);
        QCOMPARE(client.answers().constFirst().headers.value("connection"), QByteArray("close"));
    }

    void malformedRequestIsRefusedAndClosed_data()
    {
        QTest::addColumn<QByteArray>("request");
        QTest::addRow("no request line") << QByteArray("hello there\r\n\r\n");
        QTest::addRow("header without colon")
            << QByteArray("GET http://example.com/ HTTP/1.1\r\nHost example.com\r\n\r\n");
        QTest::addRow("length not a number") << QByteArray(
            "GET http://example.com/ HTTP/1.1\r\nHost: example.com\r\nContent-Length: 4x\r\n\r\n");
        QTest::addRow("origin form without host") << QByteArray("GET / HTTP/1.1\r\n\r\n");
    }

    void malformedRequestIsRefusedAndClosed()
    {
        QFETCH(QByteArray, request);
        RawClient client(m_server->port());
        QVERIFY(client.waitConnected());
        client.write(request + requestBytes(Hosts::statusHost));
        QTRY_VERIFY_WITH_TIMEOUT(client.isClosed(), answerLimitMs);
        QCOMPARE(client.answers().size(), 1);
        QCOMPARE(client.answers().constFirst().status, 400);
        QVERIFY(m_server->requests().isEmpty());
    }

    void originFormRequestIsRoutedByItsHostHeader()
    {
        RawClient client(m_server->port());
        QVERIFY(client.waitConnected());
        client.write("GET /?nonce=n1 HTTP/1.1\r\nHost: " + QByteArray(Hosts::statusHost) + "\r\n\r\n");
        QTRY_COMPARE_WITH_TIMEOUT(client.answers().size(), 1, answerLimitMs);
        QCOMPARE(client.answers().constFirst().status, 200);
        QCOMPARE(QJsonDocument::fromJson(client.answers().constFirst().body)[u"nonce"_s].toString(), u"n1"_s);
    }

    void closeRefusesRequestsUntilListeningAgainOnTheSamePort()
    {
        QCOMPARE(fetch({ hostUrl(Hosts::statusHost) }).status, 200);
        const quint16 port = m_server->port();

        m_server->close();
        QCOMPARE(fetch({ hostUrl(Hosts::statusHost) }).error, QNetworkReply::ConnectionRefusedError);

        QVERIFY(m_server->listen(port));
        QCOMPARE(m_server->port(), port);
        const Answer answer = fetch({ hostUrl(Hosts::statusHost) });
        QCOMPARE(answer.error, QNetworkReply::NoError);
        QCOMPARE(answer.status, 200);
    }

    void closeCutsConnectionsThatWaitForAnAnswer()
    {
        m_server->setOverride(QString::fromLatin1(Hosts::statusHost), 200, "{}", 60000);
        RawClient idle(m_server->port());
        RawClient waiting(m_server->port());
        QVERIFY(idle.waitConnected());
        QVERIFY(waiting.waitConnected());
        QSignalSpy received(m_server.get(), &ProtectionServer::requestReceived);
        waiting.write(requestBytes(Hosts::statusHost));
        QVERIFY(received.wait(answerLimitMs));

        m_server->close();
        QTRY_VERIFY_WITH_TIMEOUT(idle.isClosed() && waiting.isClosed(), answerLimitMs);
        QVERIFY(waiting.answers().isEmpty());
    }

    void delayedOverrideAnswersLateWithoutHoldingUpOthers()
    {
        m_server->setOverride(u"slow.example"_s, 200, R"({"slow":true})", 1000);
        QElapsedTimer clock;
        clock.start();
        PendingCall slow(*m_network, { QUrl(u"http://slow.example/"_s) });
        QSignalSpy received(m_server.get(), &ProtectionServer::requestReceived);
        QVERIFY(received.wait(answerLimitMs));

        const Answer fast = fetch({ hostUrl(Hosts::statusHost) });
        QCOMPARE(fast.status, 200);
        QVERIFY2(!slow.isFinished(), "the delayed answer came early");

        const Answer late = slow.answer();
        QVERIFY(clock.elapsed() >= 900);
        QCOMPARE(late.status, 200);
        QCOMPARE(late.contentType, QByteArray("application/json"));
        QCOMPARE(late.json(), QJsonObject({ { u"slow"_s, true } }));
    }

    void requestQueuedBehindADelayedAnswerIsAnsweredAfterIt()
    {
        m_server->setOverride(u"slow.example"_s, 503, "later", 300);
        RawClient client(m_server->port());
        QVERIFY(client.waitConnected());
        client.write(requestBytes("slow.example") + requestBytes(Hosts::sessionsHost));
        QTRY_COMPARE_WITH_TIMEOUT(client.answers().size(), 2, answerLimitMs);
        QCOMPARE(client.answers().at(0).status, 503);
        QCOMPARE(client.answers().at(0).body, QByteArray("later"));
        QCOMPARE(client.answers().at(1).status, 200);
        QVERIFY(!client.isClosed());
    }

    void overrideTakesPrecedenceOverTheUsualAnswer_data()
    {
        QTest::addColumn<QString>("host");
        QTest::addColumn<int>("status");
        QTest::addColumn<QByteArray>("body");
        QTest::addColumn<QByteArray>("contentType");
        QTest::addRow("unlock conflict")
            << u"unlock.vetron.internal"_s << 409 << QByteArray(R"({"unlocked":true})")
            << QByteArray("application/json");
        QTest::addRow("status failure") << QString::fromLatin1(Hosts::statusHost) << 500 << QByteArray("boom")
                                        << QByteArray("text/plain; charset=utf-8");
        QTest::addRow("sessions empty")
            << QString::fromLatin1(Hosts::sessionsHost) << 204 << QByteArray() << QByteArray();
    }

    void overrideTakesPrecedenceOverTheUsualAnswer()
    {
        QFETCH(QString, host);
        QFETCH(int, status);
        QFETCH(QByteArray, body);
        QFETCH(QByteArray, contentType);
        m_server->setOverride(host, status, body);
        const Answer answer = fetch({ QUrl(u"http://"_s + host + u"/"_s), mapKey });
        QCOMPARE(answer.status, status);
        QCOMPARE(answer.body, body);
        QCOMPARE(answer.contentType, contentType);
        QVERIFY2(!m_server->mapUnlocked(), "the overridden unlock still unlocked the map");

        m_server->clearOverrides();
        QCOMPARE(fetch({ QUrl(u"http://"_s + host + u"/"_s), mapKey }).status, 200);
    }

    void overrideWithoutStatusOnlyDelaysTheUsualAnswer()
    {
        m_server->setOverride(QString::fromLatin1(Hosts::statusHost), 0, {}, 300);
        QElapsedTimer clock;
        clock.start();
        const Answer answer = fetch({ hostUrl(Hosts::statusHost, u"/?nonce=late"_s) });
        QVERIFY(clock.elapsed() >= 250);
        QCOMPARE(answer.status, 200);
        QCOMPARE(answer.json().value(u"nonce"_s).toString(), u"late"_s);
    }
};

QTEST_GUILESS_MAIN(ProtectionServerTest)
#include "tst_ProtectionServer.moc"
