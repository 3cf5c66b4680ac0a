#include "Account/ActivationService.h"

#include "Account/AccountErrors.h"
#include "Account/DeviceCredentialStore.h"
#include "Foundation/AtomicFile.h"
#include "Foundation/ClientPaths.h"
#include "Foundation/Models.h"
#include "Foundation/ProcessRunner.h"
#include "Foundation/WebExchange.h"
#include "Platform/ComputerName.h"
#ifndef Q_OS_MACOS
#include "Platform/BrowserCertificateStores.h"
#endif

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QNetworkAccessManager>
#include <QScopeGuard>
#include <QSslCertificate>
#include <QTextBoundaryFinder>
#include <QUuid>

#include <algorithm>

#include <openssl/rand.h>

using namespace Qt::StringLiterals;
using namespace std::chrono_literals;

namespace Vetron::ActivationService {
namespace {

struct TrustedCA
{
    QString fingerprint;
    QString keychain;
};

QString keychainFile()
{
    const QString current = QDir::homePath() + u"/Library/Keychains/login.keychain-db"_s;
    return QFileInfo::exists(current) ? current : QDir::homePath() + u"/Library/Keychains/login.keychain"_s;
}

// Refuses an answer that would install something unusable or unsafe, before anything is written
// or trusted.
void checkAnswer(const EnrollmentResult &result)
{
    const auto plainName = [](const QString &name) {
        return !name.isEmpty() && !name.startsWith(u'-')
            && std::none_of(name.cbegin(), name.cend(),
                [](QChar c) { return c.isSpace() || c.category() == QChar::Other_Control; });
    };
    const auto isPort = [](qint64 port) { return port >= 1 && port <= 65535; };
    const QByteArray pem = result.caPEM.toUtf8();
    const bool oneCertificate
        = pem.count("-----BEGIN") == 1 && QSslCertificate::fromData(pem, QSsl::Pem).size() == 1;
    if (!plainName(result.sshHost) || !plainName(result.sshUser) || !isPort(result.sshPort)
        || !isPort(result.localPort) || !isPort(result.remotePort) || !oneCertificate)
        throw ActivationError(ActivationError::Case::unusableAnswer);
}

QCoro::Task<> removeCA(TrustedCA ca, Options options);

QCoro::Task<TrustedCA> trustCA(QString certificate, Options options)
{
    const ToolPaths &tools = options.tools;
    const QString keychain = keychainFile();
    const QStringList fingerprintArguments { u"x509"_s, u"-in"_s, certificate, u"-noout"_s, u"-fingerprint"_s,
        u"-sha1"_s };
    const ProcessOutput output = co_await ProcessRunner::run(tools.openssl, fingerprintArguments);
    const QStringList pieces = QString::fromUtf8(output.standardOutput).split(u'=', Qt::SkipEmptyParts);
    if (pieces.isEmpty())
        throw ActivationError(ActivationError::Case::randomFailure);
    const QString fingerprint = pieces.last().trimmed().remove(u':');
    AtomicFile::write(QFileInfo(certificate).absolutePath() + u"/ca.thumbprint"_s, fingerprint.toUtf8(),
        AtomicFile::ownerOnly);

    const TrustedCA ca { fingerprint, keychain };
#ifndef Q_OS_MACOS
    if (options.system == SystemBackend::desktop) {
        // A store that refuses the authority keeps no copy of it: nothing to take back here.
        co_await BrowserCertificateStores::trust(certificate, tools.certutil, {});
        co_return ca;
    }
#endif
    const QStringList trustArguments { u"add-trusted-cert"_s, u"-r"_s, u"trustRoot"_s, u"-k"_s, keychain,
        certificate };
    std::exception_ptr failure;
    try {
        co_await ProcessRunner::run(tools.security, trustArguments);
    } catch (...) {
        failure = std::current_exception();
    }
    if (!failure)
        co_return ca;
    // The tool may have added the certificate before its trust setting failed.
    co_await removeCA(ca, options);
    std::rethrow_exception(failure);
}

QCoro::Task<> removeCA(TrustedCA ca, Options options)
{
#ifndef Q_OS_MACOS
    if (options.system == SystemBackend::desktop) {
        co_await BrowserCertificateStores::remove(options.tools.certutil, {});
        co_return;
    }
#endif
    const QStringList arguments { u"delete-certificate"_s, u"-Z"_s, ca.fingerprint, ca.keychain };
    try {
        co_await ProcessRunner::run(options.tools.security, arguments);
    } catch (const Error &) {
    }
}

// Scratch folders of enrollments that never finished (the client was killed or crashed while
// one ran) hold a private key nothing will ever use: they go before a new one is made.
void removeAbandonedScratch()
{
    QDir root(ClientPaths::root());
    const QStringList abandoned
        = root.entryList({ u"activation-*"_s }, QDir::Dirs | QDir::NoDotAndDotDot | QDir::Hidden);
    for (const QString &name : abandoned)
        QDir(root.filePath(name)).removeRecursively();
}

// Moves the enrollment set from `scratch` into the data directory, in order.
void moveIntoPlace(const QString &scratch)
{
    for (const QString &name : ClientPaths::enrollmentSet()) {
        const QString target = ClientPaths::root() + u'/' + name;
        if (QFileInfo::exists(target) || QFileInfo(target).isSymLink()) {
            if (!QFile::remove(target))
                throw FileError(u"Не удалось заменить файл"_s, target, u"его нельзя удалить"_s);
        }
        if (!QFile::rename(scratch + u'/' + name, target))
            throw FileError(u"Не удалось переместить файл"_s, target, u"перемещение не удалось"_s);
    }
    if (!QFile::setPermissions(ClientPaths::privateKey(), AtomicFile::ownerOnly))
        throw FileError(u"Не удалось задать права файла"_s, ClientPaths::privateKey(), u"chmod не удался"_s);
}

} // namespace

qsizetype perceivedLength(const QString &text)
{
    QTextBoundaryFinder finder(QTextBoundaryFinder::Grapheme, text);
    qsizetype count = 0;
    while (finder.toNextBoundary() != -1)
        ++count;
    return count;
}

QString randomHex(int byteCount)
{
    QByteArray bytes(byteCount, Qt::Uninitialized);
    if (RAND_bytes(reinterpret_cast<unsigned char *>(bytes.data()), byteCount) != 1)
        throw ActivationError(ActivationError::Case::randomFailure);
    return QString::fromLatin1(bytes.toHex());
}

QString knownHostsLine(const QString &host, qint64 port, const QString &hostKey)
{
    const QString hostField = port == 22 ? host : u"[%1]:%2"_s.arg(host, QString::number(port));
    return hostField + u' ' + hostKey + u'\n';
}

QCoro::Task<> activate(QString code, Options options)
{
    if (ClientPaths::hasCompleteActivation(ClientPaths::root()))
        throw ActivationError(ActivationError::Case::alreadyActivated);
    const QString key = code.trimmed();
    if (perceivedLength(key) < 20)
        throw ActivationError(ActivationError::Case::invalidCode);

    ClientPaths::prepare();
    removeAbandonedScratch();
    const QString scratch = ClientPaths::root() + u"/activation-"_s
        + QUuid::createUuid().toString(QUuid::WithoutBraces).toUpper();
    ClientPaths::createPrivateDirectory(scratch, false);
    const auto removeScratch = qScopeGuard([scratch]() { QDir(scratch).removeRecursively(); });
    const auto inScratch = [&scratch](const QString &name) { return scratch + u'/' + name; };

    const QStringList keygenArguments { u"-t"_s, u"ed25519"_s, u"-f"_s, inScratch(u"anontun"_s), u"-N"_s,
        u""_s, u"-q"_s, u"-C"_s, u"vetron-macos"_s };
    co_await ProcessRunner::run(options.tools.sshKeygen, keygenArguments);
    QFile publicKeyFile(inScratch(u"anontun.pub"_s));
    if (!publicKeyFile.open(QIODevice::ReadOnly))
        throw FileError::fromFile(u"Не удалось прочитать файл"_s, publicKeyFile);
    const QString publicKey = QString::fromUtf8(publicKeyFile.readAll()).trimmed();

    const QString computer = Platform::computerName();
    const QJsonObject body { { u"token"_s, key }, { u"pubkey"_s, publicKey }, { u"platform"_s, u"macos"_s },
        { u"device_name"_s, computer.isEmpty() ? u"Mac"_s : computer } };
    const WebAnswer answer = co_await WebExchange::postJson(
        ServerAddresses::withPath(options.servers.enrollmentBase, u"api/enroll"_s), body, 60s);
    if (answer.status != 200)
        throw ActivationError(ActivationError::Case::rejected);
    const auto result = decodeJson<EnrollmentResult>(answer.body);
    if (!result.deviceToken || result.deviceToken->isEmpty())
        throw ActivationError(ActivationError::Case::missingCredential);
    checkAnswer(result);

    AtomicFile::write(inScratch(u"anon-map.key"_s), randomHex(32).toUtf8(), AtomicFile::ownerOnly);
    AtomicFile::write(inScratch(u"server-ca.pem"_s), result.caPEM.toUtf8(), AtomicFile::ownerOnly);
    AtomicFile::write(inScratch(u"known_hosts"_s),
        knownHostsLine(result.sshHost, result.sshPort, options.pinnedHostKey).toUtf8(),
        AtomicFile::ownerOnly);
    AtomicFile::write(inScratch(u"config.json"_s), encodeJson(ClientConfig(result)), AtomicFile::ownerOnly);

    const TrustedCA ca = co_await trustCA(inScratch(u"server-ca.pem"_s), options);

    std::exception_ptr failure;
    try {
        moveIntoPlace(scratch);
        DeviceCredentialStore::write(*result.deviceToken);
    } catch (...) {
        failure = std::current_exception();
    }
    if (!failure)
        co_return;

    for (const QString &name : ClientPaths::enrollmentSet())
        QFile::remove(ClientPaths::root() + u'/' + name);
    co_await removeCA(ca, options);
    co_await DeviceCredentialStore::remove();
    std::rethrow_exception(failure);
}

} // namespace Vetron::ActivationService
