#include "Platform/Keychain.h"

namespace Vetron::Platform {

// Only macOS keeps the items the client looks for.
Keychain Keychain::system()
{
    return Keychain {
        .read = [](const QString &, const QString &) { return std::optional<QByteArray>(); },
        .removeAll = [](const QString &, const QString &) {},
    };
}

} // namespace Vetron::Platform
