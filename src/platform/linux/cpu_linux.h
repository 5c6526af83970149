#pragma once

#include "platform/cpu.h"
#include "platform/linux/file_util.h"

#include <map>
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

// Presents the sysfs CPU layout as performance levels, ordered so that walking them from
// the highest level down visits the cores in ascending logical order. Intel hybrid parts
// are read from devices/cpu_core and devices/cpu_atom, Arm big.LITTLE from the per-core
// cpu_capacity; anything else reports a single level.
class LinuxTopologyFacts : public TopologyFacts {
  public:
    explicit LinuxTopologyFacts(std::string sysRoot = "/sys");
    std::optional<int64_t> intValue(const std::string& name) override;
    std::optional<std::string> stringValue(const std::string& name) override;

  private:
    std::map<std::string, int64_t> ints_;
    std::map<std::string, std::string> strings_;
};

}  // namespace velmora::platform
