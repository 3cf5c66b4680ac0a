#pragma once

#include <QByteArray>
#include <QHash>
#include <QUrl>

#include <optional>
#include <variant>

namespace Vetron::Tools {

// One request as it came off the wire. `url` is the absolute URL the request is for: taken from an
// absolute-form target as is, built from the Host header for an origin-form one, and only host
// and port for CONNECT. Header names are lower-case; repeated headers are joined with ", ".
struct HttpRequest
{
    QByteArray method;
    QByteArray target;
    QByteArray version;
    QUrl url;
    QHash<QByteArray, QByteArray> headers;
    QByteArray body;

    // Whether the client wants the connection kept open after the answer.
    bool keepAlive() const;
};

// Why the bytes are not a request the server can read; the status is the one to answer with.
struct HttpParseFailure
{
    int status = 400;
    QByteArray message;
};

struct HttpIncomplete
{
};

using HttpParseResult = std::variant<HttpIncomplete, HttpRequest, HttpParseFailure>;

// Reads HTTP/1.x requests from a byte stream that arrives in pieces of any size. Bodies are
// framed by Content-Length only; a request with Transfer-Encoding is refused. After a failure
// the stream cannot be resynchronised, so the parser keeps reporting it.
class HttpRequestParser
{
public:
    static constexpr qsizetype maxHeaderBytes = 64 * 1024;
    static constexpr qsizetype maxBodyBytes = 16 * 1024 * 1024;

    void append(const QByteArray &bytes) { m_buffer.append(bytes); }

    // The next request, once all of it has been appended; its bytes are consumed.
    HttpParseResult next();

private:
    HttpParseResult fail(int status, QByteArray message);
    qsizetype headEnd() const;

    QByteArray m_buffer;
    std::optional<HttpRequest> m_head;
    qsizetype m_bodyLength = 0;
    std::optional<HttpParseFailure> m_failure;
};

} // namespace Vetron::Tools
