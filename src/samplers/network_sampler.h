#pragma once

#include "platform/network.h"
#include "samplers/disk_sampler.h"

#include <cstdint>
#include <memory>
#include <optional>
#include <vector>

namespace velmora {

// Machine-wide receive and send rates over every interface but loopback.
class NetworkSampler {
  public:
    struct Result {
        double inBps = 0;
        double outBps = 0;
        // Bytes since the first reading, rising only (see DiskSampler::Rates).
        uint64_t inTotal = 0;
        uint64_t outTotal = 0;
    };
    struct Counters {
        uint64_t in = 0;
        uint64_t out = 0;
    };

    NetworkSampler();
    explicit NetworkSampler(std::unique_ptr<platform::NetworkSource> source);

    Result sample();
    // The same at a given time, for tests of the failure paths.
    Result sample(SteadyClock::time_point now);
    // Total bytes over the counted interfaces; (0, 0) when the list cannot be read.
    Counters counters();
    static Counters sum(const std::vector<platform::InterfaceBytes>& interfaces);
    Result update(Counters counters, SteadyClock::time_point now);

  private:
    std::unique_ptr<platform::NetworkSource> source_;
    std::vector<platform::InterfaceBytes> scratch_;
    uint64_t prevIn_ = 0;
    uint64_t prevOut_ = 0;
    uint64_t inTotal_ = 0;
    uint64_t outTotal_ = 0;
    std::optional<SteadyClock::time_point> prevTime_;
};

}  // namespace velmora
