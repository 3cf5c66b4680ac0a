#pragma once

#include "HttpOverride.h"
#include "HttpResponse.h"

#include <QByteArray>
#include <QHash>
#include <QList>
#include <QObject>
#include <QString>
#include <QUrl>
#include <QUrlQuery>

class QSslCertificate;
class QSslKey;
class QTcpServer;

namespace Vetron::Tools {

class HttpConnection;
struct HttpRequest;

// What the local HTTP stand-ins share: listening on 127.0.0.1, serving each connection in
// request order, the log of every request and the table of canned answers that take the place
// of the usual ones. A subclass gives the usual answer; which part of a request picks its
// canned answer (the path, or the host of a proxy request) is fixed when the server is made.
class HttpStandInServer : public QObject
{
    Q_OBJECT

public:
    struct Request
    {
        QByteArray method;
        QUrl url;
        QString path;
        QUrlQuery query;
        QHash<QByteArray, QByteArray> headers; // names in lower case
        QByteArray body;
    };

    // The part of a request its canned answer is looked up by. Hosts are compared without
    // regard to case.
    enum class OverrideKey { path, host };

    ~HttpStandInServer() override;

    bool isListening() const;
    // The port of the last successful listen, kept after close() so that listening on port()
    // again brings the server back where it was.
    quint16 port() const;
    // Stops listening and cuts every open connection at once, with no answer to waiting requests.
    void close();

    // Every request whose key (see OverrideKey) is `key`, whatever its method, is answered with
    // `status` and `body` after `delayMs`, instead of the usual answer. Status 0 only delays the
    // usual answer.
    void setOverride(const QString &key, int status, QByteArray body = {}, int delayMs = 0);
    void setOverride(const QString &key, HttpOverride override);
    void clearOverrides();

    QList<Request> requests() const;
    void clearRequests();

Q_SIGNALS:
    // A request has been read completely; it is already in requests(), its answer not yet sent.
    void requestReceived();

protected:
    // Takes over `server` (a plain TCP or a TLS server), which hands over connections once they
    // are ready to carry requests.
    HttpStandInServer(QTcpServer *server, OverrideKey key, QObject *parent);

    QTcpServer *tcpServer() const { return m_server; }
    // Listens on 127.0.0.1 only; port 0 lets the system choose.
    bool listenOnLoopback(quint16 port);
    // The same for a TLS server (a QSslServer) with `certificate` and `key`; false when either
    // is null.
    bool listenOnLoopbackWithTls(const QSslCertificate &certificate, const QSslKey &key, quint16 port);

    // The usual answer to `request`, made when the answer goes out.
    virtual HttpResponse answer(const HttpRequest &request) = 0;
    // Whether this server carries `connection` on itself after `request` (see
    // HttpConnection::release), instead of answering it.
    virtual bool takeOver(HttpConnection *connection, const HttpRequest &request)
    {
        Q_UNUSED(connection);
        Q_UNUSED(request);
        return false;
    }

private:
    void acceptConnections();
    void handle(HttpConnection *connection, const HttpRequest &request);
    QString keyOf(const QString &key) const;

    QTcpServer *m_server;
    OverrideKey m_key;
    quint16 m_port = 0;
    QHash<QString, HttpOverride> m_overrides;
    QList<Request> m_requests;
};

} // namespace Vetron::Tools
