#pragma once

namespace Vetron {

// What the client changes on the computer, and with what: the macOS network services, login
// keychain and the rest through the system's tools (or their stand-ins, which speak the same
// interfaces), or a Linux desktop's own settings and the browsers' certificate stores.
enum class SystemBackend { tools, desktop };

} // namespace Vetron
