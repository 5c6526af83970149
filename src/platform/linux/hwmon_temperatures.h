#pragma once

#include "platform/linux/file_util.h"
#include "platform/linux/hwmon.h"
#include "platform/thermal.h"

#include <string>
#include <string_view>
#include <vector>

namespace velmora::platform {

// One trip point of a thermal zone, in millidegrees Celsius.
struct TripPoint {
    enum class Kind { active, passive, hot, critical, other };
    Kind kind = Kind::other;
    int64_t milliC = 0;
};

TripPoint::Kind tripKind(std::string_view type);

// The pressure a zone at `milliC` is under: at or above a passive trip it is fair, a hot
// trip serious, a critical trip critical. Fan (active) trips and disabled trips (at or below
// 0 °C) say nothing about pressure.
ThermalPressure zonePressure(int64_t milliC, const std::vector<TripPoint>& trips);

// The name a sensor of hwmon chip `chip` with label `label` is shown under. Sensors of
// processor chips (coretemp, k10temp, zenpower, cpu_thermal, ...) carry "CPU", those of
// graphics chips (amdgpu, radeon, nouveau, i915, xe) "GPU", so the CPU and GPU figures are
// picked from them and never from a disk, Wi-Fi or battery sensor.
std::string sensorName(std::string_view chip, std::string_view label);

// Temperatures from the hwmon chips (temp<N>_input with its label), or from the thermal
// zones under <sysRoot>/class/thermal when no chip has a temperature sensor; NVIDIA GPUs
// through NVML when the library is installed. Thermal pressure from the zones' trip points.
// The sensors and zones are looked for again whenever the chips are listed again.
class HwmonTemperatureSource : public TemperatureSource {
  public:
    explicit HwmonTemperatureSource(std::shared_ptr<HwmonChips> chips, bool useNvml = true);
    // With a listing of its own.
    explicit HwmonTemperatureSource(std::string sysRoot = "/sys", bool useNvml = true);
    void read(std::vector<TemperatureReading>& out) override;
    int sensorCount() override;
    ThermalPressure pressure() override;

  private:
    struct Sensor {
        std::string name;
        linux_fs::PinnedFile input;  // millidegrees Celsius
    };
    struct Zone {
        linux_fs::PinnedFile temp;
        std::vector<TripPoint> trips;
    };
    void rescanIfDue();

    std::shared_ptr<HwmonChips> chips_;
    bool useNvml_;
    uint64_t builtFrom_ = 0;
    std::vector<Sensor> sensors_;
    std::vector<Zone> zones_;
    std::vector<std::string> names_;
    std::string buf_;
    int nvmlCount_ = 0;
};

}  // namespace velmora::platform
