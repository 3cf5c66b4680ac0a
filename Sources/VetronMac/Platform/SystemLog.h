#pragma once

#include <QString>

namespace Vetron::Platform {

// Writes one line to the system log (syslog on Linux, the unified log on macOS).
void writeSystemLog(const QString &line);

} // namespace Vetron::Platform
