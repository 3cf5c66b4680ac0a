#pragma once

#include "HttpRequestParser.h"
#include "HttpResponse.h"

#include <QObject>

class QTcpSocket;

namespace Vetron::Tools {

// One client connection: reads requests one after another and writes each answer in order.
// While an answer is outstanding the next request waits in the buffer, so answers given late
// still go out in request order. Deletes itself once the connection is gone. Works over plain
// TCP and over TLS alike: a QSslSocket is handed over once its handshake is done.
class HttpConnection : public QObject
{
    Q_OBJECT

public:
    // Takes over `socket`, which must be connected (and encrypted, for a QSslSocket). Bytes it has
    // already received are read as soon as the event loop runs.
    HttpConnection(QTcpSocket *socket, QObject *parent);

    // Answers the request last announced by requestArrived; ignored once the connection is
    // closing or when no request is waiting.
    void respond(const HttpResponse &response);

    // Answers like respond() but sends only the headers and the first `bodyBytes` of the body,
    // then cuts the connection, or with `stall` keeps it open and silent.
    void respondPartially(const HttpResponse &response, qsizetype bodyBytes, bool stall);

    // Answers with `bytes` as they are, not framed as HTTP, then closes the connection.
    void respondRaw(const QByteArray &bytes);

    // Closes the connection at once, with no answer to a waiting request.
    void drop();

    // Hands the socket over, parentless, to whoever carries the connection on (a CONNECT tunnel):
    // this object reads no more from it and deletes itself later. Bytes received after the
    // request that asked for it are lost; a tunnel's client waits for its answer before sending.
    QTcpSocket *release();

Q_SIGNALS:
    void requestArrived(const Vetron::Tools::HttpRequest &request);

private:
    void readIncoming();
    void processBuffered();
    void send(const HttpResponse &response, bool closeAfter);

    QTcpSocket *m_socket;
    HttpRequestParser m_parser;
    bool m_answerPending = false;
    bool m_pendingKeepAlive = true;
    bool m_pendingHeadOnly = false;
    bool m_processing = false;
    bool m_closing = false;
};

} // namespace Vetron::Tools
