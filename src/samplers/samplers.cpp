#include "samplers/samplers.h"

namespace velmora {

Samplers::Samplers() = default;

Snapshot Samplers::tick(const std::function<bool()>& uiActive) {
    Snapshot s;
    s.time = WallClock::now();

    CpuSample c = cpu.sample();
    s.cpuTotal = c.total;
    s.cpuPerCore = std::move(c.perCore);

    // Processes only while a view shows them; otherwise the sampler keeps its last baseline.
    if (uiActive()) s.processes = proc.sample();
    return s;
}

}  // namespace velmora
