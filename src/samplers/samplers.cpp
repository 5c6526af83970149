#include "samplers/samplers.h"

namespace velmora {

Samplers::Samplers() = default;

Snapshot Samplers::tick(const std::function<bool()>& uiActive) {
    Snapshot s;
    s.time = WallClock::now();

    CpuSample c = cpu.sample();
    s.cpuTotal = c.total;
    s.cpuPerCore = std::move(c.perCore);

    (void)uiActive;  // the process list is read here once a process sampler exists
    return s;
}

}  // namespace velmora
