#include "Platform/ApplicationVersion.h"

#include "BuildConstants.h"

namespace Vetron::Platform {

// Without a bundle, the version the build was made from stands for the bundle's entry.
QString applicationVersion()
{
    return QString::fromUtf8(BuildConstants::version);
}

} // namespace Vetron::Platform
