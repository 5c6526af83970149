// Temperature sensors from the HID event system (vendor-defined temperature services) and
// the process thermal state. The HID event-system client functions are not in the public
// headers, so the few used here are declared below.
#include "platform/thermal.h"

#include <CoreFoundation/CoreFoundation.h>
#include <objc/message.h>
#include <objc/runtime.h>

using HIDClientRef = struct __IOHIDEventSystemClient*;
using HIDServiceRef = struct __IOHIDServiceClient*;
using HIDEventRef = struct __IOHIDEvent*;

extern "C" {
HIDClientRef IOHIDEventSystemClientCreate(CFAllocatorRef allocator);
int IOHIDEventSystemClientSetMatching(HIDClientRef client, CFDictionaryRef match);
CFArrayRef IOHIDEventSystemClientCopyServices(HIDClientRef client);
CFTypeRef IOHIDServiceClientCopyProperty(HIDServiceRef service, CFStringRef key);
HIDEventRef IOHIDServiceClientCopyEvent(HIDServiceRef service, int64_t type, int32_t options,
                                        int64_t timestamp);
double IOHIDEventGetFloatValue(HIDEventRef event, int32_t field);
}

namespace velmora::platform {

namespace {

constexpr int kPrimaryUsagePage = 0xFF00;
constexpr int kPrimaryUsage = 5;
constexpr int64_t kEventTypeTemperature = 15;
constexpr int32_t kFieldTemperature = 15 << 16;

CFNumberRef number(int v) {
    return CFNumberCreate(kCFAllocatorDefault, kCFNumberIntType, &v);
}

class HIDTemperatureSource : public TemperatureSource {
  public:
    HIDTemperatureSource() {
        client_ = IOHIDEventSystemClientCreate(kCFAllocatorDefault);
        if (!client_) return;
        const void* keys[] = {CFSTR("PrimaryUsagePage"), CFSTR("PrimaryUsage")};
        CFNumberRef page = number(kPrimaryUsagePage);
        CFNumberRef usage = number(kPrimaryUsage);
        const void* values[] = {page, usage};
        CFDictionaryRef match =
            CFDictionaryCreate(kCFAllocatorDefault, keys, values, 2, &kCFTypeDictionaryKeyCallBacks,
                               &kCFTypeDictionaryValueCallBacks);
        IOHIDEventSystemClientSetMatching(client_, match);
        CFRelease(match);
        CFRelease(page);
        CFRelease(usage);
    }
    // The client lives for the whole run, as the reader does.

    void read(std::vector<TemperatureReading>& out) override {
        size_t n = 0;
        if (client_) {
            if (CFArrayRef services = IOHIDEventSystemClientCopyServices(client_)) {
                const CFIndex count = CFArrayGetCount(services);
                for (CFIndex i = 0; i < count; ++i) {
                    auto service = (HIDServiceRef)CFArrayGetValueAtIndex(services, i);
                    HIDEventRef event = IOHIDServiceClientCopyEvent(service, kEventTypeTemperature, 0, 0);
                    if (!event) continue;
                    const double celsius = IOHIDEventGetFloatValue(event, kFieldTemperature);
                    CFRelease(event);
                    if (n == out.size()) out.emplace_back();
                    out[n].name = productName(service);
                    out[n].celsius = celsius;
                    ++n;
                }
                CFRelease(services);
            }
        }
        out.resize(n);
    }

    int sensorCount() override {
        if (!client_) return 0;
        CFArrayRef services = IOHIDEventSystemClientCopyServices(client_);
        if (!services) return 0;
        const int n = static_cast<int>(CFArrayGetCount(services));
        CFRelease(services);
        return n;
    }

    ThermalPressure pressure() override {
        // NSProcessInfo.processInfo.thermalState, through the Objective-C runtime.
        using Getter = id (*)(id, SEL);
        using StateGetter = long (*)(id, SEL);
        id cls = reinterpret_cast<id>(objc_getClass("NSProcessInfo"));
        if (!cls) return ThermalPressure::nominal;
        id info = reinterpret_cast<Getter>(objc_msgSend)(cls, sel_registerName("processInfo"));
        if (!info) return ThermalPressure::nominal;
        const long state =
            reinterpret_cast<StateGetter>(objc_msgSend)(info, sel_registerName("thermalState"));
        return state >= 0 && state <= 3 ? static_cast<ThermalPressure>(state) : ThermalPressure::nominal;
    }

  private:
    static std::string productName(HIDServiceRef service) {
        std::string name = "?";
        if (CFTypeRef product = IOHIDServiceClientCopyProperty(service, CFSTR("Product"))) {
            char buf[256];
            if (CFGetTypeID(product) == CFStringGetTypeID() &&
                CFStringGetCString(static_cast<CFStringRef>(product), buf, sizeof buf, kCFStringEncodingUTF8))
                name = buf;
            CFRelease(product);
        }
        return name;
    }

    HIDClientRef client_ = nullptr;
};

}  // namespace

std::unique_ptr<TemperatureSource> makeTemperatureSource() {
    return std::make_unique<HIDTemperatureSource>();
}

const char* powerFilePath() {
    return "/private/tmp/pelto_monitor_thermal.json";
}

}  // namespace velmora::platform
