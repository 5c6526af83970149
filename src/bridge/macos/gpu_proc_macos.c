/* Per-process GPU time from the accelerators' client objects in the IOKit registry: each
 * client names its creating process ("pid 812, name") and carries usage records with the
 * GPU time accumulated so far. */
#include "bridge/macos/bridge_macos.h"
#include "bridge/decode.h"

#include <CoreFoundation/CoreFoundation.h>
#include <IOKit/IOKitLib.h>

static int64_t usage_sum(CFArrayRef usage) {
    int64_t sum = 0;
    const CFIndex n = CFArrayGetCount(usage);
    for (CFIndex i = 0; i < n; ++i) {
        CFTypeRef item = CFArrayGetValueAtIndex(usage, i);
        if (!item || CFGetTypeID(item) != CFDictionaryGetTypeID()) continue;
        CFTypeRef t = CFDictionaryGetValue((CFDictionaryRef)item, CFSTR("accumulatedGPUTime"));
        if (!t || CFGetTypeID(t) != CFNumberGetTypeID()) continue;
        int64_t v = 0;
        if (CFNumberGetValue((CFNumberRef)t, kCFNumberSInt64Type, &v)) sum += v;
    }
    return sum;
}

static void gpu_walk(io_registry_entry_t entry, int32_t* pids, uint64_t* times, int* count, int capacity) {
    if (*count >= capacity) return;

    int pid = -1;
    CFTypeRef creator =
        IORegistryEntryCreateCFProperty(entry, CFSTR("IOUserClientCreator"), kCFAllocatorDefault, 0);
    if (creator) {
        char text[256];
        if (CFGetTypeID(creator) == CFStringGetTypeID() &&
            CFStringGetCString((CFStringRef)creator, text, sizeof text, kCFStringEncodingUTF8))
            pid = gpu_creator_pid(text);
        CFRelease(creator);
    }

    if (pid >= 1) {
        CFTypeRef usage = IORegistryEntryCreateCFProperty(entry, CFSTR("AppUsage"), kCFAllocatorDefault, 0);
        if (usage) {
            if (CFGetTypeID(usage) == CFArrayGetTypeID() && CFArrayGetCount((CFArrayRef)usage) > 0) {
                const int64_t sum = usage_sum((CFArrayRef)usage);
                if (sum != 0 && *count < capacity) {
                    pids[*count] = pid;
                    times[*count] = (uint64_t)sum;
                    ++*count;
                }
            }
            CFRelease(usage);
        }
    }

    io_iterator_t children = 0;
    if (IORegistryEntryGetChildIterator(entry, kIOServicePlane, &children) != KERN_SUCCESS) return;
    io_registry_entry_t child;
    while ((child = IOIteratorNext(children)) != 0) {
        gpu_walk(child, pids, times, count, capacity);
        IOObjectRelease(child);
    }
    IOObjectRelease(children);
}

int gpu_proc_times(int32_t* pids, uint64_t* times, int capacity) {
    io_iterator_t accelerators = 0;
    if (IOServiceGetMatchingServices(kIOMainPortDefault, IOServiceMatching("IOAccelerator"), &accelerators) !=
        KERN_SUCCESS)
        return -1;
    int count = 0;
    io_registry_entry_t accelerator;
    while ((accelerator = IOIteratorNext(accelerators)) != 0) {
        gpu_walk(accelerator, pids, times, &count, capacity);
        IOObjectRelease(accelerator);
    }
    IOObjectRelease(accelerators);
    return count;
}
