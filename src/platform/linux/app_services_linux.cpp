// On Linux a window-less tray program has no taskbar entry by nature, and windows take focus
// through their own activation; notifications go through the freedesktop service instead.
#include "platform/app_services.h"

namespace velmora::platform {

void becomeAccessoryApplication() {}
void activateApplication() {}

bool hasUserNotificationCentre() {
    return false;
}
void requestUserNotificationPermission(std::function<void(bool)> answer) {
    if (answer) answer(false);
}
void postUserNotification(const std::string&, const std::string&, const std::string&) {}

}  // namespace velmora::platform
