#pragma once

#include "core/snapshot.h"
#include "platform/battery.h"

#include <memory>

namespace velmora {

// Charge, charging and mains state, time estimates, cycle count and health of the battery.
class BatterySampler {
  public:
    BatterySampler();
    explicit BatterySampler(std::unique_ptr<platform::BatterySource> source);

    BatteryInfo sample();
    static BatteryInfo fromReading(const platform::BatteryReading& reading);

  private:
    std::unique_ptr<platform::BatterySource> source_;
    platform::BatteryReading reading_;
};

}  // namespace velmora
