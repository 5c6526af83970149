// Activation policy and user notifications through AppKit and UserNotifications.
#include "platform/app_services.h"

#import <AppKit/AppKit.h>
#import <Foundation/Foundation.h>
#import <UserNotifications/UserNotifications.h>

#include <malloc/malloc.h>

namespace velmora::platform {

void becomeAccessoryApplication() {
    [NSApp setActivationPolicy:NSApplicationActivationPolicyAccessory];
}

void activateApplication() {
    [NSApp activateIgnoringOtherApps:YES];
}

bool hasUserNotificationCentre() {
    return [[NSBundle mainBundle] bundleIdentifier] != nil;
}

void requestUserNotificationPermission(std::function<void(bool)> answer) {
    if (!hasUserNotificationCentre()) {
        if (answer) answer(false);
        return;
    }
    auto shared = std::make_shared<std::function<void(bool)>>(std::move(answer));
    UNAuthorizationOptions options = UNAuthorizationOptionAlert | UNAuthorizationOptionSound;
    [[UNUserNotificationCenter currentNotificationCenter]
        requestAuthorizationWithOptions:options
                      completionHandler:^(BOOL granted, NSError* _Nullable) {
                        // The centre answers on its own queue; the caller expects the main thread.
                        const bool value = granted == YES;
                        dispatch_async(dispatch_get_main_queue(), ^{
                          if (*shared) (*shared)(value);
                        });
                      }];
}

void postUserNotification(const std::string& id, const std::string& title, const std::string& body) {
    if (!hasUserNotificationCentre()) return;
    UNMutableNotificationContent* content = [[UNMutableNotificationContent alloc] init];
    content.title = [NSString stringWithUTF8String:title.c_str()];
    content.body = [NSString stringWithUTF8String:body.c_str()];
    content.sound = [UNNotificationSound defaultSound];
    UNNotificationRequest* request =
        [UNNotificationRequest requestWithIdentifier:[NSString stringWithUTF8String:id.c_str()]
                                             content:content
                                             trigger:nil];
    [[UNUserNotificationCenter currentNotificationCenter] addNotificationRequest:request
                                                           withCompletionHandler:nil];
}

// Every malloc zone, with no goal: as much as each can give back.
void releaseFreedMemory() {
    malloc_zone_pressure_relief(nullptr, 0);
}

}  // namespace velmora::platform
