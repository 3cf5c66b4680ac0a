#include "Foundation/Error.h"
#include "Platform/LaunchAtLogin.h"

#import <Foundation/Foundation.h>
#import <ServiceManagement/ServiceManagement.h>

namespace Vetron::Platform {

// The main application's login item through the system's login-item service (macOS 13+).
LaunchAtLogin LaunchAtLogin::system()
{
    return {
        .isEnabled = [] { return SMAppService.mainAppService.status == SMAppServiceStatusEnabled; },
        .registerApplication =
            [] {
                NSError *error = nil;
                if (![SMAppService.mainAppService registerAndReturnError:&error])
                    throw Error(QString::fromNSString(error.localizedDescription));
            },
    };
}

} // namespace Vetron::Platform
