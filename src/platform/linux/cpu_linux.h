#pragma once

#include "platform/cpu.h"
#include "platform/linux/file_util.h"

#include <string>
#include <string_view>

namespace velmora::platform {

// Per-core ticks from <procRoot>/stat. Linux reports more categories than the four the
// sampler knows: irq, softirq and steal count as system time, iowait as idle. Guest time is
// already part of user and nice there. Offline cores are absent, so the count changes.
class LinuxCpuTickSource : public CpuTickSource {
  public:
    explicit LinuxCpuTickSource(std::string procRoot = "/proc");
    bool read(std::vector<CpuCoreTicks>& out) override;
    uint64_t layoutGeneration() const override { return generation_; }

    // `ids`, when given, receives the N of each "cpuN" line in record order.
    static bool parse(std::string_view statText, std::vector<CpuCoreTicks>& out,
                      std::vector<int>* ids = nullptr);

  private:
    linux_fs::PinnedFile stat_;
    std::string buf_;
    std::vector<int> ids_;
    std::vector<int> prevIds_;
    uint64_t generation_ = 0;
};

// The core layout from sysfs, clusters in logical order: Intel hybrid parts are read from
// <sysRoot>/devices/cpu_core and devices/cpu_atom, Arm big.LITTLE from the per-core
// cpu_capacity (the smallest cores are the efficiency cluster, every bigger tier performance
// cores); anything else has no clusters. Only online cores count.
CoreLayout readSysfsCoreLayout(const std::string& sysRoot);

}  // namespace velmora::platform
