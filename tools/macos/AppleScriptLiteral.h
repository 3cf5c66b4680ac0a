#pragma once

#include <QString>
#include <QStringView>

#include <optional>

namespace Vetron::StandIn {

// The text of an AppleScript string literal's body, or nothing when the body holds an unescaped
// quote (which would have ended the literal early) or ends in a lone backslash.
std::optional<QString> unescapeStringLiteral(QStringView body);

} // namespace Vetron::StandIn
