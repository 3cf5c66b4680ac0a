#include "Account/DeviceCredentialStore.h"

#include "Account/AccountErrors.h"
#include "Foundation/AtomicFile.h"
#include "Foundation/ClientPaths.h"
#include "Platform/Keychain.h"

#include <QFile>
#include <QJsonDocument>
#include <QJsonObject>
#include <QStringDecoder>

using namespace Qt::StringLiterals;

namespace Vetron::DeviceCredentialStore {
namespace {

const QString legacyService = u"io.vetron.device-credential"_s;
const QString legacyAccount = u"device-api"_s;

// Looked for at most once per run. Everything runs on the interface thread and the flag is set
// before the first suspension, so two overlapping reads cannot both look.
bool legacyKeychainChecked = false;

Platform::Keychain &keychain()
{
    static Platform::Keychain current = Platform::Keychain::system();
    return current;
}

QString fileValue()
{
    QFile credential(file());
    if (!credential.open(QIODevice::ReadOnly))
        return {};
    return QJsonDocument::fromJson(credential.readAll()).object().value(u"device_token"_s).toString();
}

// The keychain item's data as a token: only valid UTF-8 counts; anything else is as if there were
// no item, which then stays where it is.
std::optional<QString> legacyToken(const std::optional<QByteArray> &data)
{
    if (!data)
        return std::nullopt;
    QStringDecoder decoder(QStringDecoder::Utf8, QStringDecoder::Flag::Stateless);
    const QString text = decoder(*data);
    if (decoder.hasError())
        return std::nullopt;
    return text;
}

} // namespace

QString file()
{
    return ClientPaths::root() + u"/device-credential.json"_s;
}

QCoro::Task<QString> read()
{
    if (const QString stored = fileValue(); !stored.isEmpty())
        co_return stored;

    if (!std::exchange(legacyKeychainChecked, true)) {
        const std::optional<QString> legacy = legacyToken(keychain().read(legacyService, legacyAccount));
        if (legacy && !legacy->isEmpty()) {
            // The keychain item goes only once its token is safely in the file; if the copy
            // fails, the item stays for the next run and the token still serves this one.
            try {
                write(*legacy);
                keychain().removeAll(legacyService, legacyAccount);
            } catch (const Error &) {
            }
            co_return *legacy;
        }
    }
    throw DeviceCredentialError(DeviceCredentialError::Case::notFound);
}

void write(const QString &token)
{
    if (token.isEmpty())
        throw DeviceCredentialError(DeviceCredentialError::Case::invalidValue);
    const QByteArray bytes
        = QJsonDocument(QJsonObject { { u"device_token"_s, token } }).toJson(QJsonDocument::Compact);
    ClientPaths::prepare();
    AtomicFile::write(file(), bytes, AtomicFile::ownerOnly);
}

QCoro::Task<> remove()
{
    QFile::remove(file());
    keychain().removeAll(legacyService, legacyAccount);
    co_return;
}

void useKeychain(Platform::Keychain replacement)
{
    keychain() = std::move(replacement);
}

void forgetLegacyCheck()
{
    legacyKeychainChecked = false;
}

} // namespace Vetron::DeviceCredentialStore
