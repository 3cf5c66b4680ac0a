#include "Platform/ApplicationVersion.h"

#include <CoreFoundation/CoreFoundation.h>

namespace Vetron::Platform {

QString applicationVersion()
{
    const CFBundleRef bundle = CFBundleGetMainBundle();
    if (!bundle)
        return {};
    // Owned by the bundle: not released here.
    const CFTypeRef value = CFBundleGetValueForInfoDictionaryKey(bundle, CFSTR("CFBundleShortVersionString"));
    if (!value || CFGetTypeID(value) != CFStringGetTypeID())
        return {};
    return QString::fromCFString(static_cast<CFStringRef>(value));
}

} // namespace Vetron::Platform
