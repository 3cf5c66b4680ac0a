#include "PageServer.h"

#include "HttpRequestParser.h"

#include <QSslServer>

using namespace Qt::StringLiterals;

namespace Vetron::Tools {

PageServer::PageServer(QString name, QObject *parent)
    : HttpStandInServer(new QSslServer, OverrideKey::path, parent)
    , m_name(std::move(name))
{
    connect(static_cast<QSslServer *>(tcpServer()), &QSslServer::startedEncryptionHandshake, this,
        [this] { ++m_handshakes; });
}

bool PageServer::listen(const QSslCertificate &certificate, const QSslKey &key, quint16 port)
{
    return listenOnLoopbackWithTls(certificate, key, port);
}

HttpResponse PageServer::answer(const HttpRequest &)
{
    HttpResponse response;
    response.contentType = "text/html; charset=utf-8";
    response.headers = { { "Access-Control-Allow-Origin", "*" }, { "Cache-Control", "no-store" } };
    response.body = u"<!doctype html><html lang=\"ru\"><meta charset=\"utf-8\"><title>Ветрон: проверочная "
                    u"страница</title><p id=\"served-by\">%1</p></html>\n"_s.arg(servedBy(m_name))
                        .toUtf8();
    return response;
}

} // namespace Vetron::Tools
