#include "Foundation/Error.h"
#include "Platform/LaunchAtLogin.h"

#import <Foundation/Foundation.h>
#import <ServiceManagement/ServiceManagement.h>

using namespace Qt::StringLiterals;

namespace Vetron::Platform {

// The main application's login item through the system's login-item service (macOS 13+). The
// calls come before the event loop runs, so each has an autorelease pool of its own; nothing is
// thrown inside one. A failure is told in our words with the system's code: its own description
// would be in the system's language.
LaunchAtLogin LaunchAtLogin::system()
{
    return {
        .isEnabled =
            [] {
                @autoreleasepool {
                    return SMAppService.mainAppService.status == SMAppServiceStatusEnabled;
                }
            },
        .registerApplication =
            [] {
                bool registered = false;
                NSInteger code = 0;
                @autoreleasepool {
                    NSError *error = nil;
                    registered = [SMAppService.mainAppService registerAndReturnError:&error];
                    code = error ? error.code : 0;
                }
                if (!registered)
                    throw Error(u"Система не добавила Ветрон в объекты входа (код %1)"_s.arg(qint64(code)));
            },
    };
}

} // namespace Vetron::Platform
