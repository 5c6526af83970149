// Battery state from the power-source functions and the smart-battery registry entry.
#include "platform/battery.h"

#include <CoreFoundation/CoreFoundation.h>
#include <IOKit/IOKitLib.h>
#include <IOKit/ps/IOPSKeys.h>
#include <IOKit/ps/IOPowerSources.h>

namespace velmora::platform {

namespace {

std::optional<int64_t> integer(CFTypeRef v) {
    if (!v || CFGetTypeID(v) != CFNumberGetTypeID() || CFNumberIsFloatType(static_cast<CFNumberRef>(v)))
        return std::nullopt;
    int64_t n = 0;
    if (!CFNumberGetValue(static_cast<CFNumberRef>(v), kCFNumberSInt64Type, &n)) return std::nullopt;
    return n;
}

std::optional<bool> boolean(CFTypeRef v) {
    if (!v || CFGetTypeID(v) != CFBooleanGetTypeID()) return std::nullopt;
    return CFBooleanGetValue(static_cast<CFBooleanRef>(v));
}

std::optional<std::string> text(CFTypeRef v) {
    if (!v || CFGetTypeID(v) != CFStringGetTypeID()) return std::nullopt;
    char buf[256];
    if (!CFStringGetCString(static_cast<CFStringRef>(v), buf, sizeof buf, kCFStringEncodingUTF8))
        return std::nullopt;
    return std::string(buf);
}

std::optional<int64_t> registryInteger(io_registry_entry_t entry, CFStringRef key) {
    CFTypeRef v = IORegistryEntryCreateCFProperty(entry, key, kCFAllocatorDefault, 0);
    if (!v) return std::nullopt;
    const auto n = integer(v);
    CFRelease(v);
    return n;
}

class PowerSourceBattery : public BatterySource {
  public:
    void read(BatteryReading& out) override {
        out = {};
        CFTypeRef info = IOPSCopyPowerSourcesInfo();
        CFArrayRef list = info ? IOPSCopyPowerSourcesList(info) : nullptr;
        if (list && CFArrayGetCount(list) > 0) {
            CFDictionaryRef d = IOPSGetPowerSourceDescription(info, CFArrayGetValueAtIndex(list, 0));
            if (d && CFGetTypeID(d) == CFDictionaryGetTypeID()) {
                PowerSourceDescription p;
                p.currentCapacity = integer(CFDictionaryGetValue(d, CFSTR("Current Capacity")));
                p.maxCapacity = integer(CFDictionaryGetValue(d, CFSTR("Max Capacity")));
                p.isCharging = boolean(CFDictionaryGetValue(d, CFSTR("Is Charging")));
                p.powerSourceState = text(CFDictionaryGetValue(d, CFSTR("Power Source State")));
                p.timeToEmpty = integer(CFDictionaryGetValue(d, CFSTR("Time to Empty")));
                p.timeToFullCharge = integer(CFDictionaryGetValue(d, CFSTR("Time to Full Charge")));
                out.powerSource = p;
            }
        }
        if (list) CFRelease(list);
        if (info) CFRelease(info);

        io_service_t battery =
            IOServiceGetMatchingService(kIOMainPortDefault, IOServiceMatching("AppleSmartBattery"));
        if (!battery) return;
        BatteryController c;
        c.cycleCount = registryInteger(battery, CFSTR("CycleCount"));
        c.designCapacity = registryInteger(battery, CFSTR("DesignCapacity"));
        c.appleRawMaxCapacity = registryInteger(battery, CFSTR("AppleRawMaxCapacity"));
        c.maxCapacity = registryInteger(battery, CFSTR("MaxCapacity"));
        IOObjectRelease(battery);
        out.controller = c;
    }
};

}  // namespace

std::unique_ptr<BatterySource> makeBatterySource() {
    return std::make_unique<PowerSourceBattery>();
}

}  // namespace velmora::platform
