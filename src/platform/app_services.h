#pragma once

#include <functional>
#include <string>

namespace velmora::platform {

// Makes the program a status-bar-only application: no dock or taskbar entry, no menu bar
// of its own.
void becomeAccessoryApplication();
// Brings the program to the front, taking focus from other applications.
void activateApplication();

// The system's user-notification centre, where the platform has one apart from the
// freedesktop service (macOS). `answer` runs on the main thread.
bool hasUserNotificationCentre();
void requestUserNotificationPermission(std::function<void(bool granted)> answer);
void postUserNotification(const std::string& id, const std::string& title, const std::string& body);

// Gives the pages the memory allocator still holds for freed blocks back to the system. A
// program that frees and allocates all day leaves such pages between live blocks; they stay
// resident although nothing uses them.
void releaseFreedMemory();

}  // namespace velmora::platform
