#pragma once

#include "platform/disk.h"

#include <chrono>
#include <cstdint>
#include <memory>
#include <optional>

namespace velmora {

using SteadyClock = std::chrono::steady_clock;

// Fill level of the system volume and machine-wide disk read and write rates.
class DiskSampler {
  public:
    struct Capacity {
        uint64_t used = 0;
        uint64_t total = 0;
        double percent = 0;
    };
    struct Rates {
        double read = 0;  // bytes per second
        double write = 0;
        // Bytes since the first reading: only rises, so it serves as a monotonic counter
        // even when a device (and its share of the kernel's totals) goes away.
        uint64_t readTotal = 0;
        uint64_t writeTotal = 0;
    };

    DiskSampler();
    explicit DiskSampler(std::unique_ptr<platform::DiskSource> source);

    Capacity capacity();
    Rates throughput();

    // The logic of each call, given its reading (nullptr when the read failed).
    static Capacity capacityOf(const platform::VolumeBlocks* blocks);
    Rates update(const platform::DiskTotals* totals, SteadyClock::time_point now);

  private:
    std::unique_ptr<platform::DiskSource> source_;
    uint64_t prevRead_ = 0;
    uint64_t prevWrite_ = 0;
    uint64_t readTotal_ = 0;
    uint64_t writeTotal_ = 0;
    std::optional<SteadyClock::time_point> prevTime_;
};

}  // namespace velmora
