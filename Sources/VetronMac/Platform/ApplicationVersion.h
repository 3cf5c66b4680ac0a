#pragma once

#include <QString>

namespace Vetron::Platform {

// The application's short version string: on macOS the "CFBundleShortVersionString" entry of the
// bundle's information (empty when it is missing or not text), elsewhere the build's version.
QString applicationVersion();

} // namespace Vetron::Platform
