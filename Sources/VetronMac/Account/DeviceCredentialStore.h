#pragma once

#include "Platform/Keychain.h"

#include <QCoroTask>
#include <QString>

// The device token: the bearer credential of this Mac at the account portal. It lives in
// "device-credential.json" in the data directory; a token left in the keychain by earlier
// versions is taken over once per run.
namespace Vetron::DeviceCredentialStore {

// The credential file.
QString file();

// The stored token, or the legacy keychain token (copied into the file, then removed from the
// keychain). Throws DeviceCredentialError::notFound when there is neither.
QCoro::Task<QString> read();

// Stores `token` (0600). Throws DeviceCredentialError::invalidValue for an empty token, FileError
// when it cannot be written.
void write(const QString &token);

// Removes the token from the file and the keychain. Never fails.
QCoro::Task<> remove();

// The keychain the legacy token is looked for in; the system's unless replaced. For tests.
void useKeychain(Platform::Keychain keychain);

// Lets the next read look at the keychain again, as a new run would. For tests.
void forgetLegacyCheck();

} // namespace Vetron::DeviceCredentialStore
