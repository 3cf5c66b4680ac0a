#include "ProtectionServer.h"

#include "BuildConstants.h"
#include "HttpConnection.h"
#include "HttpRequestParser.h"
#include "HttpResponse.h"

#include <QHostAddress>
#include <QJsonDocument>
#include <QRandomGenerator>
#include <QTcpServer>
#include <QTcpSocket>

#include <optional>

using namespace Qt::StringLiterals;

namespace Vetron::Tools {

namespace {

bool isHost(const QString &host, const char *name)
{
    return host.compare(QLatin1StringView(name), Qt::CaseInsensitive) == 0;
}

bool isRoot(const HttpRequest &request)
{
    const QString path = request.url.path();
    return path.isEmpty() || path == u"/";
}

// The usual method and path check of a reserved host: only `method` on "/".
std::optional<HttpResponse> refuseUnless(const HttpRequest &request, QByteArrayView method)
{
    if (!isRoot(request))
        return HttpResponse::text(404, "no such path on " + request.url.host().toUtf8());
    if (request.method != method)
        return HttpResponse::text(405, request.method + " is not served on " + request.url.host().toUtf8());
    return std::nullopt;
}

// Session ids are strings, but a number in a request body names the same session.
QString idText(const QJsonValue &value)
{
    if (value.isString())
        return value.toString();
    if (value.isDouble())
        return QString::number(value.toInteger());
    return {};
}

QString otherNonce(const QString &asked)
{
    QString nonce;
    do {
        nonce = QString::number(QRandomGenerator::global()->generate64(), 16);
    } while (nonce == asked);
    return nonce;
}

// The query as a form decoder reads it: "+" is a blank, everything else percent-decoded. The first
// of repeated names wins.
QHash<QString, QString> formQuery(const QUrl &url)
{
    const auto decode
        = [](QString text) { return QUrl::fromPercentEncoding(text.replace(u'+', u' ').toUtf8()); };
    QHash<QString, QString> items;
    for (const QString &item : url.query(QUrl::FullyEncoded).split(u'&', Qt::SkipEmptyParts)) {
        const qsizetype equals = item.indexOf(u'=');
        const QString name = decode(item.left(equals));
        if (!items.contains(name))
            items.insert(name, equals < 0 ? QString() : decode(item.mid(equals + 1)));
    }
    return items;
}

HttpResponse emptyObject()
{
    return HttpResponse::json(200, {});
}

} // namespace

ProtectionServer::ProtectionServer(QObject *parent)
    : HttpStandInServer(new QTcpServer, OverrideKey::host, parent)
    , m_unlockHost(u"unlock.vetron.internal"_s)
    , m_settings { { u"retention_days"_s, 30 }, { u"cross_session"_s, false },
        { u"disabled_categories"_s, QJsonArray() } }
{
}

bool ProtectionServer::listen(quint16 port)
{
    return listenOnLoopback(port);
}

void ProtectionServer::setMapKey(const QString &key)
{
    m_mapKey = key;
}

QString ProtectionServer::mapKey() const
{
    return m_mapKey;
}

void ProtectionServer::setKeyFromFirstUnlock(bool on)
{
    m_keyFromFirstUnlock = on;
}

void ProtectionServer::setUnlockHost(const QString &host)
{
    m_unlockHost = host;
}

QString ProtectionServer::unlockHost() const
{
    return m_unlockHost;
}

void ProtectionServer::setMapUnlocked(bool unlocked)
{
    m_mapUnlocked = unlocked;
}

bool ProtectionServer::mapUnlocked() const
{
    return m_mapUnlocked;
}

void ProtectionServer::setSettings(const QJsonObject &settings)
{
    m_settings = settings;
}

QJsonObject ProtectionServer::settings() const
{
    return m_settings;
}

void ProtectionServer::setSessions(const QJsonArray &sessions)
{
    m_sessions = sessions;
}

QJsonArray ProtectionServer::sessions() const
{
    return m_sessions;
}

void ProtectionServer::setEchoNonce(bool echo)
{
    m_echoNonce = echo;
}

bool ProtectionServer::echoNonce() const
{
    return m_echoNonce;
}

void ProtectionServer::setTunnelledHost(const QString &host, quint16 port)
{
    m_tunnelledHosts.insert(host.toLower(), port);
}

bool ProtectionServer::takeOver(HttpConnection *connection, const HttpRequest &request)
{
    const auto found = m_tunnelledHosts.constFind(request.url.host().toLower());
    if (request.method != "CONNECT" || found == m_tunnelledHosts.cend())
        return false;
    // Both ends belong to the server: close() cuts them with the rest.
    QTcpSocket *client = connection->release();
    client->setParent(this);
    auto *site = new QTcpSocket(client);
    const auto end = [client] {
        client->disconnect();
        client->disconnectFromHost();
        client->deleteLater();
    };
    connect(site, &QTcpSocket::connected, client,
        [client] { client->write("HTTP/1.1 200 Connection established\r\n\r\n"); });
    connect(client, &QTcpSocket::readyRead, site, [client, site] { site->write(client->readAll()); });
    connect(site, &QTcpSocket::readyRead, client, [client, site] { client->write(site->readAll()); });
    connect(site, &QTcpSocket::disconnected, client, end);
    connect(site, &QTcpSocket::errorOccurred, client, end);
    connect(client, &QTcpSocket::disconnected, client, end);
    site->connectToHost(QHostAddress::LocalHost, *found);
    return true;
}

HttpResponse ProtectionServer::answer(const HttpRequest &request)
{
    using namespace BuildConstants;
    if (request.method == "CONNECT")
        return HttpResponse::text(405, "CONNECT is not served here; send plain HTTP");

    const QString host = request.url.host();
    if (isHost(host, statusHost))
        return answerStatus(request);
    if (host.compare(m_unlockHost, Qt::CaseInsensitive) == 0)
        return answerUnlock(request);

    const bool keyed = isHost(host, configHost) || isHost(host, purgeHost) || isHost(host, sessionsHost)
        || isHost(host, sessionHost);
    if (!keyed)
        return HttpResponse::text(502, "this server forwards nowhere: no upstream for " + host.toUtf8());
    if (!keyMatches(request))
        return HttpResponse::text(403, "X-Anon-Key is missing or wrong");
    if (isHost(host, configHost))
        return answerConfig(request);
    if (isHost(host, purgeHost))
        return answerPurge(request);
    if (isHost(host, sessionsHost))
        return answerSessions(request);
    return answerSession(request);
}

bool ProtectionServer::keyMatches(const HttpRequest &request) const
{
    const auto key = request.headers.constFind("x-anon-key");
    return key != request.headers.cend() && *key == m_mapKey.toUtf8();
}

HttpResponse ProtectionServer::answerStatus(const HttpRequest &request)
{
    // Probes ask without a key; a key that is sent has to be the right one.
    if (request.headers.contains("x-anon-key") && !keyMatches(request))
        return HttpResponse::text(403, "X-Anon-Key is wrong");
    if (auto refusal = refuseUnless(request, "GET"))
        return *refusal;

    QJsonObject status = m_settings;
    status.insert(u"map_unlocked"_s, m_mapUnlocked);
    const auto query = formQuery(request.url);
    if (query.contains(u"nonce"_s)) {
        const QString asked = query.value(u"nonce"_s);
        status.insert(u"nonce"_s, m_echoNonce ? asked : otherNonce(asked));
    }
    return HttpResponse::json(200, status);
}

HttpResponse ProtectionServer::answerUnlock(const HttpRequest &request)
{
    const QByteArray key = request.headers.value("x-anon-key");
    if (m_keyFromFirstUnlock && m_mapKey.isEmpty() && !key.isEmpty())
        m_mapKey = QString::fromUtf8(key);
    if (!keyMatches(request))
        return HttpResponse::text(403, "X-Anon-Key is missing or wrong; the map stays locked");
    if (auto refusal = refuseUnless(request, "GET"))
        return *refusal;
    m_mapUnlocked = true;
    return HttpResponse::json(200, { { u"unlocked"_s, true } });
}

HttpResponse ProtectionServer::answerConfig(const HttpRequest &request)
{
    if (auto refusal = refuseUnless(request, "GET"))
        return *refusal;
    const auto query = formQuery(request.url);
    for (const QString &member : { u"retention_days"_s, u"cross_session"_s, u"disabled_categories"_s }) {
        if (!query.contains(member))
            return HttpResponse::text(400, "missing " + member.toUtf8());
    }

    bool numeric = false;
    const int retentionDays = query.value(u"retention_days"_s).toInt(&numeric);
    if (!numeric || retentionDays < 0)
        return HttpResponse::text(400, "retention_days is not a count of days");
    const QString crossSession = query.value(u"cross_session"_s);
    if (crossSession != u"0" && crossSession != u"1")
        return HttpResponse::text(400, "cross_session is neither 0 nor 1");
    const QStringList categories = query.value(u"disabled_categories"_s).split(u',', Qt::SkipEmptyParts);

    m_settings.insert(u"retention_days"_s, retentionDays);
    m_settings.insert(u"cross_session"_s, crossSession == u"1");
    m_settings.insert(u"disabled_categories"_s, QJsonArray::fromStringList(categories));
    return emptyObject();
}

HttpResponse ProtectionServer::answerPurge(const HttpRequest &request)
{
    if (auto refusal = refuseUnless(request, "GET"))
        return *refusal;
    m_sessions = QJsonArray();
    return emptyObject();
}

HttpResponse ProtectionServer::answerSessions(const HttpRequest &request)
{
    if (auto refusal = refuseUnless(request, "GET"))
        return *refusal;
    QJsonArray list;
    for (const QJsonValue &session : std::as_const(m_sessions)) {
        QJsonObject summary = session.toObject();
        summary.remove(u"mapping"_s);
        list.append(summary);
    }
    return HttpResponse::json(200, { { u"sessions"_s, list } });
}

HttpResponse ProtectionServer::answerSession(const HttpRequest &request)
{
    if (request.method == "POST" && isRoot(request))
        return changeSession(request);
    if (auto refusal = refuseUnless(request, "GET"))
        return *refusal;
    const QString id = formQuery(request.url).value(u"id"_s);
    if (id.isEmpty())
        return HttpResponse::text(400, "missing id");
    const qsizetype index = sessionIndex(id);
    if (index < 0)
        return HttpResponse::text(404, "no session " + id.toUtf8());
    return HttpResponse::json(200, m_sessions.at(index).toObject());
}

HttpResponse ProtectionServer::changeSession(const HttpRequest &request)
{
    const QByteArray type = request.headers.value("content-type").split(';').constFirst().trimmed().toLower();
    if (type != "application/json")
        return HttpResponse::text(400, "the body must be application/json");
    QJsonParseError error;
    const QJsonDocument document = QJsonDocument::fromJson(request.body, &error);
    if (error.error != QJsonParseError::NoError || !document.isObject())
        return HttpResponse::text(400, "the body is not a JSON object");

    const QJsonObject change = document.object();
    const QString action = change.value(u"action"_s).toString();
    const QString id = idText(change.value(u"id"_s));
    const QJsonValue title = change.value(u"title"_s);
    if (id.isEmpty())
        return HttpResponse::text(400, "missing id");
    if (action == u"rename" && !title.isString())
        return HttpResponse::text(400, "rename needs a title");
    if (action != u"rename" && action != u"delete")
        return HttpResponse::text(400, "unknown action");

    const qsizetype index = sessionIndex(id);
    if (index < 0)
        return HttpResponse::text(404, "no session " + id.toUtf8());
    if (action == u"delete") {
        m_sessions.removeAt(index);
    } else {
        QJsonObject session = m_sessions.at(index).toObject();
        session.insert(u"title"_s, title);
        m_sessions.replace(index, session);
    }
    return emptyObject();
}

qsizetype ProtectionServer::sessionIndex(const QString &id) const
{
    for (qsizetype i = 0; i < m_sessions.size(); ++i) {
        if (idText(m_sessions.at(i).toObject().value(u"id"_s)) == id)
            return i;
    }
    return -1;
}

} // namespace Vetron::Tools
