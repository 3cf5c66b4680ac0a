#include "Platform/WakeNotifier.h"

#include <QPointer>

#import <AppKit/AppKit.h>

namespace Vetron {

bool WakeNotifier::subscribeToSystem()
{
    QPointer<WakeNotifier> self(this);
    [[[NSWorkspace sharedWorkspace] notificationCenter] addObserverForName:NSWorkspaceDidWakeNotification
                                                                    object:nil
                                                                     queue:[NSOperationQueue mainQueue]
                                                                usingBlock:^(NSNotification *) {
                                                                    if (self)
                                                                        Q_EMIT self->systemDidWake();
                                                                }];
    return true;
}

} // namespace Vetron
