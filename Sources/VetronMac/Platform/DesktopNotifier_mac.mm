#include "Platform/DesktopNotifier.h"

#import <UserNotifications/UserNotifications.h>

namespace Vetron {
namespace {

// One identifier for the client's one notification: a new request under it replaces the old.
NSString *const identifier = @"io.vetron.mac.protection";

} // namespace

void DesktopNotifier::connectToDesktop()
{
    // The system asks the user once; until they agree, notifications are dropped.
    [[UNUserNotificationCenter currentNotificationCenter]
        requestAuthorizationWithOptions:UNAuthorizationOptionAlert
                      completionHandler:^(BOOL, NSError *) {}];
}

void DesktopNotifier::deliver()
{
    UNUserNotificationCenter *center = [UNUserNotificationCenter currentNotificationCenter];
    if (!m_wanted) {
        [center removePendingNotificationRequestsWithIdentifiers:@[ identifier ]];
        [center removeDeliveredNotificationsWithIdentifiers:@[ identifier ]];
        return;
    }
    // Plain text: the centre never reads markup.
    UNMutableNotificationContent *content = [[UNMutableNotificationContent alloc] init];
    content.title = m_wanted->title.toNSString();
    content.body = m_wanted->body.toNSString();
    UNNotificationRequest *request = [UNNotificationRequest requestWithIdentifier:identifier
                                                                          content:content
                                                                          trigger:nil];
    [content release]; // the request holds it (no ARC here)
    [center addNotificationRequest:request withCompletionHandler:nil];
}

} // namespace Vetron
