#pragma once

#include "Foundation/Error.h"

namespace Vetron {

enum class AccountErrorCase { credentialExpired, serverFailure };
QString describe(AccountErrorCase which);
using AccountError = CaseError<AccountErrorCase>;

enum class DeviceCredentialErrorCase { notFound, invalidValue };
QString describe(DeviceCredentialErrorCase which);
using DeviceCredentialError = CaseError<DeviceCredentialErrorCase>;

// `unusableAnswer`: the server's answer would make a configuration that cannot work or is unsafe
// to install (a host or user that ssh would misread, a port out of range, anything but exactly one
// certificate).
enum class ActivationErrorCase {
    invalidCode,
    rejected,
    randomFailure,
    alreadyActivated,
    missingCredential,
    unusableAnswer
};
QString describe(ActivationErrorCase which);
using ActivationError = CaseError<ActivationErrorCase>;

} // namespace Vetron
