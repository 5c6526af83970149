// Application facts from AppKit's view of running applications.
#include "platform/macos/running_application.h"

#import <AppKit/AppKit.h>

namespace velmora::platform {

std::optional<int64_t> runningApplicationArchitecture(int32_t pid) {
    @autoreleasepool {
        NSRunningApplication* app = [NSRunningApplication runningApplicationWithProcessIdentifier:pid];
        if (app == nil) return std::nullopt;
        return static_cast<int64_t>(app.executableArchitecture);
    }
}

}  // namespace velmora::platform
