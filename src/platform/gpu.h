#pragma once

#include <array>
#include <cstdint>
#include <memory>
#include <optional>
#include <vector>

namespace velmora::platform {

// The utilisation counters one graphics device publishes, each in percent, in the order
// they are preferred.
struct AcceleratorStats {
    std::optional<double> deviceUtilization;
    std::optional<double> gpuActivity;
    std::optional<double> rendererUtilization;
};

// Cumulative busy time of one engine of one GPU client (an open device file), for devices
// that publish no utilisation counter of their own.
struct EngineBusy {
    std::array<char, 32> device{};  // bus address of the device, "" when not a PCI device
    uint64_t client = 0;            // client id, unique per device
    std::array<char, 24> engine{};  // engine class name ("render", "video", ...)
    uint64_t busyNs = 0;
    uint32_t capacity = 1;  // engines of this class; busy time may reach capacity x wall time
    int32_t pid = 0;        // the first process found holding the client
};

struct GpuReading {
    std::vector<AcceleratorStats> accelerators;
    std::vector<EngineBusy> engines;
    // A graphics device was found, whether or not it gave a figure this time (a device whose
    // engines no client uses lists none). False: the machine has no GPU to report on.
    bool device = false;
};

class GpuSource {
  public:
    virtual ~GpuSource() = default;
    // Fills `out`, reusing its storage; false when the devices cannot be listed.
    virtual bool read(GpuReading& out) = 0;
};

std::unique_ptr<GpuSource> makeGpuSource();

// Accumulated GPU time per client, in nanoseconds: fills at most `capacity` entries of the
// parallel arrays and returns how many it filled, or -1 when there is no GPU to ask. A
// process may fill several entries (one per client it owns); the caller sums them. Calls
// from several threads are serialised.
int gpuProcessTimes(int32_t* pids, uint64_t* times, int capacity);

}  // namespace velmora::platform
