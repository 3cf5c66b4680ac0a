#pragma once

#include "Foundation/ServerAddresses.h"
#include "Platform/ToolPaths.h"

#include <QCoroTask>

// Obtains a device token for a Mac that is enrolled but has none: the enrollment server hands
// out a challenge, the device signs it with its SSH key, and the signature is exchanged for a
// token.
namespace Vetron::DeviceCredentialMigration {

// True when a token is stored at the end (there already, or obtained now). Never fails: every
// problem gives false. The proof and signature files never outlive the call.
QCoro::Task<bool> migrateIfNeeded(ServerAddresses servers = {}, ToolPaths tools = {});

} // namespace Vetron::DeviceCredentialMigration
