#include "HttpConnection.h"

#include <QPointer>
#include <QTcpSocket>

namespace Vetron::Tools {

HttpConnection::HttpConnection(QTcpSocket *socket, QObject *parent)
    : QObject(parent)
    , m_socket(socket)
{
    m_socket->setParent(this);
    connect(m_socket, &QTcpSocket::readyRead, this, &HttpConnection::readIncoming);
    connect(m_socket, &QTcpSocket::disconnected, this, [this] {
        m_closing = true;
        deleteLater();
    });
    // A TLS client may send its request together with the end of the handshake, before anyone
    // listened for readyRead.
    if (m_socket->bytesAvailable() > 0)
        QMetaObject::invokeMethod(this, &HttpConnection::readIncoming, Qt::QueuedConnection);
}

void HttpConnection::respond(const HttpResponse &response)
{
    if (m_closing || !m_answerPending)
        return;
    send(response, !m_pendingKeepAlive);
    processBuffered();
}

void HttpConnection::respondPartially(const HttpResponse &response, qsizetype bodyBytes, bool stall)
{
    if (m_closing || !m_answerPending)
        return;
    m_answerPending = false;
    m_closing = true;
    const QByteArray wire = response.serialize(false, m_pendingHeadOnly);
    m_socket->write(wire.left(wire.indexOf("\r\n\r\n") + 4 + bodyBytes));
    if (!stall)
        m_socket->disconnectFromHost();
}

void HttpConnection::respondRaw(const QByteArray &bytes)
{
    if (m_closing || !m_answerPending)
        return;
    m_answerPending = false;
    m_closing = true;
    m_socket->write(bytes);
    m_socket->disconnectFromHost();
}

void HttpConnection::drop()
{
    // Also cuts a connection that is still sending its last answer before closing.
    m_closing = true;
    m_socket->abort();
    deleteLater();
}

QTcpSocket *HttpConnection::release()
{
    m_closing = true;
    m_socket->disconnect(this);
    m_socket->setParent(nullptr);
    QTcpSocket *socket = m_socket;
    deleteLater();
    return socket;
}

void HttpConnection::readIncoming()
{
    if (m_closing)
        return;
    m_parser.append(m_socket->readAll());
    processBuffered();
}

void HttpConnection::processBuffered()
{
    // An answer given synchronously from requestArrived lands here again; the outer loop goes on.
    if (m_processing)
        return;
    m_processing = true;
    const QPointer<HttpConnection> alive(this);
    while (!m_closing && !m_answerPending) {
        HttpParseResult result = m_parser.next();
        if (std::holds_alternative<HttpIncomplete>(result))
            break;
        if (const auto *failure = std::get_if<HttpParseFailure>(&result)) {
            m_answerPending = true;
            m_pendingHeadOnly = false;
            send(HttpResponse::text(failure->status, failure->message), true);
            break;
        }
        const HttpRequest &request = std::get<HttpRequest>(result);
        m_answerPending = true;
        m_pendingKeepAlive = request.keepAlive();
        m_pendingHeadOnly = request.method == "HEAD";
        Q_EMIT requestArrived(request);
        if (!alive)
            return;
    }
    m_processing = false;
}

void HttpConnection::send(const HttpResponse &response, bool closeAfter)
{
    m_answerPending = false;
    m_socket->write(response.serialize(closeAfter, m_pendingHeadOnly));
    if (closeAfter) {
        m_closing = true;
        // Leaves once everything written has gone out.
        m_socket->disconnectFromHost();
    }
}

} // namespace Vetron::Tools
