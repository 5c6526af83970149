#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <string>

namespace velmora::platform {

// The first power source's description, one member per key the battery logic reads; a
// member is absent when the key is missing or holds another type.
struct PowerSourceDescription {
    std::optional<int64_t> currentCapacity;       // "Current Capacity"
    std::optional<int64_t> maxCapacity;           // "Max Capacity"
    std::optional<bool> isCharging;               // "Is Charging"
    std::optional<std::string> powerSourceState;  // "Power Source State": "AC Power" is mains
    std::optional<int64_t> timeToEmpty;           // "Time to Empty", minutes
    std::optional<int64_t> timeToFullCharge;      // "Time to Full Charge", minutes
};

// The battery controller's properties.
struct BatteryController {
    std::optional<int64_t> cycleCount;           // "CycleCount"
    std::optional<int64_t> designCapacity;       // "DesignCapacity"
    std::optional<int64_t> appleRawMaxCapacity;  // "AppleRawMaxCapacity"
    std::optional<int64_t> maxCapacity;          // "MaxCapacity"
};

struct BatteryReading {
    std::optional<PowerSourceDescription> powerSource;  // absent: no power source listed
    std::optional<BatteryController> controller;        // absent: no battery controller
};

class BatterySource {
  public:
    virtual ~BatterySource() = default;
    virtual void read(BatteryReading& out) = 0;
};

std::unique_ptr<BatterySource> makeBatterySource();

}  // namespace velmora::platform
