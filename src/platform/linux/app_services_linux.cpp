// On Linux a window-less tray program has no taskbar entry by nature, and windows take focus
// through their own activation; notifications go through the freedesktop service instead.
#include "platform/app_services.h"

#if defined(__GLIBC__)
#include <malloc.h>
#endif

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

// glibc returns memory to the system only from the top of each arena on its own; the trim
// also releases the whole free pages inside them. Other C libraries are left to themselves.
void releaseFreedMemory() {
#if defined(__GLIBC__)
    malloc_trim(0);
#endif
}

}  // namespace velmora::platform
