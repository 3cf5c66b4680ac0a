#pragma once

#include <QByteArray>
#include <QString>

#include <functional>
#include <optional>

namespace Vetron::Platform {

// Generic-password items of the user's keychain, read and delete only. On macOS this is the
// system's keychain, reached through the Security framework (the command-line tool would ask
// the user on every run and cannot see data-protection items); other platforms have none.
// Tests inject their own.
struct Keychain
{
    // The data of the item with `service` and `account` as stored, or nothing when there is none
    // or the lookup fails.
    std::function<std::optional<QByteArray>(const QString &service, const QString &account)> read;
    // Deletes every item with `service` and `account`; any failure is ignored.
    std::function<void(const QString &service, const QString &account)> removeAll;

    static Keychain system();
};

} // namespace Vetron::Platform
