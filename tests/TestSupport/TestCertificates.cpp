#include "TestSupport/TestCertificates.h"

#include <QDir>
#include <QFile>
#include <QProcess>
#include <QRandomGenerator>
#include <QSslConfiguration>

using namespace Qt::StringLiterals;

namespace Vetron::Test {

namespace {

constexpr int opensslLimitMs = 30000;

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
subjectAltName = DNS:localhost, IP:127.0.0.1
subjectKeyIdentifier = hash
authorityKeyIdentifier = keyid
)";

// Runs openssl in `directory`; empty on success, otherwise what went wrong.
QString runOpenssl(const QString &directory, const QStringList &arguments)
{
    QProcess process;
    process.setWorkingDirectory(directory);
    process.setProcessChannelMode(QProcess::MergedChannels);
    process.start(u"/usr/bin/openssl"_s, arguments);
    if (!process.waitForFinished(opensslLimitMs))
        return u"openssl did not finish: "_s + process.errorString();
    if (process.exitStatus() != QProcess::NormalExit || process.exitCode() != 0) {
        return u"openssl "_s + arguments.constFirst() + u" failed: "_s
            + QString::fromLocal8Bit(process.readAll());
    }
    return {};
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

TestCertificates::TestCertificates()
{
    if (!m_directory.isValid()) {
        m_error = u"cannot create a temporary directory: "_s + m_directory.errorString();
        return;
    }
    const QString directory = m_directory.path();
    m_error = makeAuthority(directory, u"Vetron Test CA"_s);
    if (m_error.isEmpty()) {
        m_error = runOpenssl(directory,
            { u"req"_s, u"-config"_s, u"openssl.cnf"_s, u"-new"_s, u"-newkey"_s, u"ec"_s, u"-pkeyopt"_s,
                u"ec_paramgen_curve:prime256v1"_s, u"-nodes"_s, u"-keyout"_s, u"server.key"_s, u"-out"_s,
                u"server.csr"_s, u"-subj"_s, u"/CN=localhost"_s });
    }
    if (m_error.isEmpty()) {
        m_error = runOpenssl(directory,
            { u"x509"_s, u"-req"_s, u"-in"_s, u"server.csr"_s, u"-CA"_s, u"ca.pem"_s, u"-CAkey"_s,
                u"ca.key"_s, u"-set_serial"_s, randomSerial(), u"-days"_s, u"30"_s, u"-extfile"_s,
                u"openssl.cnf"_s, u"-extensions"_s, u"server"_s, u"-out"_s, u"server.pem"_s });
    }
    if (!m_error.isEmpty())
        return;

    const QDir dir(directory);
    m_caPem = readFile(dir.filePath(u"ca.pem"_s));
    m_serverCertificate = QSslCertificate(readFile(dir.filePath(u"server.pem"_s)), QSsl::Pem);
    m_serverKey = QSslKey(readFile(dir.filePath(u"server.key"_s)), QSsl::Ec, QSsl::Pem);
    if (caCertificate().isNull() || m_serverCertificate.isNull() || m_serverKey.isNull())
        m_error = u"openssl wrote certificates or a key that Qt cannot read"_s;
}

bool TestCertificates::isValid() const
{
    return m_error.isEmpty();
}

QString TestCertificates::errorString() const
{
    return m_error;
}

QByteArray TestCertificates::caCertificatePem() const
{
    return m_caPem;
}

QString TestCertificates::caCertificatePath() const
{
    return QDir(m_directory.path()).filePath(u"ca.pem"_s);
}

QSslCertificate TestCertificates::caCertificate() const
{
    return QSslCertificate(m_caPem, QSsl::Pem);
}

QSslCertificate TestCertificates::serverCertificate() const
{
    return m_serverCertificate;
}

QSslKey TestCertificates::serverKey() const
{
    return m_serverKey;
}

void TestCertificates::trustInThisProcess() const
{
    QSslConfiguration configuration = QSslConfiguration::defaultConfiguration();
    configuration.addCaCertificates({ caCertificate() });
    QSslConfiguration::setDefaultConfiguration(configuration);
}

QByteArray TestCertificates::makeCaPem(const QString &commonName)
{
    QTemporaryDir directory;
    if (!directory.isValid() || !makeAuthority(directory.path(), commonName).isEmpty())
        return {};
    return readFile(QDir(directory.path()).filePath(u"ca.pem"_s));
}

} // namespace Vetron::Test
