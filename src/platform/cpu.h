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

// A run of consecutive logical cores of one kind.
struct CoreCluster {
    enum class Kind { performance, efficiency, other };
    Kind kind = Kind::other;
    std::string name;   // the system's name for the cluster; what tells `other` clusters apart
    int64_t cores = 0;  // as reported; the topology bounds it
    bool operator==(const CoreCluster&) const = default;
};

// The processor layout: its clusters in logical-core order, empty when the system tells no
// kinds of core apart, and the number of logical cores when known.
struct CoreLayout {
    std::vector<CoreCluster> clusters;
    std::optional<int64_t> logicalCores;
};

// This machine's layout, read once per run by the core topology.
CoreLayout readCoreLayout();

// Named integer and text facts about the processor layout, as the macOS kernel answers
// them: "hw.nperflevels", "hw.logicalcpu", "hw.perflevel<N>.logicalcpu" and
// "hw.perflevel<N>.name", level 0 being the fastest.
class TopologyFacts {
  public:
    virtual ~TopologyFacts() = default;
    virtual std::optional<int64_t> intValue(const std::string& name) = 0;
    virtual std::optional<std::string> stringValue(const std::string& name) = 0;
};

// The layout those facts describe: with two levels or more, one cluster per level from the
// highest level down (so the clusters come in logical order), its kind taken from its name
// ("perf" performance, "effic" efficiency, in any letter case). Portable, so the decoding is
// tested everywhere.
CoreLayout coreLayoutFromFacts(TopologyFacts& facts);

std::unique_ptr<CpuTickSource> makeCpuTickSource();

}  // namespace velmora::platform
