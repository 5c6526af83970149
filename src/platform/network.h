#pragma once

#include <cstdint>
#include <memory>
#include <vector>

namespace velmora::platform {

// Cumulative byte counters of one network interface.
struct InterfaceBytes {
    uint64_t received = 0;
    uint64_t sent = 0;
    bool loopback = false;
};

class NetworkSource {
  public:
    virtual ~NetworkSource() = default;
    // Replaces `out` with one entry per interface; false when the list cannot be read.
    virtual bool read(std::vector<InterfaceBytes>& out) = 0;
};

std::unique_ptr<NetworkSource> makeNetworkSource();

}  // namespace velmora::platform
