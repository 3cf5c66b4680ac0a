#pragma once

#include "HttpStandInServer.h"

#include <QString>

class QSslCertificate;
class QSslKey;

namespace Vetron::Tools {

// A website as a browser meets it: HTTPS on 127.0.0.1 with the certificate it is given, every
// path answered with a small page that names this server (see servedBy), readable from any
// origin and never cached. Besides the request log it counts the connections that began a TLS
// handshake, so that a connection whose certificate the browser refused is seen as well.
class PageServer : public HttpStandInServer
{
    Q_OBJECT

public:
    explicit PageServer(QString name, QObject *parent = nullptr);

    // Listens on 127.0.0.1 only; port 0 lets the system choose.
    bool listen(const QSslCertificate &certificate, const QSslKey &key, quint16 port = 0);

    QString name() const { return m_name; }
    int handshakes() const { return m_handshakes; }

    // The text of the element "served-by" in this server's page.
    static QString servedBy(const QString &name) { return QStringLiteral("страницу отдал: ") + name; }

protected:
    HttpResponse answer(const HttpRequest &request) override;

private:
    QString m_name;
    int m_handshakes = 0;
};

} // namespace Vetron::Tools
