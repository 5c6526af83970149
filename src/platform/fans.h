#pragma once

#include "platform/thermal.h"

#include <memory>

namespace velmora::platform {

// One fan's speeds in revolutions per minute; each is -1 when it cannot be read.
struct FanSpeeds {
    float rpm = -1;  // actual speed
    float target = -1;
    float min = -1;
    float max = -1;
};

class FanSource {
  public:
    virtual ~FanSource() = default;
    // The number of fans (0-255), or -1 when the fan controller cannot be reached.
    virtual int count() = 0;
    // Fan `fan` (0-based, below count()). When the actual speed cannot be read the rest is
    // not asked for.
    virtual FanSpeeds read(int fan) = 0;
};

// The machine's temperature sensors and fans, made together: on Linux both read one
// listing of the hwmon chips. Both belong to the thread that samples them.
struct SensorSources {
    std::unique_ptr<TemperatureSource> temperatures;
    std::unique_ptr<FanSource> fans;
};

SensorSources makeSensorSources();

}  // namespace velmora::platform
