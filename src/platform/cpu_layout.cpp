#include "platform/cpu.h"

#include <algorithm>
#include <cctype>

namespace velmora::platform {

namespace {

// More performance levels than any processor has; a corrupt count stops here.
constexpr int64_t kMaxLevels = 64;

CoreCluster::Kind kindOf(const std::string& name) {
    std::string lower = name;
    std::transform(lower.begin(), lower.end(), lower.begin(),
                   [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    if (lower.find("perf") != std::string::npos) return CoreCluster::Kind::performance;
    if (lower.find("effic") != std::string::npos) return CoreCluster::Kind::efficiency;
    return CoreCluster::Kind::other;
}

}  // namespace

CoreLayout coreLayoutFromFacts(TopologyFacts& facts) {
    CoreLayout layout;
    layout.logicalCores = facts.intValue("hw.logicalcpu");
    const int64_t levels = std::min(facts.intValue("hw.nperflevels").value_or(1), kMaxLevels);
    if (levels < 2) return layout;
    // Level 0 is the fastest and holds the highest core numbers: walk from the top level down.
    for (int64_t level = levels - 1; level >= 0; --level) {
        const std::string prefix = "hw.perflevel" + std::to_string(level);
        CoreCluster cluster;
        cluster.name = facts.stringValue(prefix + ".name").value_or("");
        cluster.kind = kindOf(cluster.name);
        cluster.cores = facts.intValue(prefix + ".logicalcpu").value_or(0);
        layout.clusters.push_back(std::move(cluster));
    }
    return layout;
}

}  // namespace velmora::platform
