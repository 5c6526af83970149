#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace velmora::platform {

// Cumulative per-core tick counters in the kernel's category order. Kept 32 bits wide:
// deltas are taken with wrapping subtraction, so a wrapped counter still gives its true step.
struct CpuCoreTicks {
    uint32_t user = 0;
    uint32_t system = 0;
    uint32_t idle = 0;
    uint32_t nice = 0;
};

class CpuTickSource {
  public:
    virtual ~CpuTickSource() = default;
    // Replaces `out` with one record per logical core, in core order. False on failure.
    virtual bool read(std::vector<CpuCoreTicks>& out) = 0;
    // Changes whenever the set of cores behind the records changes, even at the same count
    // (one core offline, another online), so a sampler never subtracts one core from another.
    virtual uint64_t layoutGeneration() const { return 0; }
};

// Named integer and text facts about the processor layout: "hw.nperflevels",
// "hw.logicalcpu", "hw.perflevel<N>.logicalcpu" and "hw.perflevel<N>.name".
class TopologyFacts {
  public:
    virtual ~TopologyFacts() = default;
    virtual std::optional<int64_t> intValue(const std::string& name) = 0;
    virtual std::optional<std::string> stringValue(const std::string& name) = 0;
};

std::unique_ptr<CpuTickSource> makeCpuTickSource();
std::unique_ptr<TopologyFacts> makeTopologyFacts();

}  // namespace velmora::platform
