#pragma once

#include "Platform/ToolPaths.h"

#include <QCoroTask>
#include <QString>

#include <optional>

// Generic-password items of the user's keychain, through the security tool.
namespace Vetron::Platform::Keychain {

// The data of the one item with `service` and `account`, or nothing when there is none or the
// lookup fails.
QCoro::Task<std::optional<QString>> readGenericPassword(ToolPaths tools, QString service, QString account);

// Deletes every item with `service` and `account`; any failure is ignored.
QCoro::Task<> deleteGenericPasswords(ToolPaths tools, QString service, QString account);

} // namespace Vetron::Platform::Keychain
