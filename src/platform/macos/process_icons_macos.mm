// Process icons from AppKit's view of running applications.
#include "platform/process_icons.h"

#import <AppKit/AppKit.h>

#include <libproc.h>
#include <sys/proc_info.h>

namespace velmora::platform {

namespace {

class MacProcessIconReader : public ProcessIconReader {
  public:
    std::optional<uint64_t> startTime(int32_t pid) override {
        if (pid < 0) return std::nullopt;
        struct proc_bsdinfo info {};
        if (proc_pidinfo(pid, PROC_PIDTBSDINFO, 0, &info, sizeof info) != static_cast<int>(sizeof info))
            return std::nullopt;
        return static_cast<uint64_t>(info.pbi_start_tvsec) * 1'000'000 + info.pbi_start_tvusec;
    }

    // An application's bundle shows its own icon; everything else the generic one.
    ProcessIconSource iconSource(int32_t pid) override {
        @autoreleasepool {
            NSRunningApplication* app = [NSRunningApplication runningApplicationWithProcessIdentifier:pid];
            NSString* path = app.bundleURL.path;
            if (path == nil) return {};
            return {ProcessIconSource::Kind::file, std::string(path.UTF8String)};
        }
    }
};

}  // namespace

std::unique_ptr<ProcessIconReader> makeProcessIconReader() {
    return std::make_unique<MacProcessIconReader>();
}

}  // namespace velmora::platform
