#pragma once

#include "core/snapshot_source.h"
#include "samplers/battery_sampler.h"
#include "samplers/cpu_sampler.h"
#include "samplers/disk_sampler.h"
#include "samplers/fan_sampler.h"
#include "samplers/gpu_sampler.h"
#include "samplers/memory_sampler.h"
#include "samplers/network_sampler.h"
#include "samplers/process_sampler.h"
#include "samplers/thermal_sampler.h"

#include <memory>

namespace velmora {

class AppSettings;

// One instance of every sampler, called in a fixed order once per engine tick. Lives on
// the engine's sampler thread; nothing else touches it.
class Samplers : public SnapshotSource {
  public:
    // `processSwitches` is asked on the sampler thread each time the process list is read.
    explicit Samplers(ProcessSampler::SwitchesFn processSwitches);
    // With the given fan and temperature sources (fixture machines).
    Samplers(ProcessSampler::SwitchesFn processSwitches, platform::SensorSources sensors);
    Snapshot tick(const std::function<bool()>& uiActive) override;
    void primeProcesses() override { proc.prime(); }

    CPUSampler cpu;
    MemorySampler memory;
    DiskSampler disk;
    GPUSampler gpu;
    NetworkSampler network;
    BatterySampler battery;
    FanSampler fan;
    ThermalSampler thermal;
    ProcessSampler proc;
};

// The machine's samplers, with the process switches read from `settings` (held atomically,
// so the sampler thread may read them).
std::unique_ptr<Samplers> makeMachineSamplers(const AppSettings& settings);

}  // namespace velmora
