#pragma once

#include <QString>

namespace Vetron::Platform {

// The per-user application data location: ~/Library/Application Support on macOS,
// $XDG_DATA_HOME (usually ~/.local/share) on Linux. Never empty.
QString userDataLocation();

} // namespace Vetron::Platform
