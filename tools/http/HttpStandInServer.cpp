#include "HttpStandInServer.h"

#include "HttpConnection.h"
#include "HttpRequestParser.h"

#include <QHostAddress>
#include <QPointer>
#include <QSslCertificate>
#include <QSslConfiguration>
#include <QSslKey>
#include <QSslServer>
#include <QSslSocket>
#include <QTcpServer>
#include <QTcpSocket>

#include <optional>

namespace Vetron::Tools {

HttpStandInServer::HttpStandInServer(QTcpServer *server, OverrideKey key, QObject *parent)
    : QObject(parent)
    , m_server(server)
    , m_key(key)
{
    m_server->setParent(this);
    // A TLS server hands a connection over only once its handshake has succeeded, and disposes
    // of the ones whose handshake fails; a plain one at once.
    connect(m_server, &QTcpServer::pendingConnectionAvailable, this, &HttpStandInServer::acceptConnections);
}

HttpStandInServer::~HttpStandInServer()
{
    close();
}

bool HttpStandInServer::listenOnLoopback(quint16 port)
{
    if (!m_server->listen(QHostAddress::LocalHost, port))
        return false;
    m_port = m_server->serverPort();
    return true;
}

bool HttpStandInServer::listenOnLoopbackWithTls(
    const QSslCertificate &certificate, const QSslKey &key, quint16 port)
{
    if (certificate.isNull() || key.isNull())
        return false;
    QSslConfiguration configuration = QSslConfiguration::defaultConfiguration();
    configuration.setLocalCertificate(certificate);
    configuration.setPrivateKey(key);
    configuration.setPeerVerifyMode(QSslSocket::VerifyNone);
    static_cast<QSslServer *>(tcpServer())->setSslConfiguration(configuration);
    return listenOnLoopback(port);
}

bool HttpStandInServer::isListening() const
{
    return m_server->isListening();
}

quint16 HttpStandInServer::port() const
{
    return m_port;
}

void HttpStandInServer::close()
{
    m_server->close();
    // Connections still in their TLS handshake belong to the server until they are handed over.
    const auto waiting = m_server->findChildren<QTcpSocket *>(Qt::FindDirectChildrenOnly);
    for (QTcpSocket *socket : waiting) {
        socket->abort();
        socket->deleteLater();
    }
    const auto connections = findChildren<HttpConnection *>(Qt::FindDirectChildrenOnly);
    for (HttpConnection *connection : connections)
        connection->drop();
    // Connections a subclass carries on itself (see takeOver).
    const auto carried = findChildren<QTcpSocket *>(Qt::FindDirectChildrenOnly);
    for (QTcpSocket *socket : carried) {
        socket->abort();
        socket->deleteLater();
    }
}

void HttpStandInServer::setOverride(const QString &key, int status, QByteArray body, int delayMs)
{
    setOverride(key, HttpOverride { status, std::move(body), delayMs });
}

void HttpStandInServer::setOverride(const QString &key, HttpOverride override)
{
    m_overrides.insert(keyOf(key), std::move(override));
}

void HttpStandInServer::clearOverrides()
{
    m_overrides.clear();
}

QList<HttpStandInServer::Request> HttpStandInServer::requests() const
{
    return m_requests;
}

void HttpStandInServer::clearRequests()
{
    m_requests.clear();
}

QString HttpStandInServer::keyOf(const QString &key) const
{
    return m_key == OverrideKey::host ? key.toLower() : key;
}

void HttpStandInServer::acceptConnections()
{
    while (QTcpSocket *socket = m_server->nextPendingConnection()) {
        auto *connection = new HttpConnection(socket, this);
        connect(connection, &HttpConnection::requestArrived, this,
            [this, connection](const HttpRequest &request) { handle(connection, request); });
    }
}

void HttpStandInServer::handle(HttpConnection *connection, const HttpRequest &request)
{
    m_requests.append(Request { request.method, request.url, request.url.path(), QUrlQuery(request.url),
        request.headers, request.body });
    const QString key = keyOf(m_key == OverrideKey::host ? request.url.host() : request.url.path());
    const auto found = m_overrides.constFind(key);
    const std::optional<HttpOverride> override
        = found == m_overrides.cend() ? std::nullopt : std::optional<HttpOverride>(*found);
    // A slot of requestReceived may close the server, and the connection with it.
    const QPointer<HttpConnection> target(connection);
    Q_EMIT requestReceived();
    if (!target || takeOver(connection, request))
        return;
    respondWithOverride(connection, override, [this, request] { return answer(request); });
}

} // namespace Vetron::Tools
