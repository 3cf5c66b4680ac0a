#include "DeveloperCertificates.h"

#include "ToolRun.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QRandomGenerator>
#include <QSslConfiguration>

using namespace Qt::StringLiterals;

namespace Vetron::LocalStack {

namespace {

// Our own configuration, so that the system's openssl.cnf adds nothing unexpected.
constexpr QByteArrayView opensslConfig = R"([req]
distinguished_name = dn
[dn]
[authority]
basicConstraints = critical, CA:TRUE
keyUsage = critical, keyCertSign, cRLSign
subjectKeyIdentifier = hash
[server]
basicConstraints = critical, CA:FALSE
keyUsage = critical, digitalSignature, keyEncipherment
extendedKeyUsage = serverAuth
subjectAltName = DNS:localhost, DNS:assistant.vetron.test, IP:127.0.0.1, IP:0.0.0.0
subjectKeyIdentifier = hash
authorityKeyIdentifier = keyid
)";

// Runs openssl in `directory`; empty on success, otherwise what went wrong.
QString runOpenssl(const QString &directory, const QStringList &arguments)
{
    return runTool(u"/usr/bin/openssl"_s, arguments, {}, nullptr, directory);
}

QByteArray readFile(const QString &path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

QString randomSerial()
{
    return u"0x"_s + QString::number(QRandomGenerator::global()->generate64() >> 1, 16);
}

// Writes the configuration and an authority key and certificate (ca.key, ca.pem) into `directory`.
QString makeAuthority(const QString &directory, const QString &commonName)
{
    QFile config(QDir(directory).filePath(u"openssl.cnf"_s));
    if (!config.open(QIODevice::WriteOnly) || config.write(opensslConfig.data(), opensslConfig.size()) < 0)
        return u"cannot write "_s + config.fileName();
    config.close();
    return runOpenssl(directory,
        { u"req"_s, u"-config"_s, u"openssl.cnf"_s, u"-x509"_s, u"-newkey"_s, u"ec"_s, u"-pkeyopt"_s,
            u"ec_paramgen_curve:prime256v1"_s, u"-nodes"_s, u"-keyout"_s, u"ca.key"_s, u"-out"_s, u"ca.pem"_s,
            u"-days"_s, u"30"_s, u"-subj"_s, u"/CN="_s + commonName, u"-extensions"_s, u"authority"_s });
}

} // namespace

DeveloperCertificates::DeveloperCertificates(const QString &directory)
{
    if (directory.isEmpty()) {
        m_temporary.emplace();
        if (!m_temporary->isValid()) {
            m_error = u"cannot create a temporary directory: "_s + m_temporary->errorString();
            return;
        }
        m_directory = m_temporary->path();
    } else if (QDir().mkpath(directory)) {
        m_directory = QFileInfo(directory).absoluteFilePath();
    } else {
        m_error = u"cannot create "_s + directory;
        return;
    }
    m_error = makeAuthority(m_directory, u"Vetron Developer CA"_s);
    if (m_error.isEmpty()) {
        m_error = runOpenssl(m_directory,
            { u"req"_s, u"-config"_s, u"openssl.cnf"_s, u"-new"_s, u"-newkey"_s, u"ec"_s, u"-pkeyopt"_s,
                u"ec_paramgen_curve:prime256v1"_s, u"-nodes"_s, u"-keyout"_s, u"server.key"_s, u"-out"_s,
                u"server.csr"_s, u"-subj"_s, u"/CN=localhost"_s });
    }
    if (m_error.isEmpty()) {
        m_error = runOpenssl(m_directory,
            { u"x509"_s, u"-req"_s, u"-in"_s, u"server.csr"_s, u"-CA"_s, u"ca.pem"_s, u"-CAkey"_s,
                u"ca.key"_s, u"-set_serial"_s, randomSerial(), u"-days"_s, u"30"_s, u"-extfile"_s,
                u"openssl.cnf"_s, u"-extensions"_s, u"server"_s, u"-out"_s, u"server.pem"_s });
    }
    if (!m_error.isEmpty())
        return;

    const QDir dir(m_directory);
    m_caPem = readFile(dir.filePath(u"ca.pem"_s));
    m_serverCertificate = QSslCertificate(readFile(dir.filePath(u"server.pem"_s)), QSsl::Pem);
    m_serverKey = QSslKey(readFile(dir.filePath(u"server.key"_s)), QSsl::Ec, QSsl::Pem);
    if (caCertificate().isNull() || m_serverCertificate.isNull() || m_serverKey.isNull())
        m_error = u"openssl wrote certificates or a key that Qt cannot read"_s;
}

bool DeveloperCertificates::isValid() const
{
    return m_error.isEmpty();
}

QString DeveloperCertificates::errorString() const
{
    return m_error;
}

QByteArray DeveloperCertificates::caCertificatePem() const
{
    return m_caPem;
}

QString DeveloperCertificates::caCertificatePath() const
{
    return QDir(m_directory).filePath(u"ca.pem"_s);
}

QSslCertificate DeveloperCertificates::caCertificate() const
{
    return QSslCertificate(m_caPem, QSsl::Pem);
}

QSslCertificate DeveloperCertificates::serverCertificate() const
{
    return m_serverCertificate;
}

QSslKey DeveloperCertificates::serverKey() const
{
    return m_serverKey;
}

void DeveloperCertificates::trustInThisProcess() const
{
    QSslConfiguration configuration = QSslConfiguration::defaultConfiguration();
    configuration.addCaCertificates({ caCertificate() });
    QSslConfiguration::setDefaultConfiguration(configuration);
}

QByteArray DeveloperCertificates::makeCaPem(const QString &commonName)
{
    QTemporaryDir directory;
    if (!directory.isValid() || !makeAuthority(directory.path(), commonName).isEmpty())
        return {};
    return readFile(QDir(directory.path()).filePath(u"ca.pem"_s));
}

} // namespace Vetron::LocalStack
