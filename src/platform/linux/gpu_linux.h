#pragma once

#include "platform/gpu.h"
#include "platform/linux/drm_clients.h"
#include "platform/linux/file_util.h"

#include <memory>
#include <string>
#include <vector>

namespace velmora::platform {

// GPU utilisation from the devices under <sysRoot>/class/drm: amdgpu publishes
// gpu_busy_percent; NVIDIA devices are asked through NVML when the library is installed;
// for every other driver (i915, xe, nouveau, Arm GPUs) the engine busy times of all DRM
// clients are collected from <procRoot>/*/fdinfo.
class LinuxGpuSource : public GpuSource {
  public:
    explicit LinuxGpuSource(std::string procRoot = "/proc", std::string sysRoot = "/sys",
                            bool useNvml = true);
    bool read(GpuReading& out) override;

    // What the last device scan found.
    size_t busyFileCount() const { return busy_.size(); }
    bool needsEngineTimes() const { return needEngines_; }

  private:
    void rescan();

    std::string sysRoot_;
    bool useNvml_;
    linux_fs::RescanTimer rescan_;
    std::vector<linux_fs::PinnedFile> busy_;
    bool needEngines_ = false;
    DrmClientScanner clients_;
    std::vector<std::string> names_;
    std::string buf_;
};

// gpuProcessTimes over the DRM clients under `procRoot` alone (no NVIDIA library): each
// client (one drm-client-id on one drm-pdev) is counted once, under the first pid found
// holding it, with the sum of its drm-engine-* nanoseconds. -1 when `sysRoot` shows no DRM
// device.
int gpuProcessTimesAt(const std::string& procRoot, const std::string& sysRoot, int32_t* pids, uint64_t* times,
                      int capacity);

}  // namespace velmora::platform
