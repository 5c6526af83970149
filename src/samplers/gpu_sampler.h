#pragma once

#include "platform/gpu.h"
#include "samplers/disk_sampler.h"

#include <memory>
#include <optional>
#include <vector>

namespace velmora {

// System-wide GPU utilisation in percent: the busiest device wins.
class GPUSampler {
  public:
    GPUSampler();
    explicit GPUSampler(std::unique_ptr<platform::GpuSource> source);

    double sample();
    // The logic of one call, given this tick's reading (nullptr when the devices could not
    // be listed).
    double update(const platform::GpuReading* reading, SteadyClock::time_point now);

    // The first counter a device publishes, in order of preference.
    static std::optional<double> utilisation(const platform::AcceleratorStats& stats);

  private:
    // Busiest engine over the interval, from per-client busy times; 0 on the first call.
    double engineBusy(const std::vector<platform::EngineBusy>& engines, SteadyClock::time_point now);

    struct DeviceEngine {
        std::array<char, 32> device{};
        std::array<char, 24> engine{};
        uint64_t busyNs = 0;
        uint32_t capacity = 1;
    };

    std::unique_ptr<platform::GpuSource> source_;
    platform::GpuReading reading_;
    std::vector<platform::EngineBusy> prevEngines_;  // sorted by device, client, engine
    std::vector<platform::EngineBusy> scratch_;
    std::vector<DeviceEngine> busy_;
    std::optional<SteadyClock::time_point> prevTime_;
};

}  // namespace velmora
