#pragma once

#include <QString>

#include <optional>

namespace Vetron {

// State of protection as the tunnel service reports it and the model publishes it.
enum class ProtectionState {
    disabled,   // off; the system web proxies are as the user had them
    connecting, // being started or restarted
    protected_, // tunnel up, map unlocked, proxies point at the tunnel
    blocked,    // wanted but not working; proxies still point at the tunnel
};

// The fixed text identity of each state: "disabled", "connecting", "protected", "blocked".
QString toText(ProtectionState state);

// The state for one of the four texts; any other text gives no state.
std::optional<ProtectionState> protectionStateFromText(QStringView text);

} // namespace Vetron
