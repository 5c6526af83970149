#pragma once

#include "platform/linux/file_util.h"

#include <QByteArray>

#include <chrono>
#include <optional>
#include <string>
#include <vector>

namespace velmora::platform {

// Power from a cumulative energy counter that wraps at `maxRange` (RAPL's energy_uj and
// max_energy_range_uj, hwmon's energy<N>_input): watts over the interval since the
// previous update; nothing on the first update, after a gap or a counter that makes no sense.
class EnergyRate {
  public:
    std::optional<double> update(uint64_t microjoules, std::optional<uint64_t> maxRange,
                                 std::chrono::steady_clock::time_point now);

  private:
    std::optional<uint64_t> prev_;
    std::chrono::steady_clock::time_point prevTime_{};
};

// CPU package power from the powercap RAPL zones under <sysRoot>/class/powercap (one
// top-level "package" zone per socket; sub-zones and the platform "psys" zone, which
// contain the packages, are left out so nothing is counted twice), and GPU power from the
// hwmon chips of graphics drivers (power1_average or power1_input in µW, else the energy
// counter energy1_input). Reading RAPL needs root on current kernels.
class PowerReaders {
  public:
    explicit PowerReaders(std::string sysRoot = "/sys");
    // Watts since the previous call, or nothing when the source is missing or unreadable.
    std::optional<double> cpuWatts(
        std::chrono::steady_clock::time_point now = std::chrono::steady_clock::now());
    std::optional<double> gpuWatts(
        std::chrono::steady_clock::time_point now = std::chrono::steady_clock::now());
    // Looks at the zones and chips again.
    void rescan();

    size_t packageCount() const { return packages_.size(); }
    size_t gpuCount() const { return gpus_.size(); }

  private:
    struct Counter {
        linux_fs::PinnedFile energy;
        std::optional<uint64_t> maxRange;
        EnergyRate rate;
    };
    struct Gpu {
        linux_fs::PinnedFile power;  // µW
        bool hasPower = false;       // else the chip only counts energy
        Counter energy;
    };
    std::string sysRoot_;
    std::vector<Counter> packages_;
    std::vector<Gpu> gpus_;
    std::vector<std::string> names_;
    std::string buf_;
};

// The power file's content: {"ts": seconds since 1970, "cpu_power_w": W, "gpu_power_w": W},
// each figure only when known.
QByteArray powerJson(double ts, std::optional<double> cpuW, std::optional<double> gpuW);

// Replaces `path` with `bytes` in one step: a fresh temporary file beside it (created
// exclusively, so a link planted by another user is never followed), then a rename. Readers
// see the old or the new content, never a half-written file. False on any failure.
bool writeFileAtomically(const std::string& path, const QByteArray& bytes);

}  // namespace velmora::platform
