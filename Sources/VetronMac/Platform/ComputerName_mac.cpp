#include "Platform/ComputerName.h"

#include <SystemConfiguration/SystemConfiguration.h>

namespace Vetron::Platform {

QString computerName()
{
    const CFStringRef name = SCDynamicStoreCopyComputerName(nullptr, nullptr);
    if (!name)
        return {};
    const QString result = QString::fromCFString(name);
    CFRelease(name);
    return result;
}

} // namespace Vetron::Platform
