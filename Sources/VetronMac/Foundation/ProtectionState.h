#pragma once

#include <QObject>
#include <QString>
#include <QtQmlIntegration/qqmlintegration.h>

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

// The same states as views name them (QML wants enumerators with a capital):
// ProtectionState.Disabled, .Connecting, .Protected, .Blocked.
namespace ProtectionStateForViews {
Q_NAMESPACE
QML_NAMED_ELEMENT(ProtectionState)

enum Value : int {
    Disabled = int(ProtectionState::disabled),
    Connecting = int(ProtectionState::connecting),
    Protected = int(ProtectionState::protected_),
    Blocked = int(ProtectionState::blocked),
};
Q_ENUM_NS(Value)

} // namespace ProtectionStateForViews

constexpr ProtectionStateForViews::Value forViews(ProtectionState state)
{
    return ProtectionStateForViews::Value(int(state));
}

// A view may hand over any number as the enumeration: one out of range reads as `disabled`.
constexpr ProtectionState fromViews(ProtectionStateForViews::Value state)
{
    if (int(state) < int(ProtectionState::disabled) || int(state) > int(ProtectionState::blocked))
        return ProtectionState::disabled;
    return ProtectionState(int(state));
}

} // namespace Vetron
