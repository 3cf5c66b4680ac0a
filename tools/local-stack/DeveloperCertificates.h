#pragma once

#include <QByteArray>
#include <QSslCertificate>
#include <QSslKey>
#include <QString>
#include <QTemporaryDir>

#include <optional>

namespace Vetron::LocalStack {

// A developer certificate authority and a server certificate it signed for localhost,
// 127.0.0.1 and the local stack's test site, made with the openssl command line: in `directory` (made when
// missing; its files stay), or in a temporary directory that lives as long as the object. Check isValid()
// before use; errorString() says what went wrong.
class DeveloperCertificates
{
public:
    explicit DeveloperCertificates(const QString &directory = {});

    bool isValid() const;
    QString errorString() const;

    QByteArray caCertificatePem() const;
    QString caCertificatePath() const;
    QSslCertificate caCertificate() const;
    QSslCertificate serverCertificate() const;
    QSslKey serverKey() const;

    // Adds the authority to the process-wide default TLS configuration, so that every network
    // manager created from then on trusts the server certificate.
    void trustInThisProcess() const;

    // A standalone self-signed authority certificate in PEM, unrelated to any other; empty when
    // openssl fails.
    static QByteArray makeCaPem(const QString &commonName = QStringLiteral("Vetron Other Test CA"));

private:
    std::optional<QTemporaryDir> m_temporary;
    QString m_directory;
    QString m_error;
    QByteArray m_caPem;
    QSslCertificate m_serverCertificate;
    QSslKey m_serverKey;
};

} // namespace Vetron::LocalStack
