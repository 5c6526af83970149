// GPU utilisation from the performance statistics every IOAccelerator publishes, and per-process
// GPU time through the C bridge.
#include "platform/gpu.h"

#include "bridge/macos/bridge_macos.h"

#include <CoreFoundation/CoreFoundation.h>
#include <IOKit/IOKitLib.h>

namespace velmora::platform {

namespace {

// A registry number as a double; anything that is not a number gives nothing.
std::optional<double> numberValue(CFTypeRef value) {
    if (!value || CFGetTypeID(value) != CFNumberGetTypeID()) return std::nullopt;
    double d = 0;
    if (!CFNumberGetValue(static_cast<CFNumberRef>(value), kCFNumberDoubleType, &d)) return std::nullopt;
    return d;
}

class AcceleratorGpuSource : public GpuSource {
  public:
    bool read(GpuReading& out) override {
        out.accelerators.clear();
        out.engines.clear();
        out.device = false;
        io_iterator_t accelerators = 0;
        if (IOServiceGetMatchingServices(kIOMainPortDefault, IOServiceMatching("IOAccelerator"),
                                         &accelerators) != KERN_SUCCESS)
            return false;
        io_registry_entry_t accelerator;
        while ((accelerator = IOIteratorNext(accelerators)) != 0) {
            out.device = true;  // even one that publishes no statistics
            CFTypeRef stats = IORegistryEntryCreateCFProperty(accelerator, CFSTR("PerformanceStatistics"),
                                                              kCFAllocatorDefault, 0);
            if (stats) {
                if (CFGetTypeID(stats) == CFDictionaryGetTypeID()) {
                    auto dict = static_cast<CFDictionaryRef>(stats);
                    AcceleratorStats s;
                    s.deviceUtilization =
                        numberValue(CFDictionaryGetValue(dict, CFSTR("Device Utilization %")));
                    s.gpuActivity = numberValue(CFDictionaryGetValue(dict, CFSTR("GPU Activity(%)")));
                    s.rendererUtilization =
                        numberValue(CFDictionaryGetValue(dict, CFSTR("Renderer Utilization %")));
                    out.accelerators.push_back(s);
                }
                CFRelease(stats);
            }
            IOObjectRelease(accelerator);
        }
        IOObjectRelease(accelerators);
        return true;
    }
};

}  // namespace

std::unique_ptr<GpuSource> makeGpuSource() {
    return std::make_unique<AcceleratorGpuSource>();
}

int gpuProcessTimes(int32_t* pids, uint64_t* times, int capacity) {
    return gpu_proc_times(pids, times, capacity);
}

}  // namespace velmora::platform
