#include "platform/linux/gpu_linux.h"

#include "bridge/linux/bridge_linux.h"

#include <unistd.h>

namespace velmora::platform {

using namespace linux_fs;

namespace {

bool isCardName(const std::string& name) {
    if (name.size() <= 4 || name.rfind("card", 0) != 0) return false;
    for (size_t i = 4; i < name.size(); ++i)
        if (name[i] < '0' || name[i] > '9') return false;  // card0-DP-1 is a connector
    return true;
}

}  // namespace

std::unique_ptr<GpuSource> makeGpuSource() {
    return std::make_unique<LinuxGpuSource>();
}

LinuxGpuSource::LinuxGpuSource(std::string procRoot, std::string sysRoot, bool useNvml)
    : sysRoot_(std::move(sysRoot)), useNvml_(useNvml), clients_(std::move(procRoot)) {}

void LinuxGpuSource::rescan() {
    busy_.clear();
    needEngines_ = false;
    const std::string drm = sysRoot_ + "/class/drm/";
    if (!listDir(drm, names_)) return;
    for (const std::string& name : names_) {
        if (!isCardName(name)) continue;
        const std::string device = drm + name + "/device/";
        PinnedFile busy(device + "gpu_busy_percent");
        if (busy.exists()) {
            busy_.push_back(std::move(busy));
            continue;
        }
        const auto driver = linkBasename(device + "driver");
        if (driver && *driver == "nvidia") continue;  // NVML covers it
        needEngines_ = true;
    }
}

bool LinuxGpuSource::read(GpuReading& out) {
    out.accelerators.clear();
    out.engines.clear();
    if (rescan_.due()) rescan();
    for (PinnedFile& f : busy_) {
        AcceleratorStats s;
        if (const auto v = f.readInt(buf_)) s.deviceUtilization = static_cast<double>(*v);
        out.accelerators.push_back(s);
    }
    double nvml = 0;
    if (useNvml_ && nvml_utilization(&nvml) > 0) {
        AcceleratorStats s;
        s.deviceUtilization = nvml;
        out.accelerators.push_back(s);
    }
    if (needEngines_) clients_.read(out.engines);
    out.device = !out.accelerators.empty() || needEngines_;
    return true;
}

}  // namespace velmora::platform
