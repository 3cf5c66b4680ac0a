#include "Account/DeviceCredentialMigration.h"

#include "Account/AccountErrors.h"
#include "Account/DeviceCredentialStore.h"
#include "Foundation/AtomicFile.h"
#include "Foundation/ClientPaths.h"
#include "Foundation/JsonCodec.h"
#include "Foundation/ProcessRunner.h"
#include "Foundation/WebExchange.h"

#include <QDir>
#include <QFile>
#include <QNetworkAccessManager>
#include <QScopeGuard>
#include <QUuid>

using namespace Qt::StringLiterals;
using namespace std::chrono_literals;

namespace Vetron::DeviceCredentialMigration {
namespace {

struct ChallengeResponse
{
    QString challenge;

    static ChallengeResponse decode(const JsonReader &r) { return { r.required<QString>(u"challenge") }; }
    QJsonObject toJson() const { return JsonWriter().put(u"challenge"_s, challenge).object(); }
};

struct CredentialResponse
{
    QString deviceToken;

    static CredentialResponse decode(const JsonReader &r) { return { r.required<QString>(u"device_token") }; }
    QJsonObject toJson() const { return JsonWriter().put(u"device_token"_s, deviceToken).object(); }
};

// POSTs `fields` as JSON to the enrollment server, bypassing every proxy, and decodes a 200
// answer as T. Any other status is AccountError::serverFailure.
template<JsonRecord T> QCoro::Task<T> post(QUrl address, QJsonObject fields)
{
    const WebAnswer answer = co_await WebExchange::postJson(address, fields, 60s);
    if (answer.status != 200)
        throw AccountError(AccountError::Case::serverFailure);
    co_return decodeJson<T>(answer.body);
}

QByteArray readFile(const QString &path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        throw FileError::fromFile(u"Не удалось прочитать файл"_s, file);
    return file.readAll();
}

} // namespace

QCoro::Task<bool> migrateIfNeeded(ServerAddresses servers, ToolPaths tools)
{
    try {
        co_await DeviceCredentialStore::read();
        co_return true;
    } catch (const Error &) {
    }
    if (!QFile::exists(ClientPaths::privateKey()) || !QFile::exists(ClientPaths::publicKey()))
        co_return false;

    const QString proof = QDir::tempPath() + u"/vetron-device-proof-"_s
        + QUuid::createUuid().toString(QUuid::WithoutBraces).toUpper();
    const QString signature = proof + u".sig"_s;
    const auto cleanUp = qScopeGuard([&proof, &signature]() {
        QFile::remove(proof);
        QFile::remove(signature);
    });

    try {
        const QString publicKey = QString::fromUtf8(readFile(ClientPaths::publicKey())).trimmed();
        // (Built apart: GCC 12 cannot take a braced list inside a co_await expression.)
        const QJsonObject challengeRequest { { u"pubkey"_s, publicKey } };
        const auto challenge = co_await post<ChallengeResponse>(
            ServerAddresses::withPath(servers.enrollmentBase, u"api/device-credential/challenge"_s),
            challengeRequest);
        AtomicFile::write(proof, challenge.challenge.toUtf8(), AtomicFile::ownerOnly);

        const QStringList arguments { u"-Y"_s, u"sign"_s, u"-f"_s, ClientPaths::privateKey(), u"-n"_s,
            u"vetron-device"_s, proof };
        co_await ProcessRunner::run(tools.sshKeygen, arguments);
        const QString signed_ = QString::fromUtf8(readFile(signature));

        const QJsonObject claimRequest { { u"pubkey"_s, publicKey }, { u"challenge"_s, challenge.challenge },
            { u"signature"_s, signed_ } };
        const auto credential = co_await post<CredentialResponse>(
            ServerAddresses::withPath(servers.enrollmentBase, u"api/device-credential/claim"_s),
            claimRequest);
        DeviceCredentialStore::write(credential.deviceToken);
        co_return true;
    } catch (const Error &) {
        co_return false;
    }
}

} // namespace Vetron::DeviceCredentialMigration
