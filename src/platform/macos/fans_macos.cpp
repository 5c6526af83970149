// Fans through the System Management Controller's C functions.
#include "platform/fans.h"

#include "bridge/macos/bridge_macos.h"

namespace velmora::platform {

namespace {

class SmcFanSource : public FanSource {
  public:
    int count() override { return smc_fan_count(); }
    FanSpeeds read(int fan) override {
        FanSpeeds s;
        s.rpm = smc_fan_rpm(fan);
        if (!(s.rpm >= 0)) return s;
        s.target = smc_fan_target(fan);
        s.min = smc_fan_min(fan);
        s.max = smc_fan_max(fan);
        return s;
    }
};

}  // namespace

SensorSources makeSensorSources() {
    return {makeTemperatureSource(), std::make_unique<SmcFanSource>()};
}

}  // namespace velmora::platform
