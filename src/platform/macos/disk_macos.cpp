// The system volume from statfs, and the bytes moved by every block-storage driver from
// its IOKit statistics.
#include "platform/disk.h"

#include <CoreFoundation/CoreFoundation.h>
#include <IOKit/IOKitLib.h>
#include <sys/mount.h>

namespace velmora::platform {

namespace {

void addCounter(CFDictionaryRef stats, CFStringRef key, uint64_t& total) {
    CFTypeRef v = CFDictionaryGetValue(stats, key);
    if (!v || CFGetTypeID(v) != CFNumberGetTypeID()) return;
    int64_t n = 0;
    if (CFNumberGetValue(static_cast<CFNumberRef>(v), kCFNumberSInt64Type, &n))
        total += static_cast<uint64_t>(n);
}

class IOKitDiskSource : public DiskSource {
  public:
    bool volume(VolumeBlocks& out) override {
        struct statfs st;
        if (statfs("/", &st) != 0) return false;
        out.blockSize = st.f_bsize;
        out.total = st.f_blocks;
        out.available = st.f_bavail;
        return true;
    }

    bool totals(DiskTotals& out) override {
        io_iterator_t drivers = 0;
        if (IOServiceGetMatchingServices(kIOMainPortDefault, IOServiceMatching("IOBlockStorageDriver"),
                                         &drivers) != KERN_SUCCESS)
            return false;
        out = {};
        io_registry_entry_t driver;
        while ((driver = IOIteratorNext(drivers)) != 0) {
            CFTypeRef stats =
                IORegistryEntryCreateCFProperty(driver, CFSTR("Statistics"), kCFAllocatorDefault, 0);
            if (stats) {
                if (CFGetTypeID(stats) == CFDictionaryGetTypeID()) {
                    addCounter(static_cast<CFDictionaryRef>(stats), CFSTR("Bytes (Read)"), out.readBytes);
                    addCounter(static_cast<CFDictionaryRef>(stats), CFSTR("Bytes (Write)"), out.writtenBytes);
                }
                CFRelease(stats);
            }
            IOObjectRelease(driver);
        }
        IOObjectRelease(drivers);
        return true;
    }
};

}  // namespace

std::unique_ptr<DiskSource> makeDiskSource() {
    return std::make_unique<IOKitDiskSource>();
}

}  // namespace velmora::platform
