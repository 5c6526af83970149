// Per-process GPU time on Linux, from the DRM fdinfo every client file descriptor carries
// (drm-client-id, drm-pdev, drm-engine-<name>: <ns> ns), plus NVIDIA's library where the
// driver publishes no engine times.
#include "bridge/linux/bridge_linux.h"
#include "platform/linux/drm_clients.h"
#include "platform/linux/gpu_linux.h"

#include <algorithm>
#include <mutex>
#include <string>
#include <vector>

namespace velmora::platform {

namespace {

bool hasDrmDevice(const std::string& sysRoot) {
    std::vector<std::string> names;
    if (!linux_fs::listDir(sysRoot + "/class/drm", names)) return false;
    for (const std::string& n : names)
        if (n.rfind("card", 0) == 0 || n.rfind("renderD", 0) == 0) return true;
    return false;
}

// One entry per client with GPU time: the scanner lists each client's engines together.
int clientTimes(DrmClientScanner& scanner, const std::string& sysRoot, std::vector<EngineBusy>& engines,
                int32_t* pids, uint64_t* times, int capacity) {
    if (!hasDrmDevice(sysRoot)) return -1;
    engines.clear();
    scanner.read(engines);
    int count = 0;
    for (size_t i = 0; i < engines.size() && count < capacity;) {
        const EngineBusy& first = engines[i];
        uint64_t sum = 0;
        for (; i < engines.size() && engines[i].client == first.client && engines[i].device == first.device;
             ++i)
            sum += engines[i].busyNs;
        if (sum == 0) continue;
        pids[count] = first.pid;
        times[count] = sum;
        ++count;
    }
    return count;
}

}  // namespace

int gpuProcessTimesAt(const std::string& procRoot, const std::string& sysRoot, int32_t* pids, uint64_t* times,
                      int capacity) {
    DrmClientScanner scanner(procRoot);  // a fresh scanner walks every process
    std::vector<EngineBusy> engines;
    return clientTimes(scanner, sysRoot, engines, pids, times, std::max(capacity, 0));
}

int gpuProcessTimes(int32_t* pids, uint64_t* times, int capacity) {
    // The scanner remembers which descriptors are GPU clients, so a call re-reads those
    // and walks other processes' descriptors only every few seconds.
    static std::mutex lock;
    static DrmClientScanner scanner("/proc");
    static std::vector<EngineBusy> engines;
    std::lock_guard guard(lock);
    if (capacity < 0) capacity = 0;
    const int drm = clientTimes(scanner, "/sys", engines, pids, times, capacity);
    const int used = drm > 0 ? drm : 0;
    // The proprietary NVIDIA driver publishes no engine times; its library does.
    const int nvidia = nvml_proc_times(pids + used, times + used, capacity - used);
    if (drm < 0 && nvidia < 0) return -1;
    return used + (nvidia > 0 ? nvidia : 0);
}

}  // namespace velmora::platform
