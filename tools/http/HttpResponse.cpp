#include "HttpResponse.h"

#include <QJsonDocument>
#include <QJsonParseError>

namespace Vetron::Tools {

namespace {

constexpr QByteArrayView jsonType = "application/json";
constexpr QByteArrayView textType = "text/plain; charset=utf-8";

bool carriesNoBody(int status)
{
    return (status >= 100 && status < 200) || status == 204 || status == 304;
}

} // namespace

HttpResponse HttpResponse::json(int status, const QJsonObject &object)
{
    return { status, jsonType.toByteArray(), QJsonDocument(object).toJson(QJsonDocument::Compact) };
}

HttpResponse HttpResponse::text(int status, QByteArray text)
{
    if (!text.endsWith('\n'))
        text.append('\n');
    return { status, textType.toByteArray(), std::move(text) };
}

HttpResponse HttpResponse::raw(int status, QByteArray body)
{
    if (body.isEmpty())
        return { status, {}, {} };
    QJsonParseError error;
    QJsonDocument::fromJson(body, &error);
    const QByteArrayView type = error.error == QJsonParseError::NoError ? jsonType : textType;
    return { status, type.toByteArray(), std::move(body) };
}

QByteArray HttpResponse::serialize(bool closeAfter, bool headOnly) const
{
    const bool bodyless = carriesNoBody(status);
    QByteArray wire = "HTTP/1.1 " + QByteArray::number(status) + ' ' + reasonPhrase(status) + "\r\n";
    if (!bodyless) {
        if (!contentType.isEmpty())
            wire += "Content-Type: " + contentType + "\r\n";
        wire += "Content-Length: " + QByteArray::number(body.size()) + "\r\n";
    }
    for (const auto &[name, value] : headers)
        wire += name + ": " + value + "\r\n";
    wire += closeAfter ? "Connection: close\r\n" : "Connection: keep-alive\r\n";
    wire += "\r\n";
    if (!bodyless && !headOnly)
        wire += body;
    return wire;
}

QByteArray reasonPhrase(int status)
{
    struct Reason
    {
        int status;
        const char *phrase;
    };
    static constexpr Reason reasons[] = {
        { 100, "Continue" },
        { 200, "OK" },
        { 201, "Created" },
        { 202, "Accepted" },
        { 204, "No Content" },
        { 301, "Moved Permanently" },
        { 302, "Found" },
        { 304, "Not Modified" },
        { 307, "Temporary Redirect" },
        { 308, "Permanent Redirect" },
        { 400, "Bad Request" },
        { 401, "Unauthorized" },
        { 403, "Forbidden" },
        { 404, "Not Found" },
        { 405, "Method Not Allowed" },
        { 407, "Proxy Authentication Required" },
        { 408, "Request Timeout" },
        { 409, "Conflict" },
        { 410, "Gone" },
        { 413, "Content Too Large" },
        { 415, "Unsupported Media Type" },
        { 422, "Unprocessable Content" },
        { 429, "Too Many Requests" },
        { 431, "Request Header Fields Too Large" },
        { 500, "Internal Server Error" },
        { 501, "Not Implemented" },
        { 502, "Bad Gateway" },
        { 503, "Service Unavailable" },
        { 504, "Gateway Timeout" },
        { 505, "HTTP Version Not Supported" },
    };
    for (const Reason &reason : reasons) {
        if (reason.status == status)
            return reason.phrase;
    }
    return {};
}

} // namespace Vetron::Tools
