#include "HttpRequestParser.h"

#include <QByteArrayList>

namespace Vetron::Tools {

namespace {

bool isToken(QByteArrayView text)
{
    static constexpr QByteArrayView punctuation = "!#$%&'*+-.^_`|~";
    if (text.isEmpty())
        return false;
    for (const char c : text) {
        const bool alphanumeric = (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9');
        if (!alphanumeric && !punctuation.contains(c))
            return false;
    }
    return true;
}

bool hasWhitespaceOrControl(QByteArrayView text)
{
    for (const char c : text) {
        if (static_cast<unsigned char>(c) <= ' ' || c == 0x7f)
            return true;
    }
    return false;
}

// The head split into lines, each without its line ending; a lone LF ends a line as well as CRLF.
QByteArrayList headLines(const QByteArray &head)
{
    QByteArrayList lines = head.split('\n');
    for (QByteArray &line : lines) {
        if (line.endsWith('\r'))
            line.chop(1);
    }
    // The split leaves the blank line that ends the head and what follows its last LF.
    while (!lines.isEmpty() && lines.constLast().isEmpty())
        lines.removeLast();
    return lines;
}

std::optional<QUrl> resolveUrl(const HttpRequest &request)
{
    QUrl url;
    if (request.method == "CONNECT") {
        url = QUrl::fromEncoded("//" + request.target, QUrl::StrictMode);
        if (url.port() < 0 || !url.path().isEmpty())
            return std::nullopt;
    } else if (request.target.startsWith('/')) {
        const QByteArray host = request.headers.value("host");
        if (host.isEmpty() || host.contains('/') || host.contains('@'))
            return std::nullopt;
        url = QUrl::fromEncoded("http://" + host + request.target, QUrl::StrictMode);
    } else {
        url = QUrl::fromEncoded(request.target, QUrl::StrictMode);
        if (url.scheme() != u"http" && url.scheme() != u"https")
            return std::nullopt;
    }
    if (!url.isValid() || url.host().isEmpty())
        return std::nullopt;
    return url;
}

} // namespace

bool HttpRequest::keepAlive() const
{
    bool close = false;
    bool keepAlive = false;
    for (const QByteArray &option : headers.value("connection").split(',')) {
        const QByteArray name = option.trimmed().toLower();
        close = close || name == "close";
        keepAlive = keepAlive || name == "keep-alive";
    }
    if (close)
        return false;
    return version == "HTTP/1.1" || keepAlive;
}

HttpParseResult HttpRequestParser::fail(int status, QByteArray message)
{
    m_failure = HttpParseFailure { status, std::move(message) };
    m_buffer.clear();
    return *m_failure;
}

qsizetype HttpRequestParser::headEnd() const
{
    qsizetype start = 0;
    for (qsizetype end = m_buffer.indexOf('\n'); end >= 0; end = m_buffer.indexOf('\n', start)) {
        const qsizetype length = end - start;
        if (length == 0 || (length == 1 && m_buffer.at(start) == '\r'))
            return end + 1;
        start = end + 1;
    }
    return -1;
}

HttpParseResult HttpRequestParser::next()
{
    if (m_failure)
        return *m_failure;

    if (!m_head) {
        // Stray line endings between requests are allowed before a request line.
        qsizetype blank = 0;
        while (blank < m_buffer.size() && (m_buffer.at(blank) == '\r' || m_buffer.at(blank) == '\n'))
            ++blank;
        m_buffer.remove(0, blank);

        const qsizetype end = headEnd();
        if (end < 0 && m_buffer.size() > maxHeaderBytes)
            return fail(431, "request header is too large");
        if (end < 0)
            return HttpIncomplete {};
        if (end > maxHeaderBytes)
            return fail(431, "request header is too large");

        const QByteArray head = m_buffer.left(end);
        m_buffer.remove(0, end);
        if (head.contains('\0'))
            return fail(400, "request header contains a NUL byte");
        const QByteArrayList lines = headLines(head);
        if (lines.isEmpty())
            return fail(400, "empty request");

        const QByteArrayList requestLine = lines.constFirst().split(' ');
        if (requestLine.size() != 3)
            return fail(400, "malformed request line");
        HttpRequest request;
        request.method = requestLine.at(0);
        request.target = requestLine.at(1);
        request.version = requestLine.at(2);
        if (!isToken(request.method))
            return fail(400, "malformed method");
        if (request.target.isEmpty() || hasWhitespaceOrControl(request.target))
            return fail(400, "malformed request target");
        if (request.version != "HTTP/1.1" && request.version != "HTTP/1.0") {
            if (request.version.startsWith("HTTP/"))
                return fail(505, "only HTTP/1.0 and HTTP/1.1 are served");
            return fail(400, "malformed HTTP version");
        }

        for (qsizetype i = 1; i < lines.size(); ++i) {
            const QByteArray &line = lines.at(i);
            if (line.startsWith(' ') || line.startsWith('\t'))
                return fail(400, "folded header lines are not accepted");
            if (line.contains('\r'))
                return fail(400, "bare CR in a header line");
            const qsizetype colon = line.indexOf(':');
            if (colon <= 0 || !isToken(QByteArrayView(line).first(colon)))
                return fail(400, "malformed header line");
            const QByteArray name = line.left(colon).toLower();
            const QByteArray value = line.mid(colon + 1).trimmed();
            auto existing = request.headers.find(name);
            if (existing == request.headers.end())
                request.headers.insert(name, value);
            else
                *existing += ", " + value;
        }

        if (request.headers.contains("transfer-encoding"))
            return fail(501, "Transfer-Encoding is not supported; send Content-Length");
        if (request.version == "HTTP/1.1" && !request.headers.contains("host"))
            return fail(400, "HTTP/1.1 request without Host");

        m_bodyLength = 0;
        if (const auto length = request.headers.constFind("content-length");
            length != request.headers.cend()) {
            bool digitsOnly = !length->isEmpty();
            for (const char c : *length)
                digitsOnly = digitsOnly && c >= '0' && c <= '9';
            bool ok = false;
            const qlonglong value = length->toLongLong(&ok);
            if (!digitsOnly || !ok)
                return fail(400, "malformed Content-Length");
            if (value > maxBodyBytes)
                return fail(413, "request body is too large");
            m_bodyLength = qsizetype(value);
        }

        const std::optional<QUrl> url = resolveUrl(request);
        if (!url)
            return fail(400, "request target names no usable host");
        request.url = *url;
        m_head = std::move(request);
    }

    if (m_buffer.size() < m_bodyLength)
        return HttpIncomplete {};
    HttpRequest request = std::move(*m_head);
    m_head.reset();
    request.body = m_buffer.left(m_bodyLength);
    m_buffer.remove(0, m_bodyLength);
    return request;
}

} // namespace Vetron::Tools
