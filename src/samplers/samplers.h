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

#include <chrono>
#include <functional>
#include <memory>
#include <optional>

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

    // Between process reads less than this far apart (the remembered record's background
    // reads) the files the reader keeps open stay open: reopening them costs more than
    // the reads themselves.
    static constexpr std::chrono::seconds kKeepFilesFor{45};
    // The clock that window follows (tests step it by hand).
    std::function<std::chrono::steady_clock::time_point()> steadyNow = [] { return std::chrono::steady_clock::now(); };

  private:
    std::optional<std::chrono::steady_clock::time_point> lastProcessRead_;
};

// The machine's samplers, with the process switches read from `settings` (held atomically,
// so the sampler thread may read them).
std::unique_ptr<Samplers> makeMachineSamplers(const AppSettings& settings);

}  // namespace velmora
